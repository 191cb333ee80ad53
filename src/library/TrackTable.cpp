#include "library/TrackTable.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

/** Below this many rows a second thread costs more than it saves. */
constexpr qsizetype splitRows = 20000;

} // namespace

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

TrackTable::TrackTable(QList<Record> records, Keys keys)
    : rows(std::move(records))
{
    if (keys == Keys::Later) {
        indexPaths();
        return;
    }
    // The path index and the keys need nothing of each other: a large table
    // builds them at once, which halves the wait.
    std::thread indexer;
    if (rows.size() >= 10000)
        indexer = std::thread([this] { indexPaths(); });
    else
        indexPaths();
    prepareSearch();
    if (indexer.joinable())
        indexer.join();
}

void TrackTable::indexPaths()
{
    // Read only through this: a non-const look at the rows would copy them
    // all when the list is shared.
    const QList<Record> &all = rows;
    pathRows.reserve(all.size());
    // Backwards, so that the first row of a path twice is the one that stays.
    for (int row = int(all.size()) - 1; row >= 0; --row) {
        const qsizetype before = pathRows.size();
        pathRows.insert(all.at(row).path, row);
        duplicates = duplicates || pathRows.size() == before;
    }
}

void TrackTable::prepareSearch() const
{
    std::call_once(keysLaidOut, [this] { layOutKeys(); });
}

void TrackTable::layOutKeys() const
{
    keyStarts.clear();
    keyStarts.reserve(size_t(rows.size()) + 1);
    qsizetype total = 0;
    for (const Record &record : rows)
        total += record.path.size() + record.artist.size() + record.title.size()
            + record.album.size() + record.trackArtist.size() + 5;
    keys.reserve(total);
    for (const Record &record : rows) {
        keyStarts.push_back(keys.size());
        appendSearchKey(keys, record);
        keys += QChar(0);
    }
    keyStarts.push_back(keys.size());
    keys.squeeze();
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

void TrackTable::share(QString &path) const
{
    if (const int row = rowOf(path); row >= 0)
        path = rows.at(row).path;
}

void TrackTable::share(Record &record) const
{
    const int row = rowOf(record.path);
    if (row < 0)
        return;
    const Record &kept = rows.at(row);
    const auto same = [](QString &text, const QString &keptText) {
        if (text == keptText)
            text = keptText;
    };
    record.path = kept.path;
    same(record.title, kept.title);
    same(record.artist, kept.artist);
    same(record.album, kept.album);
    same(record.trackArtist, kept.trackArtist);
    same(record.duration, kept.duration);
}

bool TrackTable::hasDuplicatePaths() const
{
    return duplicates;
}

QStringView TrackTable::searchKey(int row) const
{
    prepareSearch();
    const qsizetype start = keyStarts.at(size_t(row));
    return QStringView(keys).mid(start, keyStarts.at(size_t(row) + 1) - start - 1);
}

qsizetype TrackTable::find(QStringView needle, qsizetype from, qsizetype end) const
{
    // The first unit is looked for with Qt's vector search, the rest compared
    // where it is: most hits are a row or two apart, and a general search
    // started for each of them costs more in setting up than in searching.
    const qsizetype lastStart = end - needle.size();
    if (from > lastStart)
        return -1;
    const QStringView starts = QStringView(keys).first(lastStart + 1);
    const QChar first = needle.front();
    const QStringView rest = needle.sliced(1);
    for (qsizetype at = starts.indexOf(first, from); at != -1; at = starts.indexOf(first, at + 1)) {
        if (QStringView(keys).sliced(at + 1, rest.size()) == rest)
            return at;
    }
    return -1;
}

QList<int> TrackTable::search(QStringView folded, const QList<int> *within) const
{
    QList<int> hits;
    if (folded.isEmpty())
        return hits;
    prepareSearch();
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
    // A large table is searched in two halves at once: the first letters of
    // a query pass over every key.
    const int middle = rows.size() >= splitRows ? int(rows.size() / 2) : int(rows.size());
    if (middle == rows.size())
        return searchRows(folded, 0, middle, asked, askedEnd);
    const int *askedMiddle = asked ? std::lower_bound(asked, askedEnd, middle) : nullptr;
    QList<int> tail;
    std::thread second(
        [&] { tail = searchRows(folded, middle, int(rows.size()), askedMiddle, askedEnd); });
    QList<int> head = searchRows(folded, 0, middle, asked, askedMiddle);
    second.join();
    head.append(tail);
    return head;
}

QList<int> TrackTable::searchRows(
    QStringView folded, int first, int last, const int *asked, const int *askedEnd) const
{
    QList<int> hits;
    const qsizetype end = keyStarts[size_t(last)];
    qsizetype from = keyStarts[size_t(first)];
    qsizetype row = first; // the row that holds offset from
    // Moves row, and from with it, on to the next row in question; false when none is left.
    const auto toAsked = [&] {
        if (!asked)
            return true;
        while (asked != askedEnd && *asked < row)
            ++asked;
        if (asked == askedEnd || *asked >= last)
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
                row = std::upper_bound(keyStarts.cbegin() + row, keyStarts.cbegin() + last + 1, at)
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
    appendSearchForm(out, record.artist);
    out += QLatin1Char(' ');
    appendSearchForm(out, record.title);
    out += QLatin1Char(' ');
    appendSearchForm(out, record.album);
    out += QLatin1Char(' ');
    appendSearchForm(
        out, QStringView(record.path).mid(record.path.lastIndexOf(QLatin1Char('/')) + 1));
    // The track artist too, where the list shows the album artist.
    if (!record.trackArtist.isEmpty() && record.trackArtist != record.artist) {
        out += QLatin1Char(' ');
        appendSearchForm(out, record.trackArtist);
    }
}

namespace {

/**
 * The search form of each code point of the basic plane: its compatibility
 * decomposition (NFKD) without the non-spacing marks (the accents), each
 * remaining code point case-folded. Most take one unit, an accent none, a
 * ligature or a Hangul syllable several.
 */
class SearchForms {
public:
    SearchForms()
        : entries(0x10000)
    {
        for (char32_t unit = 0; unit < 0x10000; ++unit) {
            Entry &entry = entries[unit];
            if (QChar::isSurrogate(unit)) {
                entry = {char16_t(unit), 1}; // a pair is looked at whole
                continue;
            }
            // Only a code point with a decomposition needs the normalizer.
            if (QChar::decompositionTag(unit) == QChar::NoDecomposition) {
                if (QChar::category(unit) != QChar::Mark_NonSpacing)
                    entry = {char16_t(QChar::toCaseFolded(unit)), 1};
                continue;
            }
            const QString form = of(QString(QChar(char16_t(unit))));
            if (form.size() == 1) {
                entry = {form.front().unicode(), 1};
            } else if (!form.isEmpty()) {
                entry = {char16_t(expansions.size()), quint16(form.size())};
                expansions += form;
            }
        }
    }

    /** The units of @p unit's form: their count, and where they are. */
    qsizetype lookUp(char16_t unit, const char16_t **units) const
    {
        const Entry &entry = entries[unit];
        *units = entry.count == 1
            ? &entry.unit
            : reinterpret_cast<const char16_t *>(expansions.constData()) + entry.unit;
        return entry.count;
    }

    /** The search form of @p text, built by Qt's own normalizer and folding. */
    static QString of(const QString &text)
    {
        const QString decomposed = text.normalized(QString::NormalizationForm_KD);
        QString form;
        form.reserve(decomposed.size());
        for (qsizetype i = 0; i < decomposed.size(); ++i) {
            char32_t code = decomposed.at(i).unicode();
            if (QChar::isHighSurrogate(code) && i + 1 < decomposed.size()
                && decomposed.at(i + 1).isLowSurrogate()) {
                code = QChar::surrogateToUcs4(decomposed.at(i), decomposed.at(i + 1));
                ++i;
            }
            if (QChar::category(code) == QChar::Mark_NonSpacing)
                continue;
            code = QChar::toCaseFolded(code);
            if (QChar::requiresSurrogates(code)) {
                form += QChar(QChar::highSurrogate(code));
                form += QChar(QChar::lowSurrogate(code));
            } else {
                form += QChar(char16_t(code));
            }
        }
        return form;
    }

private:
    struct Entry {
        char16_t unit = 0; ///< the one unit, or where the units of a longer form start
        quint16 count = 0; ///< how many units, 0 for an accent
    };
    std::vector<Entry> entries;
    QString expansions; ///< the forms of more than one unit, one after another
};

} // namespace

QString TrackTable::searchForm(QStringView text)
{
    QString form;
    appendSearchForm(form, text);
    return form;
}

void TrackTable::appendSearchForm(QString &out, QStringView text)
{
    // Qt's normalizer allocates for every string; a table of the basic plane
    // gives the same form many times faster, which the key of every record
    // at every install needs.
    static const SearchForms forms;
    qsizetype written = out.size();
    // Most units take one unit; room is made as forms turn out longer.
    out.resize(written + text.size());
    char16_t *to = reinterpret_cast<char16_t *>(out.data());
    const char16_t *from = text.utf16();
    const char16_t *const end = from + text.size();
    const auto put = [&](const char16_t *units, qsizetype count) {
        const qsizetype needed = written + count + (end - from);
        if (needed > out.size()) {
            out.resize(needed + 16);
            to = reinterpret_cast<char16_t *>(out.data());
        }
        std::memcpy(to + written, units, size_t(count) * sizeof(char16_t));
        written += count;
    };
    while (from != end) {
        const char16_t unit = *from++;
        if (QChar::isHighSurrogate(unit) && from != end && QChar::isLowSurrogate(*from)) {
            const char16_t pair[] = {unit, *from++};
            const QString form = SearchForms::of(QString::fromUtf16(pair, 2));
            put(reinterpret_cast<const char16_t *>(form.utf16()), form.size());
            continue;
        }
        const char16_t *units = nullptr;
        const qsizetype count = forms.lookUp(unit, &units);
        if (count == 1)
            to[written++] = *units;
        else if (count > 1)
            put(units, count);
    }
    out.resize(written);
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
