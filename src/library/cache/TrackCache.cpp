#include "library/cache/TrackCache.h"

#include "library/cache/CacheLayoutReader.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

/** A whole number >= 0 from @p value, or -1 for anything else. */
qint64 wholeNumber(const QJsonValue &value)
{
    const double number = value.toDouble(-1);
    if (!(number >= 0 && number < 9e15) || number != double(qint64(number)))
        return -1;
    return qint64(number);
}

/**
 * Writes JSON text through a cursor into room made beforehand: one check of
 * the room per record rather than one per byte, which halves the save.
 */
class JsonWriter {
public:
    explicit JsonWriter(QByteArray &out)
        : out(out)
    {
    }
    ~JsonWriter()
    {
        out.resize(at);
    }

    /** Makes room for @p bytes more. */
    void reserve(qsizetype bytes)
    {
        if (at + bytes > out.size()) {
            out.resize(std::max(at + bytes, out.size() * 3 / 2));
            base = out.data();
        }
    }
    void put(char c)
    {
        base[at++] = c;
    }
    void put(const char *text)
    {
        const size_t length = std::strlen(text);
        std::memcpy(base + at, text, length);
        at += qsizetype(length);
    }
    void number(qint64 value)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = char('0' + value % 10);
            value /= 10;
        } while (value > 0);
        while (count > 0)
            base[at++] = digits[--count];
    }
    /** @p text as a JSON string that parses back to the very same characters. */
    void string(const QString &text);
    /** The room string() may take for @p text at most. */
    static qsizetype room(const QString &text)
    {
        return text.size() * 6 + 2;
    }

private:
    void escapeUnit(char16_t unit)
    {
        static const char hex[] = "0123456789abcdef";
        put("\\u");
        put(hex[(unit >> 12) & 0xf]);
        put(hex[(unit >> 8) & 0xf]);
        put(hex[(unit >> 4) & 0xf]);
        put(hex[unit & 0xf]);
    }

    QByteArray &out;
    char *base = out.data();
    qsizetype at = out.size();
};

void JsonWriter::string(const QString &text)
{
    put('"');
    const char16_t *units = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80) {
            switch (unit) {
            case '"':
                put("\\\"");
                break;
            case '\\':
                put("\\\\");
                break;
            case '\n':
                put("\\n");
                break;
            case '\t':
                put("\\t");
                break;
            case '\r':
                put("\\r");
                break;
            case '\b':
                put("\\b");
                break;
            case '\f':
                put("\\f");
                break;
            default:
                if (unit < 0x20)
                    escapeUnit(unit);
                else
                    put(char(unit));
            }
        } else if (unit < 0x800) {
            put(char(0xc0 | (unit >> 6)));
            put(char(0x80 | (unit & 0x3f)));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size
            && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t code = QChar::surrogateToUcs4(unit, units[++i]);
            put(char(0xf0 | (code >> 18)));
            put(char(0x80 | ((code >> 12) & 0x3f)));
            put(char(0x80 | ((code >> 6) & 0x3f)));
            put(char(0x80 | (code & 0x3f)));
        } else if (QChar::isSurrogate(unit)) {
            // UTF-8 has no form for half a pair; the escape keeps it as it is.
            escapeUnit(unit);
        } else {
            put(char(0xe0 | (unit >> 12)));
            put(char(0x80 | ((unit >> 6) & 0x3f)));
            put(char(0x80 | (unit & 0x3f)));
        }
    }
    put('"');
}

/** Appends the entries of @p records from @p from to @p to, each followed by a comma but the last
 * of all. */
void appendEntries(
    QByteArray &out, const QList<TrackTable::Record> &records, qsizetype from, qsizetype to)
{
    JsonWriter writer(out);
    const auto member = [&writer](const char *key, bool first) {
        writer.put(first ? "            \"" : ",\n            \"");
        writer.put(key);
        writer.put("\": ");
    };
    for (qsizetype i = from; i < to; ++i) {
        const TrackTable::Record &record = records.at(i);
        // The keys, the indentation and three numbers of at most 20 digits.
        writer.reserve(JsonWriter::room(record.album) + JsonWriter::room(record.artist)
            + JsonWriter::room(record.duration) + JsonWriter::room(record.path)
            + JsonWriter::room(record.title) + JsonWriter::room(record.trackArtist) + 400);
        writer.put("        {\n");
        member("album", true);
        writer.string(record.album);
        member("artist", false);
        writer.string(record.artist);
        if (record.ctime >= 0) {
            member("ctime", false);
            writer.number(record.ctime);
        }
        member("duration", false);
        writer.string(record.duration);
        if (record.mtime >= 0) {
            member("mtime", false);
            writer.number(record.mtime);
        }
        member("path", false);
        writer.string(record.path);
        if (record.size >= 0) {
            member("size", false);
            writer.number(record.size);
        }
        member("title", false);
        writer.string(record.title);
        // Only where the file has one; a build that does not know the key skips it.
        if (!record.trackArtist.isEmpty()) {
            member("trackArtist", false);
            writer.string(record.trackArtist);
        }
        writer.put(i + 1 < records.size() ? "\n        },\n" : "\n        }\n");
    }
}

} // namespace

std::optional<QList<TrackTable::Record>> TrackCache::read(
    const QString &path, const TrackTable *inPlace)
{
    QFile file(path);
    // Only a regular file (or a link to one): opening a FIFO waits for a
    // writer and a device may never end, either of which would hang the load.
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A large cache is read a piece at a time: its text is as large as the
    // table it becomes, and every page of it taken anew costs time.
    if (file.size() >= 2 * CacheLayoutReader::pieceSize) {
        if (std::optional<QList<TrackTable::Record>> records
            = CacheLayoutReader::read(file, inPlace))
            return records;
        if (!file.seek(0))
            return std::nullopt;
    }
    const QByteArray text = file.readAll();
    if (std::optional<QList<TrackTable::Record>> records = CacheLayoutReader::read(text, inPlace))
        return records;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;

    const QJsonArray tracks = document.object().value(QLatin1String("tracks")).toArray();
    QList<TrackTable::Record> records;
    records.reserve(tracks.size());
    TrackTable::Interner interner;
    for (const QJsonValue &value : tracks) {
        const QJsonObject entry = value.toObject();
        TrackTable::Record record;
        record.path = entry.value(QLatin1String("path")).toString();
        // Whether the file is still there is the update scan's to find out:
        // a look at every file here would cost the start a second at 50,000.
        if (record.path.isEmpty())
            continue;
        record.artist = entry.value(QLatin1String("artist")).toString();
        record.trackArtist = entry.value(QLatin1String("trackArtist")).toString();
        record.title = entry.value(QLatin1String("title")).toString();
        record.album = entry.value(QLatin1String("album")).toString();
        record.duration = entry.value(QLatin1String("duration")).toString();
        record.mtime = wholeNumber(entry.value(QLatin1String("mtime")));
        record.size = wholeNumber(entry.value(QLatin1String("size")));
        record.ctime = wholeNumber(entry.value(QLatin1String("ctime")));
        if (inPlace)
            inPlace->share(record);
        interner.intern(record);
        records.append(std::move(record));
    }
    return records;
}

bool TrackCache::writeText(QFileDevice &file, const QList<TrackTable::Record> &records)
{
    // Byte for byte what QJsonDocument writes in its indented layout (members
    // in the order of their keys), only many times faster: the file looks the
    // same to anyone who reads or compares it. Written a few thousand entries
    // at a time, two built at once, so that a large library's text is never
    // all in memory.
    constexpr qsizetype chunk = 8192;
    QByteArray first = "{\n    \"tracks\": [\n";
    QByteArray second;
    qsizetype from = 0;
    do {
        const qsizetype middle = std::min(records.size(), from + chunk);
        const qsizetype to = std::min(records.size(), middle + chunk);
        std::thread other;
        if (middle < to)
            other = std::thread([&] { appendEntries(second, records, middle, to); });
        appendEntries(first, records, from, middle);
        if (other.joinable())
            other.join();
        if (to == records.size())
            second += "    ]\n}\n";
        if (file.write(first) != first.size() || file.write(second) != second.size())
            return false;
        // Emptied, their room kept for the next ones.
        first.resize(0);
        second.resize(0);
        from = to;
    } while (from < records.size());
    return true;
}

bool TrackCache::write(const QString &path, const QList<TrackTable::Record> &records)
{
    if (path.isEmpty())
        return false;
    // Written to a temporary file that replaces the old cache only when
    // complete, so a crash or a full disk never leaves a truncated cache.
    // What the file buffer still holds reaches the disk in flush(): Qt 6.4's
    // commit() ignores a flush that fails and would put a short file in place.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        if (!writeText(file, records) || !file.flush()) {
            file.cancelWriting();
            return false;
        }
        return file.commit();
    }

    // A folder that takes no new files can still hold a writable cache (a
    // shared or locked-down music folder): write that file in place. QSaveFile's
    // own direct-write fallback is not enough: it acts only on EACCES, while an
    // immutable folder answers EPERM. The old text is not cut off first: its
    // blocks stay the file's, so a write that fails (a full disk) can put it
    // back without needing any new space.
    QFile existing(path);
    if (!QFileInfo(path).isFile() || !existing.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    const QByteArray old = existing.readAll();
    if (existing.seek(0) && writeText(existing, records) && existing.flush()
        && existing.resize(existing.pos()))
        return true;
    existing.seek(0);
    existing.write(old);
    existing.flush();
    existing.resize(old.size());
    return false;
}
