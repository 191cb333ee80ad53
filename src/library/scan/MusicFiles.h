#pragma once

#include <QFileInfo>
#include <QList>
#include <QString>
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
 */
class MusicFiles {
public:
    MusicFiles() = delete;

    /** What a walk hands to its visitor. */
    enum class Entries {
        All, ///< files and folders
        Folders, ///< folders only (a watcher needs no files)
    };

    /** Whether the file name or path @p name ends in .mp3, .ogg, .wav or .flac, in any case. */
    static bool isAudioName(QStringView name);

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
     */
    static QList<QFileInfo> entries(const QString &folder, Entries which = Entries::All);

    /**
     * Walks everything below @p root as entries() lists it, depth first:
     * @p visit gets each entry, a sub-folder before what it holds. The walk
     * ends early, with false, once @p visit returns false; else it returns
     * true. An empty @p root walks nothing (it is not the working directory).
     */
    static bool walk(const QString &root, Entries which,
        const std::function<bool(const QFileInfo &entry)> &visit);
};
