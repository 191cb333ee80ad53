#include "library/FileResolver.h"

#include "library/scan/MusicFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <iterator>

namespace {

/** Collects the files of one list of names. */
class Collector {
public:
    explicit Collector(const QString &workingDirectory)
        : workingDir(workingDirectory)
    {
    }

    /** Adds what @p url names; @p name is how the user named it, for the messages. */
    void add(const QUrl &url, const QString &name)
    {
        if (!url.isEmpty() && !url.isLocalFile())
            problem(name, FileResolver::tr("only local files and file: URLs can be opened"));
        else
            addPath(url.toLocalFile(), name);
    }

    /** Adds what @p path names, relative to the working directory. */
    void addPath(const QString &path, const QString &name)
    {
        // Cleaned, so that "../Music/a.mp3" finds the library's "/home/me/Music/a.mp3".
        const QString absolute = QDir::cleanPath(workingDir.absoluteFilePath(path));
        const QFileInfo info(absolute);
        // An empty name would stand for the working directory.
        if (path.isEmpty() || !info.exists())
            problem(name,
                // What is not valid UTF-8 in a name reached here as U+FFFD, and
                // a file of that name is not the one named.
                path.contains(QChar::ReplacementCharacter)
                    ? FileResolver::tr("its name is not valid UTF-8")
                    : FileResolver::tr("no such file or folder"));
        else if (info.isDir())
            addFolder(absolute, name);
        else if (!info.isFile() || !MusicFiles::isAudioName(absolute))
            problem(name, FileResolver::tr("not an audio file (%1)").arg(MusicFiles::suffixText()));
        else
            addFile(absolute);
    }

    FileResolver::Result result;

private:
    void addFolder(const QString &folder, const QString &name)
    {
        // What the library scan takes, in the order it takes them.
        QStringList found;
        MusicFiles::SkippedNames skipped;
        MusicFiles::walk(
            folder, MusicFiles::Entries::All,
            [&found](const QFileInfo &entry) {
                if (!entry.isDir() && MusicFiles::isAudioName(entry.fileName()))
                    found.append(entry.filePath());
                return true;
            },
            &skipped);
        if (skipped.any())
            result.problems.append(
                FileResolver::tr("In \"%1\": %2.").arg(name, MusicFiles::skippedText(skipped)));
        if (found.isEmpty()) {
            if (!skipped.any())
                problem(name,
                    FileResolver::tr("no audio files (%1) in this folder")
                        .arg(MusicFiles::suffixText()));
            return;
        }
        for (const QString &path : std::as_const(found))
            addFile(path);
    }

    void addFile(const QString &path)
    {
        if (seen.contains(path))
            return;
        seen.insert(path);
        result.files.append(QUrl::fromLocalFile(path));
    }

    void problem(const QString &name, const QString &reason)
    {
        result.problems.append(FileResolver::tr("Cannot open \"%1\": %2.").arg(name, reason));
    }

    QDir workingDir;
    QSet<QString> seen;
};

} // namespace

FileResolver::Result FileResolver::resolve(
    const QStringList &arguments, const QString &workingDirectory)
{
    Collector collector(workingDirectory);
    const QDir workingDir(workingDirectory);
    for (const QString &argument : arguments) {
        // "a:b.mp3" may be a file; a one-letter scheme is a drive ("C:/Music").
        const QUrl url(argument);
        if (url.scheme().size() > 1 && !QFileInfo::exists(workingDir.absoluteFilePath(argument)))
            collector.add(url, argument);
        else
            collector.addPath(argument, argument);
    }
    return collector.result;
}

FileResolver::Result FileResolver::resolve(const QList<QUrl> &urls, const QString &workingDirectory)
{
    Collector collector(workingDirectory);
    for (const QUrl &url : urls)
        collector.add(url, url.toDisplayString(QUrl::PreferLocalFile));
    return collector.result;
}
