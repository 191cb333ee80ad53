// The music library: texts and look-ups, folder scans of real files, the cache, hostile folders and caches.
#include "Playlist.h"
#include "TestSupport.h"
#include <QRandomGenerator>
#include <QRegularExpression>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
using namespace TestSupport;
namespace {
QByteArray readAll(const QString &path) { QFile file(path); return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(); }
/** Every field of every record, derived ones included. */
QList<QStringList> records(const Playlist &playlist)
{
    QList<QStringList> rows;
    for (const Playlist::TrackInfo &t : playlist.getTracks())
        rows.append({t.url.toLocalFile(), t.artist, t.title, t.album, t.duration, t.fileName, t.displayName, t.searchKey});
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
    void displayTexts_data()
    {
        QTest::addColumn<QStringList>("v"); // artist, title, album, duration, file; list text, display name, search key
        QTest::newRow("artist only") << QStringList{"Nina", "", "", "1:00", "a.ogg", "Nina - Unknown Title (1:00)",
                                                    "Nina - Unknown Title (1:00)", "nina   a.ogg"};
        QTest::newRow("title only") << QStringList{"", "Intro", "", "", "b.ogg", "Unknown Artist - Intro ()",
                                                   "Unknown Artist - Intro ()", " intro  b.ogg"};
        QTest::newRow("percent digit, filled again by the list")
            << QStringList{"%1 Crew", "Song", "", "2:00", "e.mp3", "Song Crew - 2:00 (%3)", "%1 Crew - Song (2:00)", "%1 crew song  e.mp3"};
        QTest::newRow("case folding") << QStringList{"ΣΊΣΥΦΟΣ ς", "µ ſ", "ÄLBUM", "4:20", "T.MP3", "ΣΊΣΥΦΟΣ ς - µ ſ (4:20)",
                                                     "ΣΊΣΥΦΟΣ ς - µ ſ (4:20)", "σίσυφοσ σ μ s älbum t.mp3"};
    }
    void displayTexts()
    {
        QFETCH(QStringList, v);
        Playlist playlist;
        fill(playlist, {v.mid(0, 5)});
        const Playlist::TrackInfo track = playlist.getTracks().value(0);
        QCOMPARE((QStringList{track.fileName, playlist.textAt(0), track.displayName, track.searchKey}), v.mid(4));
        QCOMPARE(playlist.getList(), QStringList{v[5]});
    }
    void lookups()
    {
        Playlist playlist;
        fill(playlist, {{"C", "3", "", "0:03", "z.mp3"}, {"A", "1", "", "0:01", "d.mp3"}, {"", "", "", "", "x.mp3"}, {"D", "4", "", "", "d.mp3"}});
        QCOMPARE(playlist.getList(), (QStringList{"C - 3 (0:03)", "A - 1 (0:01)", "x.mp3", "D - 4 ()"}));
        QCOMPARE(playlist.knownFilePaths(), (QStringList{path("z.mp3"), path("d.mp3"), path("x.mp3"), path("d.mp3")}));
        for (int i : {-1, 4, 1 << 30})
            QVERIFY(playlist.at(i).isEmpty() && playlist.textAt(i).isEmpty());
        QVERIFY(playlist.count() == 4 && playlist.textAt(3) == "D - 4 ()" && playlist.at(0) == QUrl::fromLocalFile(path("z.mp3")));
        QCOMPARE((QList<int>{playlist.indexOf(playlist.at(0)), playlist.indexOf(playlist.at(3)), // the first of two
                             playlist.indexOf(QUrl::fromLocalFile(path("X.mp3")))}), (QList<int>{0, 1, -1}));
    }
    void formatDuration_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        for (const auto &[ms, text] : {std::pair<qint64, const char *>{0, "0:00"}, {-5000, "0:00"}, {1999, "0:01"}, {59999, "0:59"},
                                       {187000, "3:07"}, {3599000, "59:59"}, {4500000, "75:00"}, {3000000000LL, "50000:00"}})
            QTest::addRow("%s", text) << ms << QString(text);
    }
    void formatDuration()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(Playlist::formatDuration(ms), text);
    }
    void scanAndCacheRealFiles()
    {
        // Tags of each format through nested, odd and non-ASCII paths, suffixes in any case, kept by the cache.
        const QList<QStringList> files = {
            {"tone.mp3", "Ünïcødé/トラック ♪.MP3", "Mp3 Album Artist", "Mp3 Tone", "Fixture Album"},
            {"tone.ogg", "a/b/c/with space 'n \"quote\".Ogg", "Ogg Album Artist", "Ogg Tone", "Fixture Album"},
            {"tone.flac", "-dash.Flac", "Flåc Ärtist", "Flac Tøne ♪", "Fixture Album"},
            {"tone.wav", "wav/tone.wav", "Wav Album Artist", "Wav Tone", "Fixture Album"},
            {"untagged.mp3", "untagged.mp3", "", "", ""}, {"title-only.ogg", "title-only.ogg", "", "Only A Title", ""}};
        QMap<QString, QStringList> expected, found;
        for (const QStringList &file : files)
            expected.insert(copyFixture(file[0], path(file[1])), file.mid(2) << "0:01");
        for (const char *name : {"other.m4a", "backup.mp3.bak", "noext", "mp3", "tone.mp33"})
            copyFixture("tone.mp3", path(name));
        Playlist scanned, loaded;
        QVERIFY(scanFull(scanned, dir->path()));
        for (const Playlist::TrackInfo &t : scanned.getTracks())
            found.insert(t.url.toLocalFile(), {t.artist, t.title, t.album, t.duration});
        QCOMPARE(found, expected);
        const QString cache = path("playlist_cache.json");
        QVERIFY(scanned.saveToCache(cache) && loaded.loadFromCache(cache));
        QCOMPARE(records(loaded), records(scanned));
        const QByteArray saved = readAll(cache);
        QVERIFY(saved.contains("Flac Tøne ♪")); // UTF-8, not escapes
        QCOMPARE(QJsonDocument::fromJson(saved)["tracks"][0].toObject().keys(), (QStringList{"album", "artist", "duration", "path", "title"}));
        // An update appends the unknown paths only (one differs from a known path only in case), indexed.
        copyFixture("tone.flac", path("sub/new/c.flac"));
        copyFixture("tone.mp3", path("UNTAGGED.mp3"));
        const QList<QStringList> before = records(scanned);
        QVERIFY(update(scanned, dir->path()));
        QCOMPARE(records(scanned).mid(0, 6), before);
        const QStringList list = scanned.getList();
        QCOMPARE(QSet<QString>(list.begin() + 6, list.end()),
                 (QSet<QString>{"Flåc Ärtist - Flac Tøne ♪ (0:01)", "Mp3 Album Artist - Mp3 Tone (0:01)"}));
        // A write that fails part-way (here at the file size limit, as on a full disk) keeps the old cache whole.
        fill(loaded, QList<QStringList>(300, {QString(100, 'x'), "T", "", "1:00", "big.mp3"}));
        rlimit unlimited;
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limit = {rlim_t(saved.size() + 1000), unlimited.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        const bool written = setrlimit(RLIMIT_FSIZE, &limit) == 0 && loaded.saveToCache(cache);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QVERIFY(!written && readAll(cache) == saved && !scanned.saveToCache(path("no/such/folder/cache.json")));
        const QString workingFolder = QDir::currentPath(); // an empty folder path scans nothing, never the working folder
        const bool ended = QDir::setCurrent(dir->path()) && scanFull(loaded, QString());
        QVERIFY(QDir::setCurrent(workingFolder) && ended && loaded.count() == 0);
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
        auto olderCalls = std::make_shared<int>(0);
        scans[0] ? playlist.updateFromFolder(path("old"), {}, [olderCalls] { ++*olderCalls; })
                 : playlist.loadFromFolder(path("old"), [olderCalls](int) { ++*olderCalls; }, [olderCalls] { ++*olderCalls; });
        QVERIFY(scans[2] ? update(playlist, path("new")) : scanFull(playlist, path("new")));
        QVERIFY(*olderCalls == 0 && playlist.count() == scans[3] && playlist.knownFilePaths().filter(path("new/")).size() == scans[3]);
    }
    void cache_data()
    {
        QTest::addColumn<QByteArray>("content"); // $A, $B: existing files, $GONE: a deleted one; $NONE, $DIR, $FIFO: no file
        QTest::addColumn<QStringList>("list"); // after the load; a refused one keeps the library as it was
        QTest::newRow("missing file dropped") << QByteArray(R"({"tracks": [{"path": "$A", "artist": "A", "title": "1", "album": "",
            "duration": "0:01"}, {"path": "$GONE", "title": "0"}, {"path": "$B", "artist": "B", "title": "2"}]})") << QStringList{"A - 1 (0:01)", "B - 2 ()"};
        QTest::newRow("wrong types") << QByteArray(R"({"tracks": [42, null, "x", [], {"path": 7}, {"artist": "no path"},
            {"path": "$A", "artist": 12, "title": true}, {"path": "$A", "artist": "Kept"}]})") << QStringList{"a.mp3", "Kept - Unknown Title ()"};
        QTest::newRow("empty object") << QByteArray("{}") << QStringList{};
        QTest::newRow("tracks not an array") << QByteArray(R"({"tracks": {"path": "$A"}})") << QStringList{};
        for (const QByteArray &bad : {QByteArray(), QByteArray("not json"), QByteArray(R"([{"tracks": []}])"), QByteArray("42"),
                                      QByteArray(R"({"tracks": [{"path": "$A")"), QByteArray(R"({"tracks": []} x)"), QByteArray("$NONE"),
                                      QByteArray("$DIR"), QByteArray("$FIFO"), "{\"tracks\": " + QByteArray(9999, '[') + "}"})
            QTest::addRow("refused: %s", bad.left(30).constData()) << bad << QStringList{"Kept - 1 (0:01)"};
        // Mutated caches, "?" for a list left to the outcome: refused exactly when there is no JSON object.
        const QList<QByteArray> fragments = {"{", "]", ",", ":", "\"", "\\", "null", "1e999", "\"\\ud800\"", "\"tracks\": {}",
                                             "\"path\": 7,", QByteArray(3000, '['), QByteArray(2, '\0'), "\xff\xc3"};
        QRandomGenerator random(0xcac4e);
        for (int i = 0; i < 300; ++i) {
            QByteArray bytes = QByteArray(R"({"tracks": [{"path": "$A", "artist": "A", "title": "1"}, {"path": "$B", "title": "2"}]})")
                                   .left(random.bounded(8) ? 1 << 20 : int(random.bounded(80))); // at times truncated
            for (int round = int(random.bounded(3)); round >= 0 && !bytes.isEmpty(); --round) {
                const int at = int(random.bounded(int(bytes.size())));
                random.bounded(2) ? void(bytes.insert(at, fragments[random.bounded(int(fragments.size()))]))
                                  : void(bytes[at] = char(bytes[at] ^ (1 << random.bounded(8))));
            }
            QTest::addRow("mutated %d", i) << bytes << QStringList{"?"};
        }
    }
    void cache()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, list);
        const QString cache = path("cache.json");
        if (content == "$DIR" || content == "$FIFO")
            QVERIFY(content == "$DIR" ? QDir().mkpath(cache) : mkfifo(QFile::encodeName(cache).constData(), 0600) == 0);
        else if (content != "$NONE")
            writeFile(cache, content.replace("$A", copyFixture("tone.mp3", path("a.mp3")).toUtf8())
                                 .replace("$B", copyFixture("tone.mp3", path("b.mp3")).toUtf8()).replace("$GONE", path("gone.mp3").toUtf8()));
        Playlist playlist;
        fill(playlist, {{"Kept", "1", "", "0:01", "kept.mp3"}});
        const bool mutated = list == QStringList{"?"}, kept = list == QStringList{"Kept - 1 (0:01)"};
        const bool loads = mutated ? QJsonDocument::fromJson(readAll(cache)).isObject() : !kept;
        QCOMPARE(playlist.loadFromCache(cache), loads);
        QCOMPARE(playlist.getList(), mutated && loads ? playlist.getList() : loads ? list : QStringList{"Kept - 1 (0:01)"});
    }
    void hostileCorpus()
    {
        // Empty, noise, truncated, bit-flipped and whole files, odd names, a FIFO, links, a link loop: one record each.
        QRandomGenerator random(0x5eed);
        const QStringList stems = {"with space", "-dash", "quote'\"", "Ünïcødé ♪", "new\nline", "back\\slash", "[01]", QString(200, 'l')};
        QStringList expected;
        for (const QString source : {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"})
            for (int kind = 0; kind < 5; ++kind) // empty, noise, truncated, bit flips, whole
                for (const QString suffix : {"mp3", "ogg", "flac", "wav", "MP3", "Flac"}) {
                    QByteArray bytes = readAll(fixture(source)).left(kind == 0 ? 0 : kind == 2 ? int(random.bounded(3000)) : 1 << 20);
                    for (int i = 0; kind % 2 == 1 && i < (kind == 1 ? bytes.size() : 20); ++i)
                        bytes[random.bounded(int(bytes.size()))] ^= char(kind == 1 ? random.bounded(256) : 1 << random.bounded(8));
                    expected << path(QString("corpus/%1/%2 %3.%4").arg(kind).arg(stems[expected.size() % stems.size()], source, suffix));
                    writeFile(expected.last(), bytes);
                }
        const QString special = path("corpus/special/");
        expected << copyFixture("tone.flac", special + "album.mp3/inside.flac");
        QVERIFY(mkfifo(QFile::encodeName(special + "pipe.mp3").constData(), 0600) == 0 && QFile::link(path("corpus"), special + "loop")
                && QFile::link(special + "pipe.mp3", special + "to-pipe.ogg") && QFile::link(special + "gone.wav", special + "dangling.wav"));
        Playlist playlist, loaded;
        auto progress = std::make_shared<QList<int>>();
        playlist.loadFromFolder(path("corpus"), [progress](int found) { progress->append(found); }, {});
        QVERIFY(QTest::qWaitFor([&] { return !progress->isEmpty() && progress->last() > 100 && noScanPending(playlist); }, 180000));
        QCOMPARE(*progress, (QList<int>{100, playlist.count()}));
        QStringList listed = playlist.knownFilePaths();
        for (const char *name : {"pipe.mp3", "to-pipe.ogg", "dangling.wav"}) // may be listed, never read
            listed.removeOne(special + name);
        QCOMPARE(QSet<QString>(listed.begin(), listed.end()), QSet<QString>(expected.begin(), expected.end()));
        QCOMPARE(listed.size(), expected.size()); // none twice
        for (const Playlist::TrackInfo &track : playlist.getTracks())
            QVERIFY(QRegularExpression("^\\d+:\\d\\d$").match(track.duration).hasMatch() && !track.displayName.isEmpty());
        QVERIFY(playlist.saveToCache(path("corpus.json")) && loaded.loadFromCache(path("corpus.json")));
        QCOMPARE(records(loaded), records(playlist));
    }
};
QTEST_MAIN(TestLibrary)
#include "test_library.moc"
