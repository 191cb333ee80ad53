#include "library/scan/MusicFiles.h"

#include <QDir>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

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

} // namespace

bool MusicFiles::isAudioName(QStringView name)
{
    static const QLatin1String suffixes[] = {QLatin1String(".mp3"), QLatin1String(".ogg"),
        QLatin1String(".wav"), QLatin1String(".flac")};
    return std::any_of(std::begin(suffixes), std::end(suffixes),
        [&name](QLatin1String suffix) { return name.endsWith(suffix, Qt::CaseInsensitive); });
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

QList<QFileInfo> MusicFiles::entries(const QString &folder, Entries which)
{
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

bool MusicFiles::walk(
    const QString &root, Entries which, const std::function<bool(const QFileInfo &)> &visit)
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
    stack.append({entries(root, which), 0});
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
            stack.append({entries(entry.filePath(), which), 0});
    }
    return true;
}
