#include "library/scan/MusicFiles.h"

#include <QDir>
#include <QStringDecoder>

#ifdef Q_OS_UNIX
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>
#endif

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// Lower case, without the dot; the messages name them in this order.
const QLatin1String audioSuffixes[]
    = {QLatin1String("mp3"), QLatin1String("ogg"), QLatin1String("wav"), QLatin1String("flac"),
        QLatin1String("opus"), QLatin1String("m4a"), QLatin1String("wma"), QLatin1String("wv"),
        QLatin1String("aiff"), QLatin1String("aif"), QLatin1String("ape")};

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

/** The end of the run of digits in @p text that starts at @p from. */
qsizetype digitsEnd(QStringView text, qsizetype from)
{
    while (from < text.size() && isDigit(text[from]))
        ++from;
    return from;
}

#ifdef Q_OS_UNIX
/** Whether @p name is ASCII only: valid UTF-8, and decoded as Latin-1 as it is. */
bool isAscii(QByteArrayView name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return uchar(c) < 0x80; });
}

/**
 * @p name decoded as Qt's listings decode it, into @p decoded; false for a
 * name that is not valid UTF-8, which they leave out.
 */
bool decodeName(QStringDecoder &utf8, QByteArrayView name, QString &decoded)
{
    if (isAscii(name)) {
        decoded = QString::fromLatin1(name);
        return true;
    }
    utf8.resetState();
    decoded = utf8(name);
    return !utf8.hasError();
}

/** Counts the entry @p name that a listing left out for its name into @p skipped. */
void countSkippedName(QByteArrayView name, bool isFolder, MusicFiles::SkippedNames &skipped)
{
    // The suffix is ASCII, whatever the bytes before it are.
    if (isFolder)
        ++skipped.folders;
    else if (MusicFiles::isAudioName(QString::fromLatin1(name)))
        ++skipped.files;
}

/**
 * Counts into @p skipped the entries of @p folder that Qt's listings leave out
 * because their names are not valid UTF-8: one more read of a folder that was
 * just listed, so it costs little next to the tags.
 */
void countSkipped(const QString &folder, MusicFiles::SkippedNames &skipped)
{
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded;
    while (const dirent *entry = readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        // Hidden entries, "." and ".." are left out whatever their names.
        // Most names are ASCII: nothing to decode, nor a string to build.
        if (name.startsWith('.') || isAscii(name) || decodeName(utf8, name, decoded))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat status { };
            isFolder = fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISDIR(status.st_mode);
        }
        countSkippedName(name, isFolder, skipped);
    }
    closedir(dir);
}
#endif

#ifdef Q_OS_LINUX
/** An entry of a folder as the system lists it. */
struct Listed {
    QString name;
    QByteArray native;
    unsigned char type; ///< DT_DIR, DT_REG, DT_LNK, ...
};

/**
 * The entries of the open folder @p folder that a walk takes, in name order,
 * as entries() lists them: hidden ones left out, names that are not valid
 * UTF-8 counted into @p skipped as countSkipped() counts them.
 */
std::vector<Listed> listFolder(int folder, MusicFiles::SkippedNames *skipped)
{
    std::vector<Listed> listed;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    std::vector<char> buffer(32 * 1024);
    for (;;) {
        const ssize_t got = ::getdents64(folder, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer.data() + at);
            at += entry->d_reclen;
            const QByteArrayView name(entry->d_name);
            if (name.startsWith('.'))
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat status { };
                if (::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = IFTODT(status.st_mode);
            }
            QString decoded;
            if (!decodeName(utf8, name, decoded)) {
                if (skipped)
                    countSkippedName(name, type == DT_DIR, *skipped);
                continue;
            }
            listed.push_back({std::move(decoded), name.toByteArray(), type});
        }
    }
    std::sort(listed.begin(), listed.end(), [](const Listed &a, const Listed &b) {
        return MusicFiles::compareNames(a.name, b.name) < 0;
    });
    return listed;
}

/** walkFiles() below the open folder @p folder, whose path is @p path. */
bool walkFilesIn(int folder, const QString &path,
    const std::function<bool(QString &&, const FileState &)> &visit,
    MusicFiles::SkippedNames *skipped)
{
    for (const Listed &entry : listFolder(folder, skipped)) {
        QString entryPath = path + QLatin1Char('/') + entry.name;
        if (entry.type == DT_DIR) {
            // Not through a link that took its place since: a linked folder is not entered.
            const int below = ::openat(
                folder, entry.native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
            if (below < 0)
                continue;
            const bool finished = walkFilesIn(below, entryPath, visit, skipped);
            ::close(below);
            if (!finished)
                return false;
            continue;
        }
        // FIFOs, sockets and devices are not listed; links are, unless broken.
        if ((entry.type != DT_REG && entry.type != DT_LNK) || !MusicFiles::isAudioName(entry.name))
            continue;
        struct stat status { };
        const bool looked = ::fstatat(folder, entry.native.constData(), &status, 0) == 0;
        if (entry.type == DT_LNK && (!looked || S_ISDIR(status.st_mode)))
            continue;
        if (!visit(std::move(entryPath), looked ? FileState::of(status) : FileState()))
            return false;
    }
    return true;
}
#endif

} // namespace

QStringList MusicFiles::suffixes()
{
    QStringList all;
    for (QLatin1String suffix : audioSuffixes)
        all.append(suffix);
    return all;
}

QString MusicFiles::suffixText()
{
    return suffixes().join(QLatin1String(", "));
}

QStringList MusicFiles::mimeTypes()
{
    // As shared-mime-info names them, with the aliases in common use.
    return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/ogg"),
        QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/wav"),
        QStringLiteral("audio/x-wav"), QStringLiteral("audio/flac"), QStringLiteral("audio/x-flac"),
        QStringLiteral("audio/x-opus+ogg"), QStringLiteral("audio/mp4"),
        QStringLiteral("audio/x-m4a"), QStringLiteral("audio/x-ms-wma"),
        QStringLiteral("audio/x-wavpack"), QStringLiteral("audio/x-aiff"),
        QStringLiteral("audio/x-ape")};
}

bool MusicFiles::isAudioName(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringView suffix = name.mid(dot + 1);
    return std::any_of(std::begin(audioSuffixes), std::end(audioSuffixes),
        [&suffix](QLatin1String known) { return suffix.compare(known, Qt::CaseInsensitive) == 0; });
}

QString MusicFiles::skippedText(const SkippedNames &skipped)
{
    if (!skipped.any())
        return QString();
    const QString files = skipped.files == 1 ? tr("1 file") : tr("%1 files").arg(skipped.files);
    const QString folders
        = skipped.folders == 1 ? tr("1 folder") : tr("%1 folders").arg(skipped.folders);
    const QString what = skipped.files == 0 ? folders
        : skipped.folders == 0              ? files
                                            : tr("%1 and %2").arg(files, folders);
    return skipped.files + skipped.folders == 1
        ? tr("%1 skipped: its name is not valid UTF-8").arg(what)
        : tr("%1 skipped: their names are not valid UTF-8").arg(what);
}

int MusicFiles::compareNames(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Numbers by value: leading zeros do not count, then the longer
            // run is the larger number, then digit by digit.
            const qsizetype aEnd = digitsEnd(a, i);
            const qsizetype bEnd = digitsEnd(b, j);
            qsizetype aStart = i;
            qsizetype bStart = j;
            while (aStart < aEnd - 1 && a[aStart] == QLatin1Char('0'))
                ++aStart;
            while (bStart < bEnd - 1 && b[bStart] == QLatin1Char('0'))
                ++bStart;
            if (aEnd - aStart != bEnd - bStart)
                return aEnd - aStart < bEnd - bStart ? -1 : 1;
            for (qsizetype k = 0; k < aEnd - aStart; ++k) {
                if (a[aStart + k] != b[bStart + k])
                    return a[aStart + k] < b[bStart + k] ? -1 : 1;
            }
            i = aEnd;
            j = bEnd;
            continue;
        }
        const QChar ca = a[i].toCaseFolded();
        const QChar cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Equal but for case or leading zeros: the exact text decides.
    return a.compare(b);
}

QList<QFileInfo> MusicFiles::entries(const QString &folder, Entries which, SkippedNames *skipped)
{
#ifdef Q_OS_UNIX
    if (skipped)
        countSkipped(folder, *skipped);
#else
    Q_UNUSED(skipped) // a name the system gives is always text there
#endif
    // Without QDir::Hidden and QDir::AllDirs neither hidden files nor hidden
    // folders are listed; without QDir::System no broken links.
    const QDir::Filters filters = which == Entries::Folders
        ? QDir::Dirs | QDir::NoDotAndDotDot
        : QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot;
    const QList<QFileInfo> found = QDir(folder).entryInfoList(filters, QDir::NoSort);
    // The names are taken once: QFileInfo::fileName() makes a new string each time.
    QList<std::pair<QString, qsizetype>> names;
    names.reserve(found.size());
    for (qsizetype i = 0; i < found.size(); ++i)
        names.append({found.at(i).fileName(), i});
    std::sort(names.begin(), names.end(),
        [](const auto &a, const auto &b) { return compareNames(a.first, b.first) < 0; });
    QList<QFileInfo> sorted;
    sorted.reserve(found.size());
    for (const auto &name : std::as_const(names))
        sorted.append(found.at(name.second));
    return sorted;
}

bool MusicFiles::walk(const QString &root, Entries which,
    const std::function<bool(const QFileInfo &)> &visit, SkippedNames *skipped)
{
    if (root.isEmpty())
        return true;
    // Depth first without recursion: a stack of the folders being listed,
    // each with the entries still to visit.
    struct Level {
        QList<QFileInfo> entries;
        qsizetype next = 0;
    };
    QList<Level> stack;
    stack.append({entries(root, which, skipped), 0});
    while (!stack.isEmpty()) {
        Level &level = stack.last();
        if (level.next == level.entries.size()) {
            stack.removeLast();
            continue;
        }
        const QFileInfo entry = level.entries.at(level.next++);
        if (!visit(entry))
            return false;
        if (entry.isDir() && !entry.isSymLink())
            stack.append({entries(entry.filePath(), which, skipped), 0});
    }
    return true;
}

bool MusicFiles::walkFiles(const QString &root,
    const std::function<bool(QString &&path, const FileState &state)> &visit, SkippedNames *skipped)
{
    if (root.isEmpty())
        return true;
#ifdef Q_OS_LINUX
    const int folder
        = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return true; // as a walk of a folder that cannot be read
    const bool finished = walkFilesIn(folder, root, visit, skipped);
    ::close(folder);
    return finished;
#else
    return walk(
        root, Entries::All,
        [&visit](const QFileInfo &entry) {
            if (!isAudioName(entry.fileName()) || entry.isDir())
                return true;
            return visit(entry.filePath(), FileState::of(entry));
        },
        skipped);
#endif
}
