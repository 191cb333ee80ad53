// The music library: texts and look-ups, folder scans of real files, the cache, hostile folders and caches.
#include "Playlist.h"
#include "TestSupport.h"
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
using namespace TestSupport;
namespace {
QByteArray readAll(const QString &p) { QFile f(p); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }
/** Every field of every record, derived ones included. */
QList<QStringList> records(const Playlist &playlist)
{
    QList<QStringList> rows;
    for (const Playlist::TrackInfo &t : playlist.getTracks())
        rows.append({t.url.toLocalFile(), t.artist, t.title, t.album, t.duration, t.fileName, t.displayName,
                     t.searchKey});
    return rows;
}
/** Runs an update of @p folder against the library's own paths to its end. */
bool update(Playlist &playlist, const QString &folder)
{
    auto done = std::make_shared<bool>(false);
    playlist.updateFromFolder(folder, playlist.knownFilePaths(), [done] { *done = true; });
    return QTest::qWaitFor([&] { return *done && noScanPending(playlist); }, 180000);
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
        for (const QStringList &r : rows)
            entries.append({copyFixture("untagged.mp3", path(r[4])), r[0], r[1], r[2], r[3]});
        writeCache(path("fill.json"), entries);
        QVERIFY(playlist.loadFromCache(path("fill.json")));
    }
private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { finishBackgroundWork(); }
    void textsAndLookups()
    {
        // Either tag alone, none, a "%1" in a tag (the list fills it in again, the display name not), case folding.
        Playlist playlist;
        fill(playlist, {{"Nina", "", "", "1:00", "a.ogg"}, {"", "Intro", "", "", "d.mp3"}, {"", "", "", "", "x.mp3"},
                        {"%1 Crew", "Song", "", "2:00", "e.mp3"}, {"ΣΊΣΥΦΟΣ ς", "µ ſ", "ÄLBUM", "4:20", "T.MP3"},
                        {"D", "4", "", "", "d.mp3"}});
        QCOMPARE(playlist.getList(), (QStringList{"Nina - Unknown Title (1:00)", "Unknown Artist - Intro ()", "x.mp3",
                                                  "Song Crew - 2:00 (%3)", "ΣΊΣΥΦΟΣ ς - µ ſ (4:20)", "D - 4 ()"}));
        QStringList shown; // display name | search key
        for (const Playlist::TrackInfo &t : playlist.getTracks())
            shown << t.displayName + " | " + t.searchKey;
        QCOMPARE(shown, (QStringList{"Nina - Unknown Title (1:00) | nina   a.ogg",
                                     "Unknown Artist - Intro () |  intro  d.mp3", "x.mp3 |    x.mp3",
                                     "%1 Crew - Song (2:00) | %1 crew song  e.mp3",
                                     "ΣΊΣΥΦΟΣ ς - µ ſ (4:20) | σίσυφοσ σ μ s älbum t.mp3", "D - 4 () | d 4  d.mp3"}));
        for (int i : {-1, 6, 1 << 30})
            QVERIFY(playlist.at(i).isEmpty() && playlist.textAt(i).isEmpty());
        QCOMPARE((QList<int>{playlist.indexOf(playlist.at(0)), playlist.indexOf(playlist.at(5)), // the first of two
                             playlist.indexOf(QUrl::fromLocalFile(path("X.mp3")))}), (QList<int>{0, 1, -1}));
        const QList<std::pair<qint64, QString>> cases = {{0, "0:00"}, {-5000, "0:00"}, {1999, "0:01"}, {59999, "0:59"},
            {187000, "3:07"}, {3599000, "59:59"}, {4500000, "75:00"}, {3000000000LL, "50000:00"}};
        for (const auto &[ms, text] : cases)
            QCOMPARE(Playlist::formatDuration(ms), text);
    }
    void scanAndCacheRealFiles()
    {
        // Tags of each format through nested, odd and non-ASCII paths, suffixes in any case, kept by the cache.
        const QList<QStringList> files = {
            {"tone.mp3", "Ünïcødé/トラック ♪.MP3", "Mp3 Album Artist", "Mp3 Tone", "Fixture Album", "0:01"},
            {"tone.ogg", "a/b/c/with space 'n \"quote\".Ogg", "Ogg Album Artist", "Ogg Tone", "Fixture Album", "0:01"},
            {"tone.flac", "-dash.Flac", "Flåc Ärtist", "Flac Tøne ♪", "Fixture Album", "0:01"},
            {"tone.wav", "wav/tone.wav", "Wav Album Artist", "Wav Tone", "Fixture Album", "0:01"},
            {"info-tagged.wav", "info.wav", "", "Info Tone", "Info Album", "0:00"}, // tags in RIFF INFO
            {"untagged.mp3", "untagged.mp3", "", "", "", "0:01"},
            {"title-only.ogg", "title-only.ogg", "", "Only A Title", "", "0:01"}};
        QMap<QString, QStringList> expected, found;
        for (const QStringList &file : files)
            expected.insert(copyFixture(file[0], path(file[1])), file.mid(2));
        for (const char *name : {"other.m4a", "backup.mp3.bak", "noext", "mp3", "tone.mp33"})
            copyFixture("tone.mp3", path(name));
        Playlist scanned, loaded;
        QVERIFY(scanFull(scanned, dir->path()));
        for (const Playlist::TrackInfo &t : scanned.getTracks())
            found.insert(t.url.toLocalFile(), {t.artist, t.title, t.album, t.duration});
        QCOMPARE(found, expected);
        QVERIFY(scanned.saveToCache(path("c.json")) && loaded.loadFromCache(path("c.json")));
        QCOMPARE(records(loaded), records(scanned));
        // An update appends the unknown paths only (one differs from a known path only in case), indexed.
        copyFixture("tone.flac", path("sub/new/c.flac"));
        copyFixture("tone.mp3", path("UNTAGGED.mp3"));
        const QList<QStringList> before = records(scanned);
        QVERIFY(update(scanned, dir->path()));
        QCOMPARE(records(scanned).mid(0, before.size()), before);
        const QStringList list = scanned.getList().mid(before.size());
        QCOMPARE(QSet<QString>(list.begin(), list.end()),
                 (QSet<QString>{"Flåc Ärtist - Flac Tøne ♪ (0:01)", "Mp3 Album Artist - Mp3 Tone (0:01)"}));
        const QString workingFolder = QDir::currentPath(); // an empty folder path scans nothing, never the working one
        const bool ended = QDir::setCurrent(dir->path()) && scanFull(loaded, QString());
        QVERIFY(QDir::setCurrent(workingFolder) && ended && loaded.count() == 0);
    }
    void cacheSave_data()
    {
        QTest::addColumn<QString>("obstacle"); // in the way of a new cache
        QTest::newRow("write fails part-way, as on a full disk: the old cache kept whole") << "full";
        QTest::newRow("no such folder") << "none";
        QTest::newRow("folder takes no new files: the cache written in place") << "locked";
    }
    void cacheSave()
    {
        QFETCH(QString, obstacle);
        const QString folder = path("c"), cache = folder + "/playlist_cache.json";
        const bool none = obstacle == "none", lock = obstacle == "locked";
        Playlist old, big, reloaded;
        fill(old, {{"Old", "1", "", "0:01", "old.mp3"}});
        QVERIFY(none || (QDir().mkpath(folder) && old.saveToCache(cache)));
        fill(big, QList<QStringList>(300, {QString(100, 'x'), "T", "", "1:00", "big.mp3"}));
        const auto unlock = qScopeGuard([&] { if (lock) QProcess::execute("chattr", {"-i", folder}); });
        if (lock && QProcess::execute("chattr", {"+i", folder}) != 0) // root ignores permission bits, not this
            QSKIP("chattr cannot lock a folder here");
        rlimit unlimited;
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limit = {obstacle == "full" ? rlim_t(2000) : unlimited.rlim_cur, unlimited.rlim_max}; // old cache fits
        std::signal(SIGXFSZ, SIG_IGN);
        const bool written = setrlimit(RLIMIT_FSIZE, &limit) == 0 && big.saveToCache(cache);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(written, lock);
        reloaded.loadFromCache(cache);
        QCOMPARE(records(reloaded), none ? QList<QStringList>() : records(lock ? big : old));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), // no temporary file left behind
                 none ? QStringList() : QStringList{"playlist_cache.json"});
    }
    void overlappingScansKeepTheNewest_data()
    {
        QTest::addColumn<QList<int>>("scans"); // older is an update, its files; newer is an update, its files
        QTest::newRow("full, full, older slower") << QList<int>{0, 150, 0, 2};
        QTest::newRow("update, full") << QList<int>{1, 1, 0, 2};
        QTest::newRow("full, update") << QList<int>{0, 150, 1, 2};
    }
    void overlappingScansKeepTheNewest()
    {
        QFETCH(QList<int>, scans);
        for (int i = 0; i < scans[1] + scans[3]; ++i)
            writeFile(path(QString(i < scans[1] ? "old/%1.mp3" : "new/%1.mp3").arg(i)), {});
        Playlist playlist;
        auto calls = std::make_shared<int>(0); // of the older scan
        scans[0] ? playlist.updateFromFolder(path("old"), {}, [calls] { ++*calls; })
                 : playlist.loadFromFolder(path("old"), [calls](int) { ++*calls; }, [calls] { ++*calls; });
        QVERIFY(scans[2] ? update(playlist, path("new")) : scanFull(playlist, path("new")));
        QVERIFY(*calls == 0 && playlist.count() == scans[3] && playlist.knownFilePaths().filter("/old/").isEmpty());
    }
    void cacheLoad_data()
    {
        // $A, $B: existing files, $GONE: a deleted one; $NONE, $DIR, $FIFO: no regular file.
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("list"); // after the load; a refused one keeps the library as it was
        QTest::newRow("missing file dropped") << QByteArray(R"({"tracks": [{"path": "$A", "artist": "A", "title": "1",
            "album": "", "duration": "0:01"}, {"path": "$GONE", "title": "0"}, {"path": "$B", "artist": "B",
            "title": "2"}]})") << QStringList{"A - 1 (0:01)", "B - 2 ()"};
        QTest::newRow("wrong types") << QByteArray(R"({"tracks": [42, null, "x", [], {"path": 7}, {"artist": "x"},
            {"path": "$A", "artist": 12, "title": true}, {"path": "$A", "artist": "Kept"}]})")
                                     << QStringList{"a.mp3", "Kept - Unknown Title ()"};
        QTest::newRow("empty object") << QByteArray("{}") << QStringList{};
        QTest::newRow("tracks not an array") << QByteArray(R"({"tracks": {"path": "$A"}})") << QStringList{};
        for (const QByteArray &bad : {QByteArray(), QByteArray("not json"), QByteArray(R"([{"tracks": []}])"),
                                      QByteArray("42"), QByteArray(R"({"tracks": [{"path": "$A")"),
                                      QByteArray(R"({"tracks": []} x)"), QByteArray("$NONE"), QByteArray("$DIR"),
                                      QByteArray("$FIFO"), "{\"tracks\": " + QByteArray(9999, '[') + "}"})
            QTest::addRow("refused: %s", bad.left(30).constData()) << bad << QStringList{"Kept - 1 (0:01)"};
        // Mutated caches, "?" for a list left to the outcome: refused exactly when there is no JSON object.
        const QList<QByteArray> fragments = {"{", "]", ",", ":", "\"", "\\", "null", "1e999", "\"\\ud800\"",
            "\"tracks\": {}", "\"path\": 7,", QByteArray(3000, '['), QByteArray(2, '\0'), "\xff\xc3"};
        const QByteArray good = R"({"tracks": [{"path": "$A", "artist": "A", "title": "1"}, {"path": "$B"}]})";
        QRandomGenerator random(0xcac4e);
        for (int i = 0; i < 300; ++i) {
            QByteArray bytes = good.left(random.bounded(8) ? 1 << 20 : int(random.bounded(80))); // at times truncated
            for (int round = int(random.bounded(3)); round >= 0 && !bytes.isEmpty(); --round) {
                const int at = int(random.bounded(int(bytes.size())));
                random.bounded(2) ? void(bytes.insert(at, fragments[random.bounded(int(fragments.size()))]))
                                  : void(bytes[at] = char(bytes[at] ^ (1 << random.bounded(8))));
            }
            QTest::addRow("mutated %d", i) << bytes << QStringList{"?"};
        }
    }
    void cacheLoad()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, list);
        const QString cache = path("cache.json");
        if (content == "$DIR" || content == "$FIFO")
            QVERIFY(content == "$DIR" ? QDir().mkpath(cache) : mkfifo(QFile::encodeName(cache).constData(), 0600) == 0);
        else if (content != "$NONE")
            writeFile(cache, content.replace("$A", copyFixture("tone.mp3", path("a.mp3")).toUtf8())
                                 .replace("$B", copyFixture("tone.mp3", path("b.mp3")).toUtf8())
                                 .replace("$GONE", path("gone.mp3").toUtf8()));
        Playlist playlist;
        fill(playlist, {{"Kept", "1", "", "0:01", "kept.mp3"}});
        const bool mutated = list == QStringList{"?"}, kept = list == QStringList{"Kept - 1 (0:01)"};
        const bool loads = mutated ? QJsonDocument::fromJson(readAll(cache)).isObject() : !kept;
        QCOMPARE(playlist.loadFromCache(cache), loads);
        if (!mutated || !loads)
            QCOMPARE(playlist.getList(), loads ? list : QStringList{"Kept - 1 (0:01)"});
    }
    void hostileCorpus()
    {
        // Empty, noise, truncated, bit-flipped and whole files, odd names, a FIFO, links, a link loop: one record each.
        QRandomGenerator rng(0x5eed);
        const QStringList stems = {"quote'\"", "Ünïcødé ♪", "new\nline", "back\\slash", "[01]", QString(200, 'l')};
        const QStringList suffixes = {"mp3", "ogg", "flac", "wav", "MP3", "Flac"};
        QStringList expected;
        for (int n = 0; n < 120; ++n) { // each fixture as each kind and with each suffix
            const int kind = n / 24; // empty, noise, truncated, bit flips, whole
            QByteArray bytes = readAll(fixture("tone." + suffixes[n % 4]));
            bytes = bytes.left(kind == 0 ? 0 : kind == 2 ? int(rng.bounded(3000)) : 1 << 20);
            for (int i = 0; kind % 2 == 1 && i < (kind == 1 ? bytes.size() : 20); ++i)
                bytes[rng.bounded(int(bytes.size()))] ^= char(kind == 1 ? rng.bounded(256) : 1 << rng.bounded(8));
            expected << path(QString("corpus/%1/%2 %3.%4").arg(kind).arg(n).arg(stems[n % 6], suffixes[n / 4 % 6]));
            writeFile(expected.last(), bytes);
        }
        const QString odd = path("corpus/odd/");
        expected << copyFixture("tone.flac", odd + "album.mp3/inside.flac");
        QVERIFY(mkfifo(QFile::encodeName(odd + "pipe.mp3").constData(), 0600) == 0
                && QFile::link(path("corpus"), odd + "loop") && QFile::link(odd + "gone.wav", odd + "dangling.wav")
                && QFile::link(odd + "pipe.mp3", odd + "to-pipe.ogg"));
        Playlist playlist, loaded;
        auto seen = std::make_shared<QList<int>>(); // progress reports
        playlist.loadFromFolder(path("corpus"), [seen](int found) { seen->append(found); }, {});
        QVERIFY(QTest::qWaitFor([&] { return !seen->isEmpty() && seen->last() > 100 && noScanPending(playlist); },
                                180000));
        QCOMPARE(*seen, (QList<int>{100, playlist.count()}));
        QStringList listed = playlist.knownFilePaths();
        for (const char *name : {"pipe.mp3", "to-pipe.ogg", "dangling.wav"}) // may be listed, never read
            listed.removeOne(odd + name);
        QCOMPARE(QSet<QString>(listed.begin(), listed.end()), QSet<QString>(expected.begin(), expected.end()));
        QCOMPARE(listed.size(), expected.size()); // none twice
        for (const Playlist::TrackInfo &t : playlist.getTracks())
            QVERIFY(QRegularExpression("^\\d+:\\d\\d$").match(t.duration).hasMatch() && !t.displayName.isEmpty());
        QVERIFY(playlist.saveToCache(path("corpus.json")) && loaded.loadFromCache(path("corpus.json")));
        QCOMPARE(records(loaded), records(playlist));
    }
};
QTEST_MAIN(TestLibrary)
#include "test_library.moc"
