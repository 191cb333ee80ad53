// The music library: the model's texts and look-ups, folder scans of real files, the cache file,
// and hostile folders and caches generated on the fly.
#include "Playlist.h"
#include "TestSupport.h"
#include <QRandomGenerator>
#include <QRegularExpression>
#include <climits>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {
QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** Every field of every record, derived ones included. */
QList<QStringList> records(const Playlist &playlist)
{
    QList<QStringList> rows;
    for (const Playlist::TrackInfo &t : playlist.getTracks())
        rows.append({t.url.toLocalFile(), t.artist, t.title, t.album, t.duration, t.fileName, t.displayName, t.searchKey});
    return rows;
}

/** Runs an update of @p folder against the library's own paths to its end. */
bool update(Playlist &playlist, const QString &folder, const std::function<void()> &onDone = {})
{
    auto done = std::make_shared<bool>(false);
    playlist.updateFromFolder(folder, playlist.knownFilePaths(), [done, onDone] { *done = true; if (onDone) onDone(); });
    return QTest::qWaitFor([&] { return *done && noScanPending(playlist); }, 180000);
}

/** A silent 8-bit WAV at 8 samples a second: long lengths in a few KB. */
QByteArray silentWav(int seconds)
{
    QByteArray wav = "RIFF";
    const auto put = [&wav](quint32 value, int bytes) { for (int i = 0; i < bytes; ++i) wav.append(char(value >> 8 * i)); };
    put(36 + 8 * seconds, 4);
    wav.append("WAVEfmt ");
    for (const auto &[value, bytes] : {std::pair{16, 4}, {1, 2}, {1, 2}, {8, 4}, {8, 4}, {1, 2}, {8, 2}})
        put(value, bytes);
    wav.append("data");
    put(8 * seconds, 4);
    return wav + QByteArray(8 * seconds, char(0x80));
}
} // namespace

class TestLibrary : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }

    /** Fills @p playlist through a cache of these records: artist, title, album, duration, file name. */
    void fill(Playlist &playlist, const QList<QStringList> &rows)
    {
        QList<CacheEntry> entries;
        for (const QStringList &r : rows) {
            writeFile(path(r[4]), {});
            entries.append({path(r[4]), r[0], r[1], r[2], r[3]});
        }
        writeCache(path("fill.json"), entries);
        QVERIFY(playlist.loadFromCache(path("fill.json")));
    }

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { finishBackgroundWork(); }

    void displayTexts_data()
    {
        // artist, title, album, duration, file name; list text, display name, search key
        QTest::addColumn<QStringList>("v");
        QTest::newRow("all tags") << QStringList{"Nina", "Blue", "Sky", "3:07", "blue.mp3", "Nina - Blue (3:07)",
                                                 "Nina - Blue (3:07)", "nina blue sky blue.mp3"};
        QTest::newRow("no tags") << QStringList{"", "", "Sky", "0:45", "01 Intro.flac", "01 Intro.flac", "01 Intro.flac",
                                                "  sky 01 intro.flac"};
        QTest::newRow("artist only") << QStringList{"Nina", "", "", "1:00", "a.ogg", "Nina - Unknown Title (1:00)",
                                                    "Nina - Unknown Title (1:00)", "nina   a.ogg"};
        QTest::newRow("title only") << QStringList{"", "Intro", "", "0:45", "b.ogg", "Unknown Artist - Intro (0:45)",
                                                   "Unknown Artist - Intro (0:45)", " intro  b.ogg"};
        QTest::newRow("no duration") << QStringList{"A", "T", "", "", "c.wav", "A - T ()", "A - T ()", "a t  c.wav"};
        // The list fills the placeholders one after another, so a "%1" in a tag is filled again.
        QTest::newRow("percent digit") << QStringList{"%1 Crew", "Song", "", "2:00", "e.mp3", "Song Crew - 2:00 (%3)",
                                                      "%1 Crew - Song (2:00)", "%1 crew song  e.mp3"};
        QTest::newRow("case folding") << QStringList{"ΣΊΣΥΦΟΣ ς", "µ ſ", "ÄLBUM", "4:20", "Track.MP3", "ΣΊΣΥΦΟΣ ς - µ ſ (4:20)",
                                                     "ΣΊΣΥΦΟΣ ς - µ ſ (4:20)", "σίσυφοσ σ μ s älbum track.mp3"};
    }
    void displayTexts()
    {
        QFETCH(QStringList, v);
        Playlist playlist;
        fill(playlist, {v.mid(0, 5)});
        QCOMPARE(playlist.getList(), QStringList{v[5]});
        const Playlist::TrackInfo track = playlist.getTracks().value(0);
        QCOMPARE((QStringList{track.fileName, track.displayName, track.searchKey}), (QStringList{v[4], v[6], v[7]}));
    }

    void lookups()
    {
        Playlist playlist;
        QVERIFY(playlist.getList().isEmpty() && playlist.at(0).isEmpty() && playlist.indexOf(QUrl()) == -1);
        fill(playlist, {{"C", "3", "", "0:03", "z.mp3"}, {"A", "1", "", "0:01", "dup.mp3"}, {"", "", "", "0:02", "x.mp3"},
                        {"D", "4", "", "0:04", "dup.mp3"}});
        QCOMPARE(playlist.getList(), (QStringList{"C - 3 (0:03)", "A - 1 (0:01)", "x.mp3", "D - 4 (0:04)"}));
        QCOMPARE(playlist.knownFilePaths(), (QStringList{path("z.mp3"), path("dup.mp3"), path("x.mp3"), path("dup.mp3")}));
        QCOMPARE(playlist.count(), 4);
        for (int i : {-1, 4, INT_MAX, INT_MIN})
            QVERIFY(playlist.at(i).isEmpty() && playlist.textAt(i).isEmpty());
        QCOMPARE(playlist.textAt(3), QString("D - 4 (0:04)"));
        QCOMPARE(playlist.at(0), QUrl::fromLocalFile(path("z.mp3")));
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(path("z.mp3"))), 0);
        QCOMPARE(playlist.indexOf(playlist.at(3)), 1); // the first of two
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(path("X.mp3"))), -1);
    }

    void formatDuration_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        for (const auto &[ms, text] : {std::pair<qint64, const char *>{0, "0:00"}, {-5000, "0:00"}, {999, "0:00"}, {1999, "0:01"},
                                       {59999, "0:59"}, {60000, "1:00"}, {187000, "3:07"}, {3599000, "59:59"}, {3600000, "60:00"},
                                       {36000000, "600:00"}, {3000000000LL, "50000:00"}})
            QTest::addRow("%s", text) << ms << QString(text);
    }
    void formatDuration()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(Playlist::formatDuration(ms), text);
    }

    void scanRealFiles()
    {
        // Tags of each format through nested, odd and non-ASCII paths, suffixes in any case, long lengths not wrapped.
        const QList<QStringList> files = {
            {"tone.mp3", "Ünïcødé/トラック ♪.MP3", "Mp3 Album Artist", "Mp3 Tone", "Fixture Album", "0:01"},
            {"tone.ogg", "a/b/c/d/with space 'n \"quote\".Ogg", "Ogg Album Artist", "Ogg Tone", "Fixture Album", "0:01"},
            {"tone.flac", "-dash.Flac", "Flåc Ärtist", "Flac Tøne ♪", "Fixture Album", "0:01"},
            {"tone.wav", "wav/tone.wav", "Wav Album Artist", "Wav Tone", "Fixture Album", "0:01"},
            {"untagged.mp3", "untagged.mp3", "", "", "", "0:01"},
            {"title-only.ogg", "title-only.ogg", "", "Only A Title", "", "0:01"},
            {"", "long.WAV", "", "", "", "75:00"},
        };
        QMap<QString, QStringList> expected;
        for (const QStringList &file : files) {
            expected.insert(path(file[1]), file.mid(2));
            file[0].isEmpty() ? writeFile(path(file[1]), silentWav(75 * 60)) : void(copyFixture(file[0], path(file[1])));
        }
        for (const char *name : {"other.m4a", "backup.mp3.bak", "noext", "mp3", "tone.mp33"})
            copyFixture("tone.mp3", path(name));
        Playlist playlist;
        QVERIFY(scanFull(playlist, dir->path()));
        QMap<QString, QStringList> found;
        for (const Playlist::TrackInfo &t : playlist.getTracks())
            found.insert(t.url.toLocalFile(), {t.artist, t.title, t.album, t.duration});
        QCOMPARE(found, expected);
    }

    void progress_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("emptyPath"); // never the working folder
        QTest::addColumn<QList<int>>("progress");
        QTest::newRow("none") << 0 << false << QList<int>{0};
        QTest::newRow("200") << 200 << false << QList<int>{100, 200, 200};
        QTest::newRow("250") << 250 << false << QList<int>{100, 200, 250};
        QTest::newRow("empty folder path") << 3 << true << QList<int>{0};
    }
    void progress()
    {
        QFETCH(int, files);
        QFETCH(bool, emptyPath);
        QFETCH(QList<int>, progress);
        for (int i = 0; i < files; ++i)
            writeFile(path(QString("d%1/%2.mp3").arg(i % 3).arg(i)), {});
        const QString workingFolder = QDir::currentPath();
        QDir::setCurrent(path("d0"));
        Playlist playlist;
        auto reported = std::make_shared<QList<int>>();
        auto finished = std::make_shared<int>(0);
        playlist.loadFromFolder(emptyPath ? QString() : dir->path(), [reported](int n) { reported->append(n); },
                                [finished] { ++*finished; });
        const bool ended = QTest::qWaitFor([&] { return *finished && noScanPending(playlist); }, 180000);
        QDir::setCurrent(workingFolder);
        QVERIFY(ended);
        QCOMPARE(*reported, progress);
        QCOMPARE(playlist.count(), emptyPath ? 0 : files);
    }

    void updateAppendsOnlyUnknownPaths()
    {
        copyFixture("tone.mp3", path("m/a.mp3"));
        copyFixture("tone.ogg", path("m/sub/b.ogg"));
        Playlist playlist;
        QVERIFY(scanFull(playlist, path("m")));
        const QList<QStringList> before = records(playlist);
        QVERIFY(update(playlist, path("m")));
        QCOMPARE(records(playlist), before);
        copyFixture("tone.flac", path("m/sub/new/c.flac"));
        copyFixture("tone.mp3", path("m/A.mp3")); // differs from a known path only in case
        QStringList seen;
        QVERIFY(update(playlist, path("m"), [&] { seen = playlist.getList(); }));
        QCOMPARE(seen, playlist.getList());
        QCOMPARE(records(playlist).mid(0, 2), before);
        QStringList added = playlist.getList().mid(2);
        added.sort();
        QCOMPARE(added, (QStringList{"Flåc Ärtist - Flac Tøne ♪ (0:01)", "Mp3 Album Artist - Mp3 Tone (0:01)"}));
        QVERIFY(playlist.getTracks().constLast().searchKey.contains("fixture album"));
    }

    void overlappingScansKeepTheNewest_data()
    {
        QTest::addColumn<bool>("olderUpdate");
        QTest::addColumn<int>("olderFiles");
        QTest::addColumn<bool>("newerUpdate");
        QTest::addColumn<int>("newerFiles");
        QTest::newRow("full, full, older slower") << false << 150 << false << 2;
        QTest::newRow("full, full, older quicker") << false << 1 << false << 150;
        QTest::newRow("update, full") << true << 1 << false << 2;
        QTest::newRow("full, update") << false << 150 << true << 2;
    }
    void overlappingScansKeepTheNewest()
    {
        QFETCH(bool, olderUpdate);
        QFETCH(int, olderFiles);
        QFETCH(bool, newerUpdate);
        QFETCH(int, newerFiles);
        QStringList expected;
        for (int i = 0; i < olderFiles; ++i)
            writeFile(path(QString("old/%1.wav").arg(i)), {});
        for (int i = 0; i < newerFiles; ++i)
            expected.append(path(QString("new/%1.mp3").arg(i)));
        for (const QString &file : expected)
            writeFile(file, {});
        Playlist playlist;
        auto calls = std::make_shared<QStringList>();
        for (const auto &[isUpdate, name] : {std::pair{olderUpdate, "old"}, {newerUpdate, "new"}}) {
            if (isUpdate)
                playlist.updateFromFolder(path(name), {}, [calls, name = QString(name)] { calls->append(name); });
            else
                playlist.loadFromFolder(path(name), [calls, name = QString(name)](int) { calls->append(name + " progress"); },
                                        [calls, name = QString(name)] { calls->append(name); });
        }
        QVERIFY(QTest::qWaitFor([&] { return calls->contains("new") && noScanPending(playlist); }, 180000));
        QCoreApplication::processEvents();
        QCOMPARE(calls->filter("old"), QStringList{});
        QStringList paths = playlist.knownFilePaths();
        paths.sort();
        expected.sort();
        QCOMPARE(paths, expected);
    }

    void cache_data()
    {
        // $A and $B name existing files, $GONE a deleted one; $NONE, $DIR and $FIFO put no file there.
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("list"); // after a successful load; a refused one keeps the library
        const QStringList refused = {"refused"};
        QTest::newRow("missing file dropped")
            << QByteArray(R"({"tracks": [{"path": "$A", "artist": "A", "title": "1", "album": "", "duration": "0:01"},
                {"path": "$GONE", "artist": "G", "title": "0"}, {"path": "$B", "artist": "B", "title": "2", "duration": "0:02"}]})")
            << QStringList{"A - 1 (0:01)", "B - 2 (0:02)"};
        QTest::newRow("no duration") << QByteArray(R"({"tracks": [{"path": "$A", "artist": "A", "title": "T"}]})")
                                     << QStringList{"A - T ()"};
        QTest::newRow("wrong types") << QByteArray(R"({"tracks": [42, null, "x", [], {"path": 7}, {"artist": "no path"},
                {"path": "$A", "artist": 12, "title": true}, {"path": "$B", "artist": "Kept", "duration": {}}]})")
                                     << QStringList{"a.mp3", "Kept - Unknown Title ()"};
        QTest::newRow("duplicates kept") << QByteArray(R"({"tracks": [{"path": "$A", "title": "1"}, {"path": "$A", "title": "2"}]})")
                                         << QStringList{"Unknown Artist - 1 ()", "Unknown Artist - 2 ()"};
        QTest::newRow("empty object") << QByteArray("{}") << QStringList{};
        QTest::newRow("tracks not an array") << QByteArray(R"({"tracks": {"path": "$A"}})") << QStringList{};
        for (const char *bad : {"", "not json", R"([{"tracks": []}])", R"({"tracks": [{"path": "$A")", "42",
                                R"({"tracks": []} x)", "$NONE", "$DIR", "$FIFO"})
            QTest::addRow("refused: %s", bad) << QByteArray(bad) << refused;
        QTest::newRow("refused: deep nesting") << "{\"tracks\": " + QByteArray(100000, '[') + QByteArray(100000, ']') + "}"
                                               << refused;
    }
    void cache()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, list);
        const QString cache = path("cache.json");
        writeFile(path("a.mp3"), {});
        writeFile(path("b.mp3"), {});
        if (content == "$DIR")
            QDir().mkpath(cache);
        else if (content == "$FIFO")
            QCOMPARE(mkfifo(QFile::encodeName(cache).constData(), 0600), 0);
        else if (content != "$NONE")
            writeFile(cache, content.replace("$A", path("a.mp3").toUtf8()).replace("$B", path("b.mp3").toUtf8())
                                 .replace("$GONE", path("gone.mp3").toUtf8()));
        Playlist playlist;
        fill(playlist, {{"Kept", "1", "", "0:01", "kept.mp3"}});
        const bool refused = list == QStringList{"refused"};
        QCOMPARE(playlist.loadFromCache(cache), !refused);
        QCOMPARE(playlist.getList(), refused ? QStringList{"Kept - 1 (0:01)"} : list);
        QCOMPARE(playlist.getTracks().value(list.size() - 1).displayName, refused ? "Kept - 1 (0:01)" : list.value(list.size() - 1));
    }

    void cacheRoundTripAndFailedSave()
    {
        for (const char *name : {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav", "untagged.mp3", "title-only.ogg"})
            copyFixture(name, path(QString("Müsik/") + name));
        Playlist scanned;
        QVERIFY(scanFull(scanned, path("Müsik")));
        const QString cache = path("Müsik/playlist_cache.json");
        QVERIFY(scanned.saveToCache(cache));
        const QByteArray saved = readAll(cache);
        QVERIFY(saved.contains("Flac Tøne ♪")); // UTF-8, not escapes
        const QJsonArray tracks = QJsonDocument::fromJson(saved).object().value("tracks").toArray();
        QCOMPARE(tracks.first().toObject().keys(), (QStringList{"album", "artist", "duration", "path", "title"}));
        Playlist loaded;
        QVERIFY(loaded.loadFromCache(cache));
        QCOMPARE(records(loaded), records(scanned));

        // A write that fails part-way (here at the file size limit, as on a full disk) keeps the old cache whole.
        Playlist big;
        fill(big, QList<QStringList>(300, {QString(100, 'x'), "T", "", "1:00", "big.mp3"}));
        rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit unlimited = limit;
        limit.rlim_cur = saved.size() + 1000;
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = big.saveToCache(cache);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QVERIFY(!written);
        QCOMPARE(readAll(cache), saved);
        QCOMPARE(QDir(path("Müsik")).entryList({"*.json*"}, QDir::Files | QDir::Hidden), QStringList{"playlist_cache.json"});
        QVERIFY(!scanned.saveToCache(path("no/such/folder/cache.json")));
    }

    void hostileCorpus()
    {
        // Zero-byte, noise, truncated, bit-flipped and intact files under every suffix and odd names, beside a FIFO,
        // links and a link loop: one record per audio-named regular file, the same after an update and a cache trip.
        QRandomGenerator random(0x5eed);
        const QStringList stems = {"plain", "with space", "-dash", "quote'\"", "Ünïcødé ♪", "new\nline", "back\\slash",
                                   "[01] mark", QString(200, 'l')};
        QStringList expected;
        QHash<QString, QString> titles; // what the files that are whole, or empty, must show
        for (const QString source : {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"}) {
            const QByteArray good = readAll(fixture(source));
            for (int kind = 0; kind < 5; ++kind) {
                for (const QString suffix : {"mp3", "ogg", "flac", "wav", "MP3", "Flac"}) {
                    QByteArray bytes = kind == 0 ? QByteArray() : good;
                    for (int i = 0; kind == 1 && i < bytes.size(); ++i)
                        bytes[i] = char(random.bounded(256));
                    if (kind == 2)
                        bytes.truncate(random.bounded(int(bytes.size())));
                    for (int i = 0; kind == 3 && i < 20; ++i)
                        bytes[random.bounded(int(bytes.size()))] ^= char(1 << random.bounded(8));
                    const QString name = path(QString("corpus/%1/%2 %3.%4").arg(kind).arg(stems[expected.size() % stems.size()],
                                                                                         source, suffix));
                    writeFile(name, bytes);
                    expected.append(name);
                    if (kind == 0 || (kind == 4 && source.endsWith(suffix.toLower())))
                        titles.insert(name, kind == 0 ? QString() : Playlist::readTrack(fixture(source)).title);
                }
            }
        }
        const QString special = path("corpus/special/");
        expected.append(copyFixture("tone.flac", special + "album.mp3/inside.flac"));
        writeFile(special + "notes.txt", "x");
        QCOMPARE(mkfifo(QFile::encodeName(special + "pipe.mp3").constData(), 0600), 0);
        QVERIFY(QFile::link(path("corpus"), special + "loop") && QFile::link(special + "pipe.mp3", special + "to-pipe.ogg")
                && QFile::link(special + "gone.wav", special + "dangling.wav"));

        Playlist playlist;
        QVERIFY(scanFull(playlist, path("corpus")));
        QStringList listed = playlist.knownFilePaths();
        for (const char *name : {"pipe.mp3", "to-pipe.ogg", "dangling.wav"}) // may be listed, never read
            listed.removeOne(special + name);
        listed.sort();
        expected.sort();
        QCOMPARE(listed, expected);
        for (const Playlist::TrackInfo &track : playlist.getTracks()) {
            QVERIFY(QRegularExpression("^\\d+:\\d\\d$").match(track.duration).hasMatch() && !track.displayName.isEmpty());
            QCOMPARE(track.title, titles.value(track.url.toLocalFile(), track.title));
        }
        const QList<QStringList> scanned = records(playlist);
        QVERIFY(update(playlist, path("corpus")));
        QCOMPARE(records(playlist), scanned);
        QVERIFY(playlist.saveToCache(path("corpus.json")));
        Playlist loaded;
        QVERIFY(loaded.loadFromCache(path("corpus.json")));
        QCOMPARE(records(loaded), scanned);
    }

    void cacheFuzz()
    {
        // Mutated caches: each load returns, is refused exactly when the file holds no JSON object, and a refused
        // one leaves the library as it was.
        writeLibrary(dir->path());
        const QString good = path("playlist_cache.json");
        const QByteArray valid = readAll(good);
        const QList<QByteArray> fragments = {"{", "}", "[", "]", ",", ":", "\"", "\\", "null", "1e999", "\"\\ud800\"",
                                             "\"tracks\": {}", "\"path\": 7,", QByteArray(3000, '['), QByteArray(2, '\0'), "\xff\xc3"};
        QRandomGenerator random(0xcac4e);
        Playlist playlist;
        for (int i = 0; i < 300; ++i) {
            QVERIFY(playlist.count() == 3 || playlist.loadFromCache(good));
            QByteArray bytes = valid;
            for (int round = int(random.bounded(3)); round >= 0; --round) {
                const int at = int(random.bounded(int(bytes.size()) + 1));
                switch (random.bounded(4)) {
                case 0: if (!bytes.isEmpty()) bytes[at % bytes.size()] ^= char(1 << random.bounded(8)); break;
                case 1: bytes.truncate(at); break;
                case 2: bytes.insert(at, fragments[random.bounded(int(fragments.size()))]); break;
                default: bytes.remove(at, random.bounded(64)); break;
                }
            }
            writeFile(path("fuzz.json"), bytes);
            const QList<QStringList> before = records(playlist);
            const bool loaded = playlist.loadFromCache(path("fuzz.json"));
            QVERIFY2(loaded == QJsonDocument::fromJson(bytes).isObject(), bytes.constData());
            QVERIFY(loaded ? playlist.count() <= 3 : records(playlist) == before);
        }
    }
};

QTEST_MAIN(TestLibrary)
#include "test_library.moc"
