// Damaged cache files: thousands of mutations of a valid cache fed to
// loadFromCache, which must always return, return false exactly when the file
// holds no JSON object, and then leave the library as it was; special files
// under the cache's name; and cache writes that cannot succeed, which must
// keep the previous cache.

#include "Playlist.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

using namespace TestSupport;

namespace {

constexpr quint32 seed = 0xcac4e007;
constexpr int minimumCases = 1000;
constexpr int maximumCases = 3000;
// The run stops early after this long; fewer than minimumCases then fails.
constexpr qint64 budgetMs = 60000;
// One load taking this long counts as a hang: the watchdog aborts with the case number.
constexpr qint64 hangMs = 30000;

/** Every field of every record, derived ones included: "unchanged" means all of it. */
QList<QStringList> snapshot(const Playlist &playlist)
{
    QList<QStringList> rows;
    for (const Playlist::TrackInfo &track : playlist.getTracks())
        rows.append({track.url.toString(QUrl::FullyEncoded), track.artist, track.title, track.album,
                     track.duration, track.fileName, track.displayName, track.searchKey});
    return rows;
}

/**
 * What a load of @p bytes must give, worked out from the parsed document
 * directly: false when it is no JSON object, else true and the records.
 */
bool expectedLoad(const QByteArray &bytes, QList<QStringList> &records)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    records.clear();
    const QJsonValue tracks = document.object().value(QLatin1String("tracks"));
    if (!tracks.isArray())
        return true;
    for (const QJsonValue &value : tracks.toArray()) {
        const QJsonObject entry = value.toObject();
        const QJsonValue path = entry.value(QLatin1String("path"));
        if (!path.isString() || !QFileInfo::exists(path.toString()))
            continue;
        const auto text = [&entry](const char *key) {
            const QJsonValue v = entry.value(QLatin1String(key));
            return v.isString() ? v.toString() : QString();
        };
        records.append({QUrl::fromLocalFile(path.toString()).toLocalFile(), text("artist"),
                        text("title"), text("album"), text("duration")});
    }
    return true;
}

/** Turns a valid cache into a damaged one, a few random mutations at a time. */
class Mutator
{
public:
    Mutator(quint32 seed, QStringList paths)
        : random(seed)
        , paths(std::move(paths))
    {
    }

    QByteArray mutate(QByteArray bytes, QStringList &applied)
    {
        const int rounds = 1 + int(random.bounded(3));
        for (int round = 0; round < rounds; ++round) {
            const int kind = int(random.bounded(kinds));
            applied.append(QString::fromLatin1(names[kind]));
            bytes = apply(kind, bytes);
        }
        return bytes;
    }

private:
    static constexpr int kinds = 16;
    static constexpr const char *names[kinds] = {
        "flip bits",   "random bytes", "truncate",      "insert fragment",
        "deep nesting", "huge string", "wrong types",   "duplicate keys",
        "NUL bytes",   "invalid UTF-8", "copy chunk",   "delete chunk",
        "odd paths",   "BOM and space", "reorder",      "swap quotes",
    };

    QRandomGenerator random;
    QStringList paths;

    qsizetype at(const QByteArray &bytes) { return qsizetype(random.bounded(quint64(bytes.size() + 1))); }

    QByteArray randomBytes(int n)
    {
        QByteArray out(n, Qt::Uninitialized);
        for (char &c : out)
            c = char(random.bounded(256));
        return out;
    }

    QByteArray fragment()
    {
        static const QList<QByteArray> pieces = {
            "{", "}", "[", "]", ",", ":", "\"", "\\", "null", "true", "false", "0", "-0", "1e999",
            "-1e-999", "123456789012345678901234567890", "0x10", "NaN", "Infinity", "'single'",
            "\"\\u0000\"", "\"\\ud800\"", "\"\\udc00\\ud800\"", "\"\\uZZZZ\"", "\"\\x41\"",
            "{\"path\":", "\"tracks\":", "\"tracks\": []", "\"tracks\": {}", "[[[[", "]]]]",
            "{{{{", "}}}}", ",,", "::", "{\"a\":1,}", "[1,]", "/* comment */", "// comment\n",
            "\"\\\"\"", "\t\r\n ", "\"path\": \"/\"", "{\"path\": \"\"}", "\"duration\": 1e308",
        };
        return pieces[random.bounded(qsizetype(pieces.size()))];
    }

    QJsonValue randomValue(int depth = 0)
    {
        switch (random.bounded(depth > 2 ? 6 : 8)) {
        case 0: return QJsonValue::Null;
        case 1: return random.bounded(2) == 1;
        case 2: return random.bounded(2) ? 1e308 : -double(random.generate());
        case 3: return QJsonValue(qint64(random.generate64()));
        case 4: return QString();
        case 5: return QString::fromUtf8(randomBytes(int(random.bounded(1, 40))));
        case 6: {
            QJsonArray array;
            for (int i = int(random.bounded(4)); i > 0; --i)
                array.append(randomValue(depth + 1));
            return array;
        }
        default: {
            QJsonObject object;
            for (const char *key : {"path", "artist", "title", "album", "duration"}) {
                if (random.bounded(2))
                    object.insert(QLatin1String(key), randomValue(depth + 1));
            }
            return object;
        }
        }
    }

    /** Structural damage: values of the wrong type anywhere in an otherwise valid document. */
    QByteArray wrongTypes(const QByteArray &bytes)
    {
        QJsonDocument document = QJsonDocument::fromJson(bytes);
        if (!document.isObject())
            document = QJsonDocument(QJsonObject{{"tracks", QJsonArray{}}});
        QJsonObject root = document.object();
        if (random.bounded(6) == 0) {
            root.insert("tracks", randomValue());
        } else {
            QJsonArray tracks = root.value("tracks").toArray();
            if (tracks.isEmpty() || random.bounded(5) == 0) {
                tracks.insert(qsizetype(random.bounded(quint64(tracks.size() + 1))), randomValue());
            } else {
                const qsizetype i = qsizetype(random.bounded(quint64(tracks.size())));
                QJsonObject entry = tracks.at(i).toObject();
                static const char *keys[] = {"path", "artist", "title", "album", "duration", "extra"};
                entry.insert(QLatin1String(keys[random.bounded(6)]), randomValue());
                tracks.replace(i, random.bounded(8) == 0 ? randomValue() : QJsonValue(entry));
            }
            root.insert("tracks", tracks);
        }
        if (random.bounded(4) == 0)
            root.insert(QString::fromUtf8(randomBytes(4)), randomValue());
        return QJsonDocument(root).toJson(random.bounded(2) ? QJsonDocument::Indented
                                                            : QJsonDocument::Compact);
    }

    QByteArray insertAt(QByteArray bytes, const QByteArray &what)
    {
        return bytes.insert(at(bytes), what);
    }

    /** A position just after a '{' or '"', so that the insertion lands inside structure. */
    qsizetype afterOneOf(const QByteArray &bytes, char c)
    {
        QList<qsizetype> positions;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == c)
                positions.append(i + 1);
        }
        return positions.isEmpty() ? at(bytes)
                                   : positions[random.bounded(qsizetype(positions.size()))];
    }

    QByteArray apply(int kind, QByteArray bytes)
    {
        switch (kind) {
        case 0: // flip bits
            for (int i = 1 + int(random.bounded(8)); i > 0 && !bytes.isEmpty(); --i) {
                const qsizetype p = qsizetype(random.bounded(quint64(bytes.size())));
                bytes[p] = char(bytes[p] ^ (1 << random.bounded(8)));
            }
            return bytes;
        case 1: // random bytes
            for (int i = 1 + int(random.bounded(16)); i > 0 && !bytes.isEmpty(); --i)
                bytes[qsizetype(random.bounded(quint64(bytes.size())))] = char(random.bounded(256));
            return bytes;
        case 2: // truncate
            return bytes.left(at(bytes));
        case 3: // insert fragment
            return insertAt(bytes, fragment());
        case 4: { // deep nesting, below and above what the parser accepts
            const int depth = int(random.bounded(1, 20000));
            const char open = random.bounded(2) ? '[' : '{';
            QByteArray nest;
            if (open == '[')
                nest = QByteArray(depth, '[') + QByteArray(depth, ']');
            else
                for (int i = 0; i < depth; ++i)
                    nest += "{\"a\":";
            if (open == '{')
                nest += "1" + QByteArray(depth, '}');
            const qsizetype p = afterOneOf(bytes, ':');
            return bytes.insert(p, nest + (random.bounded(2) ? "," : ""));
        }
        case 5: { // huge string, sometimes in a field, sometimes as a key
            const int size = random.bounded(4) == 0 ? int(random.bounded(1 << 20, 4 << 20))
                                                     : int(random.bounded(1 << 10, 1 << 16));
            QByteArray text(size, char('a' + random.bounded(26)));
            if (random.bounded(2))
                text.replace(qsizetype(size / 2), 2, "\xc3\xa4");
            const qsizetype p = afterOneOf(bytes, '"');
            return bytes.insert(p, text);
        }
        case 6:
            return wrongTypes(bytes);
        case 7: { // duplicate keys, at the root and inside entries
            static const QList<QByteArray> duplicates = {
                "\"tracks\": [], ", "\"tracks\": null, ", "\"path\": \"/nonexistent/x.mp3\", ",
                "\"path\": 7, ", "\"artist\": \"Dup\", ", "\"title\": [], ", "\"duration\": {}, ",
            };
            QByteArray what = duplicates[random.bounded(qsizetype(duplicates.size()))];
            if (what.startsWith("\"path\": \"/") && !paths.isEmpty())
                what = "\"path\": \"" + paths[random.bounded(qsizetype(paths.size()))].toUtf8()
                    + "\", ";
            return bytes.insert(afterOneOf(bytes, '{'), what);
        }
        case 8: // NUL bytes, raw and escaped
            if (random.bounded(2))
                return insertAt(bytes, QByteArray(1 + int(random.bounded(3)), '\0'));
            return bytes.insert(afterOneOf(bytes, '"'), "\\u0000");
        case 9: { // invalid UTF-8 inside strings
            static const QList<QByteArray> bad = {
                "\xff", "\xfe\xff", "\xc0\x80", "\xc0\xaf", "\xed\xa0\x80", "\xed\xbf\xbf",
                "\xe2\x82", "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80", "\x80", "\xc3",
            };
            return bytes.insert(afterOneOf(bytes, '"'), bad[random.bounded(qsizetype(bad.size()))]);
        }
        case 10: { // copy a chunk elsewhere
            if (bytes.isEmpty())
                return bytes;
            const qsizetype from = qsizetype(random.bounded(quint64(bytes.size())));
            const qsizetype length = qsizetype(random.bounded(quint64(bytes.size() - from))) + 1;
            return insertAt(bytes, bytes.mid(from, length));
        }
        case 11: { // delete a chunk
            if (bytes.isEmpty())
                return bytes;
            const qsizetype from = qsizetype(random.bounded(quint64(bytes.size())));
            return bytes.remove(from, qsizetype(random.bounded(quint64(bytes.size() - from))) + 1);
        }
        case 12: { // paths that exist but are odd, or are no paths at all
            static const QList<QByteArray> odd = {
                "", "/", ".", "..", "relative.mp3", "/dev/zero", "/dev/null", "/proc/self/mem",
                "/nonexistent", "//double//slashes", "/tmp/../tmp", "C:\\\\music\\\\a.mp3",
                "file:///etc/passwd", "/x\\u0000y", "\\ud800", "~/music",
            };
            QByteArray path = odd[random.bounded(qsizetype(odd.size()))];
            if (random.bounded(8) == 0)
                path = QByteArray(5000, 'p');
            QJsonDocument document = QJsonDocument::fromJson(bytes);
            // Only replace within a document that still parses; else append an entry textually.
            if (document.isObject()) {
                QByteArray compact = document.toJson(QJsonDocument::Compact);
                const qsizetype p = compact.indexOf("\"path\":\"");
                if (p >= 0) {
                    const qsizetype start = p + 8;
                    const qsizetype end = compact.indexOf('"', start);
                    if (end > start)
                        return compact.replace(start, end - start, path);
                }
                return compact;
            }
            return insertAt(bytes, "{\"path\": \"" + path + "\"},");
        }
        case 13: // byte-order mark and odd whitespace
            if (random.bounded(2))
                return "\xef\xbb\xbf" + bytes;
            return insertAt(bytes, random.bounded(2) ? QByteArray("\xc2\xa0") : QByteArray("\v\f"));
        case 14: { // swap two halves
            const qsizetype p = at(bytes);
            return bytes.mid(p) + bytes.left(p);
        }
        default: { // quote characters swapped for others
            for (int i = 1 + int(random.bounded(4)); i > 0; --i) {
                const qsizetype p = bytes.indexOf('"', at(bytes));
                if (p >= 0)
                    bytes[p] = random.bounded(2) ? '\'' : '`';
            }
            return bytes;
        }
        }
    }
};

/** Aborts the process when one load does not return: a hang must fail loudly, not time out silently. */
class Watchdog
{
public:
    Watchdog()
        : thread([this] { run(); })
    {
    }
    ~Watchdog()
    {
        stop = true;
        thread.join();
    }
    void begin(int n)
    {
        caseNumber = n;
        started = n < 0 ? -1 : clock.elapsed();
    }

private:
    void run()
    {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const qint64 since = started;
            if (since >= 0 && clock.elapsed() - since > hangMs) {
                std::fprintf(stderr, "loadFromCache hangs on case %d (fuzz seed %#x)\n",
                             caseNumber.load(), seed);
                std::abort();
            }
        }
    }

    QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    std::atomic<bool> stop{false};
    std::atomic<int> caseNumber{-1};
    std::atomic<qint64> started{-1};
    std::thread thread;
};

} // namespace

class TestCacheFuzz : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;

    QString path(const QString &relative) const { return dir->filePath(relative); }

    QString touch(const QString &relative) { return TestSupport::touch(path(relative)); }

    /** A library different from anything a mutated cache can name. */
    void preload(Playlist &playlist) { QVERIFY(loadKeptLibrary(playlist, dir->path())); }

private slots:
    void initTestCase() { TestSupport::isolateSettings(); }

    void init()
    {
        TestSupport::clearPlayerSettings();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void cleanup() { dir.reset(); }

    void mutatedCaches()
    {
        // The valid cache everything starts from: real fixtures, awkward
        // tags, a missing file, written by the player itself.
        QStringList existing;
        for (const QString &name : {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav",
                                    "untagged.mp3", "title-only.ogg"}) {
            const QString target = path(QString::fromUtf8("music/Müsik \"q\"/") + name);
            QVERIFY(TestSupport::copyFixture(name, target));
            existing.append(target);
        }
        QJsonArray tracks;
        const QStringList tags = {"Artist", QString::fromUtf8("Ünïcødé ♪ 🎵"), "quote \" back \\",
                                  "tab\tnew\nline", "%1 %2", ""};
        for (int i = 0; i < existing.size(); ++i)
            tracks.append(QJsonObject{{"path", existing[i]},
                                      {"artist", tags[i]},
                                      {"title", tags[(i + 1) % tags.size()]},
                                      {"album", tags[(i + 2) % tags.size()]},
                                      {"duration", QStringLiteral("%1:0%1").arg(i)}});
        tracks.append(QJsonObject{{"path", path("music/gone.mp3")}, {"artist", "Gone"}});
        writeFile(path("seed.json"), cacheJson(tracks));
        Playlist writer;
        QVERIFY(writer.loadFromCache(path("seed.json")));
        QVERIFY(writer.saveToCache(path("base.json")));
        const QByteArray base = readAll(path("base.json"));
        QVERIFY(!base.isEmpty());

        Playlist library;
        preload(library);
        const QList<QStringList> preloaded = snapshot(library);
        const QStringList preloadedList = library.getList();

        Mutator mutator(seed, existing);
        Watchdog watchdog;
        QElapsedTimer elapsed;
        elapsed.start();
        const QString cache = path("music/playlist_cache.json");
        int cases = 0;
        int accepted = 0;
        int rejected = 0;
        int recordsSeen = 0;
        qsizetype largest = 0;
        while (cases < maximumCases && elapsed.elapsed() < budgetMs) {
            QStringList applied;
            const QByteArray bytes = mutator.mutate(base, applied);
            writeFile(cache, bytes);
            largest = qMax(largest, bytes.size());
            const QString what = QStringLiteral("case %1 (%2)").arg(cases).arg(applied.join(", "));

            // A library that differs from whatever the case could install.
            if (snapshot(library) != preloaded) {
                QVERIFY(library.loadFromCache(path("preload.json")));
                QCOMPARE(snapshot(library), preloaded);
            }
            QList<QStringList> expected;
            const bool shouldLoad = expectedLoad(bytes, expected);

            watchdog.begin(cases);
            const bool loaded = library.loadFromCache(cache);
            watchdog.begin(-1);

            QVERIFY2(loaded == shouldLoad, qPrintable(what));
            if (loaded) {
                ++accepted;
                recordsSeen += int(library.getTracks().size());
                QVERIFY2(storedFields(library.getTracks()) == expected, qPrintable(what));
                // The derived fields are rebuilt for what was loaded.
                const QStringList list = library.getList();
                QCOMPARE(list.size(), library.getTracks().size());
                for (const Playlist::TrackInfo &track : library.getTracks()) {
                    const QString local = track.url.toLocalFile();
                    QVERIFY2(track.fileName == local.mid(local.lastIndexOf('/') + 1), qPrintable(what));
                    QVERIFY2(!track.displayName.isEmpty() || track.fileName.isEmpty(), qPrintable(what));
                }
            } else {
                ++rejected;
                QVERIFY2(snapshot(library) == preloaded, qPrintable(what));
                QVERIFY2(library.getList() == preloadedList, qPrintable(what));
            }
            ++cases;
        }
        qInfo("cache fuzz: %d mutated caches in %lld ms (seed %#x): %d loaded (%d records), "
              "%d rejected; largest %lld bytes",
              cases, elapsed.elapsed(), seed, accepted, recordsSeen, rejected, qlonglong(largest));
        QVERIFY2(cases >= minimumCases,
                 qPrintable(QStringLiteral("only %1 cases within %2 ms").arg(cases).arg(budgetMs)));
        // Both outcomes must have been exercised in quantity.
        QVERIFY(accepted > 50);
        QVERIFY(rejected > 50);
    }

#ifdef Q_OS_UNIX
    void specialFileAsCache_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to a FIFO") << "fifo link";
        QTest::newRow("link to /dev/zero") << "zero";
        QTest::newRow("folder") << "folder";
    }

    void specialFileAsCache()
    {
        // Something in the music folder under the cache's name that is not a
        // file: opening a FIFO waits for a writer and /dev/zero never ends,
        // so reading either would hang the start-up.
        QFETCH(QString, kind);
        Playlist library;
        preload(library);
        const QList<QStringList> before = snapshot(library);
        const QString cache = path("playlist_cache.json");
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(cache).constData(), 0600), 0);
        } else if (kind == "fifo link") {
            QCOMPARE(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
            QVERIFY(QFile::link(path("pipe"), cache));
        } else if (kind == "zero") {
            QVERIFY(QFile::link("/dev/zero", cache));
        } else {
            QVERIFY(QDir().mkpath(cache));
        }
        Watchdog watchdog;
        watchdog.begin(0);
        const bool loaded = library.loadFromCache(cache);
        watchdog.begin(-1);
        QVERIFY(!loaded);
        QCOMPARE(snapshot(library), before);
    }
#endif

    // A write that cannot happen must say so and leave the old cache whole.
    // Missing folders, a folder in the way and a full disk (file size limit)
    // are covered by the cache tests; these are the cases they leave out.

    void folderIsAFile()
    {
        Playlist playlist;
        preload(playlist);
        writeFile(path("music"), "not a folder");
        QVERIFY(!playlist.saveToCache(path("music/playlist_cache.json")));
        QCOMPARE(readAll(path("music")), QByteArray("not a folder"));
        QVERIFY(!playlist.saveToCache(path("music/deeper/playlist_cache.json")));
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
    }

#ifdef Q_OS_LINUX
    void immutableCacheOrFolder_data()
    {
        QTest::addColumn<bool>("wholeFolder");
        QTest::newRow("cache file immutable") << false;
        // No room for the temporary file, but the cache itself is writable.
        QTest::newRow("folder immutable: written in place") << true;
    }

    void immutableCacheOrFolder()
    {
        // Read-only even for root: the immutable attribute forbids writing,
        // replacing and, on a folder, creating files in it.
        QFETCH(bool, wholeFolder);
        Playlist old;
        preload(old);
        const QString folder = path("music");
        const QString cache = folder + QStringLiteral("/playlist_cache.json");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(old.saveToCache(cache));
        const QByteArray before = readAll(cache);

        const QString target = wholeFolder ? folder : cache;
        const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
            ::close(fd);
            QSKIP("this file system keeps no file attributes");
        }
        const int original = flags;
        flags |= FS_IMMUTABLE_FL;
        if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) {
            ::close(fd);
            QSKIP("cannot make files immutable here (needs CAP_LINUX_IMMUTABLE)");
        }
        // Lift the attribute again whatever happens, or the temporary folder stays behind.
        const auto restore = qScopeGuard([fd, original] {
            int back = original;
            ::ioctl(fd, FS_IOC_SETFLAGS, &back);
            ::close(fd);
        });

        Playlist other;
        const QString other1 = touch("elsewhere/new.mp3");
        writeFile(path("new.json"), cacheJson({QJsonObject{{"path", other1}}}));
        QVERIFY(other.loadFromCache(path("new.json")));
        QCOMPARE(other.saveToCache(cache), wholeFolder);
        if (!wholeFolder)
            QCOMPARE(readAll(cache), before);
        // No temporary file left behind either.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{"playlist_cache.json"});
        Playlist reloaded;
        QVERIFY(reloaded.loadFromCache(cache));
        QCOMPARE(snapshot(reloaded), snapshot(wholeFolder ? other : old));
    }
#endif
};

QTEST_GUILESS_MAIN(TestCacheFuzz)
#include "test_cachefuzz.moc"
