#pragma once

#include "library/scan/FileState.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

/**
 * The one rule for what a music folder holds, and the one walk of it: which
 * names are audio files, which entries are left out, and in what order a
 * folder's entries come. The scan, the update, the folder watcher and the
 * names opened from the command line or dropped all walk through here, so
 * they always agree on what the library is. Static only; safe on any thread.
 *
 * A folder's entries come in name order (compareNames()), files and
 * sub-folders in one order, and a sub-folder is walked where it comes, depth
 * first. Hidden entries (on Unix, names that start with a dot) are left out,
 * files and folders alike, and symbolic links to folders are not entered.
 *
 * Qt cannot name a file whose name is not valid UTF-8 (its listings leave it
 * out), so neither can the walk; it counts them instead where it is asked to.
 */
class MusicFiles {
    Q_DECLARE_TR_FUNCTIONS(MusicFiles)

public:
    MusicFiles() = delete;

    /** Entries a walk left out because their names are not valid UTF-8 (hidden ones not counted).
     */
    struct SkippedNames {
        int files = 0; ///< audio files, by their suffix
        int folders = 0; ///< folders, whose contents are left out with them

        bool any() const
        {
            return files > 0 || folders > 0;
        }
    };

    /** What a walk hands to its visitor. */
    enum class Entries {
        All, ///< files and folders
        Folders, ///< folders only (a watcher needs no files)
    };

    /**
     * The suffixes of the audio files, lower case and without the dot: mp3,
     * ogg, wav, flac, opus, m4a, wma, wv, aiff, aif and ape.
     */
    static QStringList suffixes();
    /** The suffixes as the messages and the help name them: "mp3, ogg, ..., aif, ape". */
    static QString suffixText();
    /**
     * The MIME types of those files, each under the names and aliases that file
     * managers hand over; what the desktop entry and the desktop bus announce.
     */
    static QStringList mimeTypes();

    /** Whether the file name or path @p name ends in one of suffixes() after a dot, in any case. */
    static bool isAudioName(QStringView name);

    /** What the status line says of @p skipped, e.g. "3 files skipped: their names are not valid
     * UTF-8"; empty when nothing was skipped. */
    static QString skippedText(const SkippedNames &skipped);

    /**
     * The order of a folder's entries: numbers inside names compared as
     * numbers ("2 - Two" before "10 - Ten"), letters without regard to case;
     * names equal that way are told apart by their exact text, so the order
     * is total. Negative, zero or positive as @p a sorts before, with or after @p b.
     */
    static int compareNames(QStringView a, QStringView b);

    /**
     * The entries right inside @p folder that a walk takes, as @p which says,
     * in name order: no hidden ones, no "." and "..". Links to files count as
     * files; links to folders are listed (isDir() and isSymLink() both true)
     * but a walk does not enter them. Empty for a folder that cannot be read.
     * With @p skipped, the entries left out for their names are added to it.
     */
    static QList<QFileInfo> entries(
        const QString &folder, Entries which = Entries::All, SkippedNames *skipped = nullptr);

    /**
     * Walks everything below @p root as entries() lists it, depth first:
     * @p visit gets each entry, a sub-folder before what it holds. The walk
     * ends early, with false, once @p visit returns false; else it returns
     * true. An empty @p root walks nothing (it is not the working directory).
     * With @p skipped, the entries of the folders walked that were left out for
     * their names are added to it (a folder left out is counted, not walked).
     */
    static bool walk(const QString &root, Entries which,
        const std::function<bool(const QFileInfo &entry)> &visit, SkippedNames *skipped = nullptr);
    /**
     * The audio files below @p root that walk() visits, in its order, each
     * with its FileState::of(): @p visit gets the path and the state, and ends
     * the walk as walk()'s visitor does. On Linux the folders are listed by
     * the system's own calls, once each, and each file is looked at once
     * relative to its folder, which takes a fraction of the calls of a walk
     * through QFileInfo with a look at each file by its path.
     */
    static bool walkFiles(const QString &root,
        const std::function<bool(QString &&path, const FileState &state)> &visit,
        SkippedNames *skipped = nullptr);
};
