#include "library/cache/TrackCache.h"

#include "library/cache/CacheLayoutReader.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>

namespace {

/** A whole number >= 0 from @p value, or -1 for anything else. */
qint64 wholeNumber(const QJsonValue &value)
{
    const double number = value.toDouble(-1);
    if (!(number >= 0 && number < 9e15) || number != double(qint64(number)))
        return -1;
    return qint64(number);
}

/** Appends @p text to @p out as a JSON string that parses back to the very same characters. */
void appendString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    const auto escapeUnit = [&out](char16_t unit) {
        out += "\\u";
        out += hex[(unit >> 12) & 0xf];
        out += hex[(unit >> 8) & 0xf];
        out += hex[(unit >> 4) & 0xf];
        out += hex[unit & 0xf];
    };
    out += '"';
    const char16_t *units = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80) {
            switch (unit) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (unit < 0x20)
                    escapeUnit(unit);
                else
                    out += char(unit);
            }
        } else if (unit < 0x800) {
            out += char(0xc0 | (unit >> 6));
            out += char(0x80 | (unit & 0x3f));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size
            && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t code = QChar::surrogateToUcs4(unit, units[++i]);
            out += char(0xf0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3f));
            out += char(0x80 | ((code >> 6) & 0x3f));
            out += char(0x80 | (code & 0x3f));
        } else if (QChar::isSurrogate(unit)) {
            // UTF-8 has no form for half a pair; the escape keeps it as it is.
            escapeUnit(unit);
        } else {
            out += char(0xe0 | (unit >> 12));
            out += char(0x80 | ((unit >> 6) & 0x3f));
            out += char(0x80 | (unit & 0x3f));
        }
    }
    out += '"';
}

} // namespace

std::optional<QList<TrackTable::Record>> TrackCache::read(const QString &path)
{
    QFile file(path);
    // Only a regular file (or a link to one): opening a FIFO waits for a
    // writer and a device may never end, either of which would hang the load.
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.readAll();
    if (std::optional<QList<TrackTable::Record>> records = CacheLayoutReader::read(text))
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
        interner.intern(record);
        records.append(std::move(record));
    }
    return records;
}

QByteArray TrackCache::toJson(const QList<TrackTable::Record> &records)
{
    // Byte for byte what QJsonDocument writes in its indented layout (members
    // in the order of their keys), only many times faster: the file looks the
    // same to anyone who reads or compares it.
    QByteArray out;
    out.reserve(records.size() * 320 + 32);
    out += "{\n    \"tracks\": [\n";
    const auto member = [&out](const char *key, bool first) {
        out += first ? "            \"" : ",\n            \"";
        out += key;
        out += "\": ";
    };
    for (qsizetype i = 0; i < records.size(); ++i) {
        const TrackTable::Record &record = records.at(i);
        out += "        {\n";
        member("album", true);
        appendString(out, record.album);
        member("artist", false);
        appendString(out, record.artist);
        if (record.ctime >= 0) {
            member("ctime", false);
            out += QByteArray::number(record.ctime);
        }
        member("duration", false);
        appendString(out, record.duration);
        if (record.mtime >= 0) {
            member("mtime", false);
            out += QByteArray::number(record.mtime);
        }
        member("path", false);
        appendString(out, record.path);
        if (record.size >= 0) {
            member("size", false);
            out += QByteArray::number(record.size);
        }
        member("title", false);
        appendString(out, record.title);
        // Only where the file has one; a build that does not know the key skips it.
        if (!record.trackArtist.isEmpty()) {
            member("trackArtist", false);
            appendString(out, record.trackArtist);
        }
        out += i + 1 < records.size() ? "\n        },\n" : "\n        }\n";
    }
    out += "    ]\n}\n";
    return out;
}

bool TrackCache::write(const QString &path, const QByteArray &json)
{
    if (path.isEmpty())
        return false;
    // Written to a temporary file that replaces the old cache only when
    // complete, so a crash or a full disk never leaves a truncated cache.
    // What the file buffer still holds reaches the disk in flush(): Qt 6.4's
    // commit() ignores a flush that fails and would put a short file in place.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        if (file.write(json) != json.size() || !file.flush()) {
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
    if (existing.seek(0) && existing.write(json) == json.size() && existing.flush()
        && existing.resize(json.size()))
        return true;
    existing.seek(0);
    existing.write(old);
    existing.flush();
    existing.resize(old.size());
    return false;
}
