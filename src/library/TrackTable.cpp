#include "library/TrackTable.h"

#include <algorithm>
#include <cstring>
#include <thread>

QString TrackTable::Interner::operator()(const QString &text)
{
    if (text.isEmpty())
        return QString();
    const auto found = seen.constFind(text);
    if (found != seen.constEnd())
        return *found;
    seen.insert(text);
    return text;
}

void TrackTable::Interner::intern(Record &record)
{
    record.artist = (*this)(record.artist);
    record.album = (*this)(record.album);
    record.trackArtist = (*this)(record.trackArtist);
    record.duration = (*this)(record.duration);
}

TrackTable::TrackTable(QList<Record> records)
    : rows(std::move(records))
{
    // Read only through this: a non-const look at the rows would copy them
    // all when the list is shared, under the feet of the indexing thread.
    const QList<Record> &all = rows;
    // The path index and the keys need nothing of each other: a large table
    // builds them at once, which halves the wait at start-up.
    const auto indexPaths = [this, &all] {
        pathRows.reserve(all.size());
        // Backwards, so that the first row of a path twice is the one that stays.
        for (int row = int(all.size()) - 1; row >= 0; --row)
            pathRows.insert(all.at(row).path, row);
    };
    std::thread indexer;
    if (all.size() >= 10000)
        indexer = std::thread(indexPaths);
    else
        indexPaths();
    keyStarts.clear();
    keyStarts.reserve(size_t(all.size()) + 1);
    qsizetype total = 0;
    for (const Record &record : all)
        total += record.path.size() + record.artist.size() + record.title.size()
            + record.album.size() + record.trackArtist.size() + 5;
    keys.reserve(total);
    for (const Record &record : all) {
        keyStarts.push_back(keys.size());
        appendSearchKey(keys, record);
        keys += QChar(0);
    }
    keyStarts.push_back(keys.size());
    keys.squeeze();
    if (indexer.joinable())
        indexer.join();
}

int TrackTable::count() const
{
    return int(rows.size());
}

const TrackTable::Record &TrackTable::at(int row) const
{
    return rows.at(row);
}

const QList<TrackTable::Record> &TrackTable::records() const
{
    return rows;
}

int TrackTable::rowOf(const QString &path) const
{
    return pathRows.value(path, -1);
}

QStringView TrackTable::searchKey(int row) const
{
    const qsizetype start = keyStarts.at(size_t(row));
    return QStringView(keys).mid(start, keyStarts.at(size_t(row) + 1) - start - 1);
}

qsizetype TrackTable::find(QStringView needle, qsizetype from, qsizetype end) const
{
    // The keys are UTF-16; a byte search is the fastest the C library has, and
    // a hit at an odd byte offset straddles two characters and is passed over.
    if (needle.size() == 1) {
        const qsizetype at = QStringView(keys).left(end).indexOf(needle.front(), from);
        return at;
    }
    const char *base = reinterpret_cast<const char *>(keys.constData());
    const size_t needleBytes = size_t(needle.size()) * 2;
    size_t byte = size_t(from) * 2;
    const size_t endByte = size_t(end) * 2;
    while (byte + needleBytes <= endByte) {
        const void *hit = memmem(base + byte, endByte - byte, needle.data(), needleBytes);
        if (!hit)
            return -1;
        const size_t at = size_t(static_cast<const char *>(hit) - base);
        if (at % 2 == 0)
            return qsizetype(at / 2);
        byte = at + 1;
    }
    return -1;
}

QList<int> TrackTable::search(QStringView folded, const QList<int> *within) const
{
    QList<int> hits;
    if (folded.isEmpty())
        return hits;
    // A few rows are searched one by one; many (the first letters typed) in
    // one pass over the buffer that jumps from each hit to the next row in
    // question.
    if (within
        && (within->size() <= rows.size() / 8
            || !std::is_sorted(within->cbegin(), within->cend()))) {
        for (const int row : *within) {
            if (row < 0 || row >= rows.size())
                continue;
            const qsizetype end = keyStarts[size_t(row) + 1] - 1;
            if (find(folded, keyStarts[size_t(row)], end) != -1)
                hits.append(row);
        }
        return hits;
    }
    const int *asked = within ? within->constData() : nullptr;
    const int *askedEnd = within ? asked + within->size() : nullptr;
    const qsizetype end = keys.size();
    qsizetype from = 0;
    qsizetype row = 0; // the row that holds offset from
    // Moves row, and from with it, on to the next row in question; false when none is left.
    const auto toAsked = [&] {
        if (!asked)
            return true;
        while (asked != askedEnd && *asked < row)
            ++asked;
        if (asked == askedEnd || *asked >= rows.size())
            return false;
        if (*asked > row) {
            row = *asked;
            from = keyStarts[size_t(row)];
        }
        return true;
    };
    while (from < end && toAsked()) {
        const qsizetype at = find(folded, from, end);
        if (at == -1)
            break;
        // The row whose key holds the hit: most often the one searched from
        // or the next, when a query hits many rows.
        for (int step = 0; keyStarts[size_t(row) + 1] <= at; ++step) {
            if (step == 4) {
                row = std::upper_bound(keyStarts.cbegin() + row, keyStarts.cend(), at)
                    - keyStarts.cbegin() - 1;
                break;
            }
            ++row;
        }
        if (asked) {
            const qsizetype hitRow = row;
            if (!toAsked())
                break;
            if (row != hitRow)
                continue; // a row not in question: on from the next one that is
        }
        // A hit across a row's end is none.
        if (at + folded.size() < keyStarts[size_t(row) + 1]) {
            hits.append(int(row));
            from = keyStarts[size_t(++row)];
        } else {
            from = at + 1;
        }
    }
    return hits;
}

QString TrackTable::fileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString TrackTable::searchKeyOf(const Record &record)
{
    QString key;
    appendSearchKey(key, record);
    return key;
}

void TrackTable::appendSearchKey(QString &out, const Record &record)
{
    out.reserve(out.size() + record.artist.size() + record.title.size() + record.album.size()
        + record.path.size() + record.trackArtist.size() + 4);
    appendFolded(out, record.artist);
    out += QLatin1Char(' ');
    appendFolded(out, record.title);
    out += QLatin1Char(' ');
    appendFolded(out, record.album);
    out += QLatin1Char(' ');
    appendFolded(out, QStringView(record.path).mid(record.path.lastIndexOf(QLatin1Char('/')) + 1));
    // The track artist too, where the list shows the album artist.
    if (!record.trackArtist.isEmpty() && record.trackArtist != record.artist) {
        out += QLatin1Char(' ');
        appendFolded(out, record.trackArtist);
    }
}

void TrackTable::appendFolded(QString &out, QStringView text)
{
    // QString::toCaseFolded() maps each code point on its own; a table of the
    // basic plane does the same many times faster, which the key of every
    // record at every install needs.
    static const std::vector<char16_t> foldOf = [] {
        std::vector<char16_t> table(0x10000);
        for (char32_t unit = 0; unit < 0x10000; ++unit)
            table[unit]
                = QChar::isSurrogate(unit) ? char16_t(unit) : char16_t(QChar::toCaseFolded(unit));
        return table;
    }();
    const qsizetype start = out.size();
    // Folding never lengthens: a unit stays a unit, a surrogate pair a pair.
    out.resize(start + text.size());
    char16_t *to = reinterpret_cast<char16_t *>(out.data()) + start;
    const char16_t *from = text.utf16();
    const char16_t *const end = from + text.size();
    while (from != end) {
        const char16_t unit = *from++;
        if (!QChar::isHighSurrogate(unit) || from == end || !QChar::isLowSurrogate(*from)) {
            *to++ = foldOf[unit];
            continue;
        }
        const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(unit, *from++));
        if (QChar::requiresSurrogates(folded)) {
            *to++ = QChar::highSurrogate(folded);
            *to++ = QChar::lowSurrogate(folded);
        } else {
            *to++ = char16_t(folded);
        }
    }
    out.resize(to - reinterpret_cast<const char16_t *>(out.constData()));
}

QString TrackTable::displayName(const Record &record)
{
    if (record.artist.isEmpty() && record.title.isEmpty())
        return fileName(record.path);
    // One simultaneous substitution: a "%1" inside a tag stays as it is.
    return QStringLiteral("%1 - %2 (%3)")
        .arg(record.artist.isEmpty() ? QStringLiteral("Unknown Artist") : record.artist,
            record.title.isEmpty() ? QStringLiteral("Unknown Title") : record.title,
            record.duration);
}
