#include "library/cache/CacheLayoutReader.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

namespace {

/** The value of the hexadecimal digit @p c, or -1. */
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/** What a byte is to the reader, for one look-up a byte in the long runs of plain text. */
enum ByteClass : unsigned char { Plain, Space, Quote, Backslash, Control, High };

const std::array<unsigned char, 256> byteClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (int byte = 0; byte < 256; ++byte) {
        if (byte < 0x20)
            classes[byte] = Control;
        else if (byte >= 0x80)
            classes[byte] = High;
    }
    for (const char space : {' ', '\n', '\r', '\t'})
        classes[uchar(space)] = Space;
    classes['"'] = Quote;
    classes['\\'] = Backslash;
    return classes;
}();

/** Below this size a second thread costs more than it saves. */
constexpr qsizetype splitSize = 1 << 20;

/** The last '{' in @p begin up to @p end that follows a '}' and a comma, with any space, or null.
 */
const char *lastEntryStart(const char *begin, const char *end)
{
    const auto spaceBefore = [begin](const char *pos) {
        while (pos != begin && byteClasses[uchar(pos[-1])] == Space)
            --pos;
        return pos;
    };
    for (const char *brace = end; brace != begin;) {
        if (*--brace != '{')
            continue;
        const char *comma = spaceBefore(brace);
        if (comma == begin || comma[-1] != ',')
            continue;
        const char *close = spaceBefore(comma - 1);
        if (close != begin && close[-1] == '}')
            return brace;
    }
    return nullptr;
}

} // namespace

std::optional<QList<TrackTable::Record>> CacheLayoutReader::read(
    QByteArrayView text, const TrackTable *inPlace)
{
    // A large cache is read in two halves at once, split where an entry seems
    // to start. Only the first half's reader knows where strings are: it
    // confirms the split by ending exactly there, else one reader reads it all.
    const qsizetype split = text.size() >= splitSize ? entryStartAfter(text, text.size() / 2) : -1;
    if (split > 0) {
        std::optional<QList<TrackTable::Record>> tail;
        std::thread second([&tail, rest = text.sliced(split), inPlace] {
            tail = CacheLayoutReader(rest, inPlace).records(Part::Tail);
        });
        std::optional<QList<TrackTable::Record>> head
            = CacheLayoutReader(text.first(split), inPlace).records(Part::Head);
        second.join();
        if (head) {
            // The tail was read from a real entry start, as one reader would.
            if (!tail)
                return std::nullopt;
            head->append(std::move(*tail));
            return head;
        }
    }
    return CacheLayoutReader(text, inPlace).records(Part::Whole);
}

std::optional<QList<TrackTable::Record>> CacheLayoutReader::read(
    QFileDevice &file, const TrackTable *inPlace)
{
    const qint64 size = file.size();
    // Split as read(text) splits, at an entry start found in a piece past the middle.
    qint64 split = -1;
    if (size >= splitSize && file.seek(size / 2)) {
        const QByteArray middle = file.read(pieceSize);
        const qsizetype start = entryStartAfter(middle, 0);
        if (start > 0)
            split = size / 2 + start;
    }
    const QString fileName = file.fileName();
    if (split > 0) {
        std::optional<QList<TrackTable::Record>> tail;
        std::thread second([&tail, &fileName, split, size, inPlace] {
            tail = readRange(fileName, split, size, Part::Tail, inPlace);
        });
        std::optional<QList<TrackTable::Record>> head
            = readRange(fileName, 0, split, Part::Head, inPlace);
        second.join();
        if (!head || !tail)
            return std::nullopt;
        head->append(std::move(*tail));
        return head;
    }
    return readRange(fileName, 0, size, Part::Whole, inPlace);
}

std::optional<QList<TrackTable::Record>> CacheLayoutReader::readRange(
    const QString &fileName, qint64 from, qint64 to, Part part, const TrackTable *inPlace)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from))
        return std::nullopt;
    QList<TrackTable::Record> records;
    records.reserve(qsizetype((to - from) / 400 + 1));
    CacheLayoutReader reader(QByteArrayView(), inPlace);
    QByteArray buffer;
    qint64 left = to - from;
    qsizetype kept = 0; // the start of an entry, carried over from the piece before
    qsizetype piece = pieceSize;
    bool opening = part != Part::Tail;
    for (;;) {
        const qsizetype more = qsizetype(std::min<qint64>(piece, left));
        buffer.resize(kept + more);
        if (more > 0 && file.read(buffer.data() + kept, more) != more)
            return std::nullopt;
        left -= more;
        const char *data = buffer.constData();
        const char *stop = data + buffer.size();
        if (left == 0) {
            reader.moveTo(QByteArrayView(data, stop));
            if (!reader.rest(part, opening, records))
                return std::nullopt;
            return records;
        }
        // Whole entries up to the last one that starts in the piece; a false
        // start (within a string) ends the text in a string, and fails.
        const char *cut = lastEntryStart(data, stop);
        if (!cut || cut == data) {
            // An entry longer than a piece: read on.
            kept = buffer.size();
            piece *= 2;
            continue;
        }
        reader.moveTo(QByteArrayView(data, cut));
        if (!reader.rest(Part::Head, opening, records))
            return std::nullopt;
        opening = false;
        kept = stop - cut;
        std::memmove(buffer.data(), cut, size_t(kept));
        piece = pieceSize;
    }
}

void CacheLayoutReader::moveTo(QByteArrayView text)
{
    at = text.data();
    end = text.data() + text.size();
}

qsizetype CacheLayoutReader::entryStartAfter(QByteArrayView text, qsizetype from)
{
    // A '}', a comma and a '{', with any space between them.
    for (qsizetype close = text.indexOf('}', from); close != -1;
         close = text.indexOf('}', close + 1)) {
        CacheLayoutReader after(text.sliced(close + 1), nullptr);
        if (after.take(',') && after.take('{'))
            return after.at - 1 - text.data();
    }
    return -1;
}

CacheLayoutReader::CacheLayoutReader(QByteArrayView text, const TrackTable *inPlace)
    : at(text.data())
    , end(text.data() + text.size())
    , inPlace(inPlace)
{
}

std::optional<QList<TrackTable::Record>> CacheLayoutReader::records(Part part)
{
    QList<TrackTable::Record> records;
    // Roughly 330 bytes an entry; an estimate on the low side costs one regrowth at most.
    records.reserve((end - at) / 400 + 1);
    if (!rest(part, true, records))
        return std::nullopt;
    return records;
}

bool CacheLayoutReader::rest(Part part, bool opening, QList<TrackTable::Record> &records)
{
    if (part != Part::Tail && opening
        && (!take('{') || key() != "tracks" || !take(':') || !take('[')))
        return false;
    if (part == Part::Head) {
        // Whole entries, each with its comma, up to the very end of the half.
        do {
            if (!entry(records) || !take(','))
                return false;
            skipSpace();
        } while (at != end);
        return true;
    }
    // Past the opening, the rest starts with an entry.
    if (part == Part::Tail || !opening || !take(']')) {
        do {
            if (!entry(records))
                return false;
        } while (take(','));
        if (!take(']'))
            return false;
    }
    if (!take('}'))
        return false;
    skipSpace();
    return at == end;
}

void CacheLayoutReader::skipSpace()
{
    const char *pos = at;
    while (pos != end && byteClasses[uchar(*pos)] == Space)
        ++pos;
    at = pos;
}

bool CacheLayoutReader::take(char c)
{
    skipSpace();
    if (at == end || *at != c)
        return false;
    ++at;
    return true;
}

QByteArrayView CacheLayoutReader::key()
{
    if (!take('"'))
        return {};
    const char *start = at;
    const char *pos = at;
    while (pos != end && byteClasses[uchar(*pos)] <= Space)
        ++pos;
    at = pos;
    if (at == end || *at != '"')
        return {};
    return QByteArrayView(start, at++ - start);
}

CacheLayoutReader::Field CacheLayoutReader::fieldOf(QByteArrayView name)
{
    static const QByteArrayView names[]
        = {"path", "artist", "trackArtist", "title", "album", "duration", "mtime", "size", "ctime"};
    for (int field = Path; field < Unknown; ++field) {
        if (name == names[field])
            return Field(field);
    }
    return Unknown;
}

bool CacheLayoutReader::entry(QList<TrackTable::Record> &records)
{
    if (!take('{'))
        return false;
    TrackTable::Record record;
    if (!take('}')) {
        unsigned seen = 0;
        do {
            const QByteArrayView name = key();
            if (name.isNull() || !take(':'))
                return false;
            const Field field = fieldOf(name);
            // A key twice is read as its last value by QJsonDocument.
            if (field != Unknown && (seen & (1u << field)))
                return false;
            seen |= 1u << field;
            if (!member(field, record))
                return false;
        } while (take(','));
        if (!take('}'))
            return false;
    }
    if (record.path.isEmpty())
        return true;
    if (inPlace)
        inPlace->share(record);
    records.append(std::move(record));
    return true;
}

bool CacheLayoutReader::member(Field field, TrackTable::Record &record)
{
    skipSpace();
    if (at == end)
        return false;
    if (*at == '"') {
        QString *text = nullptr;
        switch (field) {
        case Path:
            text = &record.path;
            break;
        case Artist:
            text = &record.artist;
            break;
        case TrackArtist:
            text = &record.trackArtist;
            break;
        case Title:
            text = &record.title;
            break;
        case Album:
            text = &record.album;
            break;
        case Duration:
            text = &record.duration;
            break;
        default:
            break;
        }
        // Artists, albums and lengths repeat: each is decoded once.
        const bool repeats
            = field == Artist || field == TrackArtist || field == Album || field == Duration;
        return string(text, repeats);
    }
    if (*at >= '0' && *at <= '9') {
        const char *start = at;
        qint64 number = 0;
        while (at != end && *at >= '0' && *at <= '9')
            number = number * 10 + (*at++ - '0');
        // Leading zeros, more digits than a double holds exactly, fractions
        // and exponents are left to QJsonDocument.
        const qsizetype digits = at - start;
        if ((digits > 1 && *start == '0') || digits > 15
            || (at != end && (*at == '.' || *at == 'e' || *at == 'E')))
            return false;
        if (field == MTime)
            record.mtime = number;
        else if (field == Size)
            record.size = number;
        else if (field == CTime)
            record.ctime = number;
        return true;
    }
    for (const QByteArrayView word :
        {QByteArrayView("true"), QByteArrayView("false"), QByteArrayView("null")}) {
        if (QByteArrayView(at, end - at).startsWith(word)) {
            at += word.size();
            return true;
        }
    }
    return false;
}

bool CacheLayoutReader::string(QString *text, bool repeats)
{
    ++at; // the opening quote
    const char *start = at;
    bool ascii = true;
    bool escaped = false;
    for (;;) {
        const char *pos = at;
        while (pos != end && byteClasses[uchar(*pos)] <= Space)
            ++pos;
        at = pos;
        if (at == end)
            return false;
        const unsigned char byteClass = byteClasses[uchar(*at)];
        if (byteClass == Quote)
            break;
        if (byteClass == Control)
            return false;
        if (byteClass == Backslash) {
            escaped = true;
            at += 2;
            if (at > end)
                return false;
        } else {
            ascii = false;
            if (!skipUtf8())
                return false;
        }
    }
    const QByteArrayView raw(start, at++ - start);
    if (!text)
        return !escaped || unescape(raw, nullptr);
    if (repeats) {
        const auto found = shared.constFind(raw);
        if (found != shared.constEnd()) {
            *text = *found;
            return true;
        }
    }
    if (escaped) {
        if (!unescape(raw, text))
            return false;
    } else if (ascii) {
        *text = QString::fromLatin1(raw);
    } else {
        *text = QString::fromUtf8(raw);
    }
    if (repeats && !text->isEmpty()) {
        // The text read moves on; the key stays in a copy of its own.
        sharedText.emplace_back(raw.data(), raw.size());
        shared.insert(QByteArrayView(sharedText.back()), *text);
    }
    return true;
}

bool CacheLayoutReader::skipUtf8()
{
    const uchar lead = uchar(*at);
    int more = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        more = 1;
        code = lead & 0x1f;
        least = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        more = 2;
        code = lead & 0x0f;
        least = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        more = 3;
        code = lead & 0x07;
        least = 0x10000;
    } else {
        return false;
    }
    if (end - at <= more)
        return false;
    for (int i = 1; i <= more; ++i) {
        const uchar next = uchar(at[i]);
        if ((next & 0xc0) != 0x80)
            return false;
        code = (code << 6) | (next & 0x3f);
    }
    if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return false;
    at += more + 1;
    return true;
}

bool CacheLayoutReader::unescape(QByteArrayView raw, QString *text)
{
    // Each \u escape is one UTF-16 unit, a lone surrogate included, as
    // QJsonDocument reads it.
    QString decoded;
    decoded.reserve(raw.size());
    const char *pos = raw.data();
    const char *stop = pos + raw.size();
    while (pos != stop) {
        const char *plain = pos;
        while (pos != stop && *pos != '\\')
            ++pos;
        if (pos != plain)
            decoded += QString::fromUtf8(QByteArrayView(plain, pos - plain));
        if (pos == stop)
            break;
        ++pos; // the backslash; a string never ends in one
        switch (*pos++) {
        case '"':
            decoded += QLatin1Char('"');
            break;
        case '\\':
            decoded += QLatin1Char('\\');
            break;
        case '/':
            decoded += QLatin1Char('/');
            break;
        case 'b':
            decoded += QLatin1Char('\b');
            break;
        case 'f':
            decoded += QLatin1Char('\f');
            break;
        case 'n':
            decoded += QLatin1Char('\n');
            break;
        case 'r':
            decoded += QLatin1Char('\r');
            break;
        case 't':
            decoded += QLatin1Char('\t');
            break;
        case 'u': {
            if (stop - pos < 4)
                return false;
            char16_t unit = 0;
            for (int i = 0; i < 4; ++i) {
                const int digit = hexDigit(pos[i]);
                if (digit < 0)
                    return false;
                unit = char16_t((unit << 4) | digit);
            }
            pos += 4;
            decoded += QChar(unit);
            break;
        }
        default:
            return false;
        }
    }
    if (text)
        *text = std::move(decoded);
    return true;
}
