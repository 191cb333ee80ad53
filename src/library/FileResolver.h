#pragma once

#include <QCoreApplication>
#include <QList>
#include <QStringList>
#include <QUrl>

/**
 * Turns what a user names to open (command-line arguments, dropped URLs) into
 * the audio files to play, in order, and says what it cannot open. A name is
 * a plain path or a file: URL; a relative one is taken against the working
 * directory given. A folder stands for the audio files below it at any depth
 * that the library scan would take, in the order it takes them (see
 * MusicFiles). Only files with one of MusicFiles::suffixes() open, the suffix
 * in any case. A name that is not valid UTF-8, and the files of a folder left
 * out for such names, are told as such. Static only.
 */
class FileResolver {
    Q_DECLARE_TR_FUNCTIONS(FileResolver)

public:
    /** What a list of names comes to. */
    struct Result {
        /** Absolute local-file URLs in the order named; a file named twice comes once, first. */
        QList<QUrl> files;
        /**
         * One message for each name that cannot be opened, and for each folder
         * some of whose files cannot, in the order named.
         */
        QStringList problems;
    };

    FileResolver() = delete;

    /**
     * Resolves command-line @p arguments: a name that exists (relative to
     * @p workingDirectory) is a path even if it looks like a URL; otherwise a
     * name with a scheme is a URL, and anything else a path.
     */
    static Result resolve(const QStringList &arguments, const QString &workingDirectory);
    /**
     * Resolves @p urls (dropped ones); a relative file URL is taken against
     * @p workingDirectory, the current one when empty.
     */
    static Result resolve(const QList<QUrl> &urls, const QString &workingDirectory = QString());
};
