// The JSON cache file: layout, round trip, damaged and hostile caches, and
// the atomic write.

#include "Playlist.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace TestSupport;

namespace {

QJsonObject entry(const QString &path, const QString &artist, const QString &title, const QString &album,
                  const QString &duration)
{
    return cacheRecord({path, artist, title, album, duration});
}

/** True when @p path holds exactly what Qt's own indented JSON writer gives for its content. */
bool isQtIndentedJson(const QString &path)
{
    const QByteArray bytes = readAll(path);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning("%s: %s", qPrintable(path), qPrintable(error.errorString()));
        return false;
    }
    const QByteArray qt = document.toJson(QJsonDocument::Indented);
    if (qt != bytes) {
        qWarning("%s differs from Qt's layout:\n%s\n---\n%s", qPrintable(path), bytes.left(2000).constData(),
                 qt.left(2000).constData());
        return false;
    }
    return true;
}

} // namespace

class TestCache : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;

    QString path(const QString &relative) const { return dir->filePath(relative); }

    QString touch(const QString &relative) { return TestSupport::touch(path(relative)); }

    void preload(Playlist &playlist) { QVERIFY(loadKeptLibrary(playlist, dir->path())); }

private slots:
    void initTestCase() { TestSupport::isolateSettings(); }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void cleanup() { dir.reset(); }

    void layout()
    {
        Playlist playlist;
        writeFile(path("in.json"),
                  cacheJson({entry(touch("a.mp3"), "Artist", "Title", "Album", "3:07")}));
        QVERIFY(playlist.loadFromCache(path("in.json")));
        QVERIFY(playlist.saveToCache(path("out.json")));

        const QByteArray bytes = readAll(path("out.json"));
        // Qt's indented layout: one member per line, four spaces per level,
        // the members of a track in alphabetical order.
        const QByteArray expected = "{\n"
                                    "    \"tracks\": [\n"
                                    "        {\n"
                                    "            \"album\": \"Album\",\n"
                                    "            \"artist\": \"Artist\",\n"
                                    "            \"duration\": \"3:07\",\n"
                                    "            \"path\": \""
            + path("a.mp3").toUtf8()
            + "\",\n"
              "            \"title\": \"Title\"\n"
              "        }\n"
              "    ]\n"
              "}\n";
        QCOMPARE(bytes, expected);
    }

    void roundTripOfScannedFixtures()
    {
        const QStringList names = {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav", "untagged.mp3",
                                   "title-only.ogg"};
        for (const QString &name : names)
            QVERIFY(TestSupport::copyFixture(name, path(QString::fromUtf8("Müsik/") + name)));
        Playlist scanned;
        bool done = false;
        scanned.loadFromFolder(path(QString::fromUtf8("Müsik")), {}, [&] { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
        QCOMPARE(scanned.getTracks().size(), names.size());

        const QString cache = path(QString::fromUtf8("Müsik/playlist_cache.json"));
        QVERIFY(scanned.saveToCache(cache));
        QVERIFY(isQtIndentedJson(cache));
        // Real UTF-8, not escapes.
        QVERIFY(readAll(cache).contains(QString::fromUtf8("Flac Tøne ♪").toUtf8()));

        Playlist loaded;
        QVERIFY(loaded.loadFromCache(cache));
        QCOMPARE(storedFields(loaded.getTracks()), storedFields(scanned.getTracks()));
        QCOMPARE(loaded.getList(), scanned.getList());
        QCOMPARE(loaded.knownFilePaths(), scanned.knownFilePaths());
        const QList<Playlist::TrackInfo> a = scanned.getTracks();
        const QList<Playlist::TrackInfo> b = loaded.getTracks();
        for (int i = 0; i < a.size(); ++i) {
            QCOMPARE(b[i].url, a[i].url);
            QCOMPARE(b[i].fileName, a[i].fileName);
            QCOMPARE(b[i].displayName, a[i].displayName);
            QCOMPARE(b[i].searchKey, a[i].searchKey);
        }
    }

    void roundTripOfAwkwardText()
    {
        const QStringList awkward = {
            "quote \" backslash \\ slash /", "tab\tnew\nline", QString::fromUtf8("Ünïcødé ♪ 日本"),
            QString::fromUtf8("emoji 🎵"), "%1 %2 %3", "", "   ",
        };
        QJsonArray tracks;
        for (int i = 0; i < awkward.size(); ++i) {
            tracks.append(entry(touch(QStringLiteral("f%1.mp3").arg(i)), awkward[i],
                                awkward[(i + 1) % awkward.size()],
                                awkward[(i + 2) % awkward.size()], awkward[(i + 3) % awkward.size()]));
        }
        writeFile(path("in.json"), cacheJson(tracks));
        Playlist first;
        QVERIFY(first.loadFromCache(path("in.json")));
        QCOMPARE(first.getTracks().size(), awkward.size());
        QVERIFY(first.saveToCache(path("out.json")));
        QVERIFY(isQtIndentedJson(path("out.json")));
        Playlist second;
        QVERIFY(second.loadFromCache(path("out.json")));
        QCOMPARE(storedFields(second.getTracks()), storedFields(first.getTracks()));
        QCOMPARE(second.getList(), first.getList());
        QCOMPARE(second.getTracks()[1].title, awkward[2]);
    }

    void controlCharactersAndBrokenSurrogates()
    {
        // Escapes a tag may carry: every control character, DEL, a lone high
        // and a lone low surrogate, a pair split by another character.
        QByteArray text = "\"";
        for (int c = 1; c < 0x20; ++c)
            text += QByteArray("\\u00") + QByteArray::number(c, 16).rightJustified(2, '0');
        text += "\x7f \\ud800 x \\udc00 \\ud83d\\ude00 \\ud83dy\\ude00 end\"";
        const QByteArray content = "{\"tracks\": [{\"path\": \"" + touch("a.mp3").toUtf8()
            + "\", \"artist\": " + text + ", \"title\": " + text + "}]}";
        writeFile(path("in.json"), content);
        Playlist first;
        QVERIFY(first.loadFromCache(path("in.json")));
        QCOMPARE(first.getTracks().size(), 1);
        const QString artist = first.getTracks().constFirst().artist;
        QVERIFY(artist.contains(QChar(0xd800)));
        QVERIFY(artist.contains(QChar(0x01)));
        QVERIFY(first.saveToCache(path("out.json")));
        QVERIFY(isQtIndentedJson(path("out.json")));
        Playlist second;
        QVERIFY(second.loadFromCache(path("out.json")));
        QCOMPARE(storedFields(second.getTracks()), storedFields(first.getTracks()));
    }

    void missingFilesDropped()
    {
        const QString a = touch("a.mp3");
        const QString b = touch("b.mp3");
        const QString c = touch("c.mp3");
        writeFile(path("cache.json"), cacheJson({entry(a, "A", "1", "", "0:01"),
                                                  entry(b, "B", "2", "", "0:02"),
                                                  entry(c, "C", "3", "", "0:03")}));
        QVERIFY(QFile::remove(b));
        Playlist playlist;
        QVERIFY(playlist.loadFromCache(path("cache.json")));
        QCOMPARE(playlist.knownFilePaths(), (QStringList{a, c}));
        QCOMPARE(playlist.getList(), (QStringList{"A - 1 (0:01)", "C - 3 (0:03)"}));
        // The next write leaves the missing one out.
        QVERIFY(playlist.saveToCache(path("cache.json")));
        QVERIFY(!readAll(path("cache.json")).contains("b.mp3"));
    }

    void existingDirectoryCounts()
    {
        // Only existence is checked, not the kind or the name.
        QVERIFY(QDir().mkpath(path("folder")));
        const QString text = touch("notes.txt");
        writeFile(path("cache.json"), cacheJson({entry(path("folder"), "D", "Dir", "", "0:01"),
                                                  entry(text, "T", "Txt", "", "0:02")}));
        Playlist playlist;
        QVERIFY(playlist.loadFromCache(path("cache.json")));
        QCOMPARE(playlist.knownFilePaths(), (QStringList{path("folder"), text}));
    }

    void missingDuration()
    {
        writeFile(path("cache.json"),
                  cacheJson({QJsonObject{{"path", touch("a.mp3")}, {"artist", "A"}, {"title", "T"}}}));
        Playlist playlist;
        QVERIFY(playlist.loadFromCache(path("cache.json")));
        QCOMPARE(playlist.getTracks().constFirst().duration, QString());
        QCOMPARE(playlist.getTracks().constFirst().album, QString());
        QCOMPARE(playlist.getList(), QStringList{"A - T ()"});
        QCOMPARE(playlist.getTracks().constFirst().displayName, QString("A - T ()"));
    }

    void unusableCaches_data()
    {
        // Not a JSON object: the load fails and the library stays. An object
        // without a usable "tracks" array loads as an empty library.
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loads");
        QTest::newRow("array at top") << QByteArray("[{\"tracks\": []}]") << false;
        QTest::newRow("not JSON") << QByteArray("this is not json") << false;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("truncated") << QByteArray("{\"tracks\": [{\"path\": \"/x\"") << false;
        QTest::newRow("string at top") << QByteArray("\"tracks\"") << false;
        QTest::newRow("number at top") << QByteArray("42") << false;
        QTest::newRow("trailing garbage") << QByteArray("{\"tracks\": []} xyz") << false;
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{\x01", 5) << false;
        QTest::newRow("no file") << QByteArray("none") << false;
        QTest::newRow("empty object") << QByteArray("{}") << true;
        QTest::newRow("other key") << QByteArray("{\"songs\": [{\"path\": \"/\"}]}") << true;
        QTest::newRow("tracks is a string") << QByteArray("{\"tracks\": \"/\"}") << true;
        QTest::newRow("tracks is an object") << QByteArray("{\"tracks\": {\"path\": \"/\"}}") << true;
        QTest::newRow("tracks is null") << QByteArray("{\"tracks\": null}") << true;
        QTest::newRow("tracks is empty") << QByteArray("{\"tracks\": []}") << true;
    }

    void unusableCaches()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, loads);
        Playlist playlist;
        preload(playlist);
        const QStringList before = playlist.getList();
        const QString cache = content == "none" ? path("nothing-here.json") : path("cache.json");
        if (content != "none")
            writeFile(cache, content);
        QCOMPARE(playlist.loadFromCache(cache), loads);
        if (loads) {
            QVERIFY(playlist.getTracks().isEmpty());
            QVERIFY(playlist.getList().isEmpty());
        } else {
            QCOMPARE(playlist.getList(), before);
            QCOMPARE(playlist.getTracks().constFirst().displayName, QString("Kept - 1 (0:01)"));
            QVERIFY(!playlist.loadFromCache(QString()));
        }
    }

    void nonStringMembers()
    {
        const QString a = touch("a.mp3");
        QJsonArray tracks;
        tracks.append(42);                               // not an object: skipped
        tracks.append(QJsonValue::Null);                 // skipped
        tracks.append("a string");                       // skipped
        tracks.append(QJsonArray{a});                    // skipped
        tracks.append(QJsonObject{{"path", 7}});         // path not a string: skipped
        tracks.append(QJsonObject{{"path", QJsonArray{a}}}); // skipped
        tracks.append(QJsonObject{{"artist", "no path"}});   // skipped
        tracks.append(QJsonObject{{"path", a},
                                  {"artist", 12},
                                  {"title", true},
                                  {"album", QJsonArray{"x"}},
                                  {"duration", QJsonObject{{"m", 3}}}});
        tracks.append(QJsonObject{{"path", a}, {"artist", "Kept"}, {"title", 3.5},
                                  {"duration", QJsonValue::Null}});
        writeFile(path("cache.json"), cacheJson(tracks));

        Playlist playlist;
        QVERIFY(playlist.loadFromCache(path("cache.json")));
        const QList<Playlist::TrackInfo> loaded = playlist.getTracks();
        QCOMPARE(loaded.size(), 2);
        QCOMPARE(loaded[0].url, QUrl::fromLocalFile(a));
        QVERIFY(loaded[0].artist.isEmpty() && loaded[0].title.isEmpty()
                && loaded[0].album.isEmpty() && loaded[0].duration.isEmpty());
        QCOMPARE(loaded[0].displayName, QString("a.mp3"));
        QCOMPARE(loaded[1].artist, QString("Kept"));
        QCOMPARE(playlist.getList(), (QStringList{"a.mp3", "Kept - Unknown Title ()"}));
    }

    void emptyLibrary()
    {
        Playlist empty;
        QVERIFY(empty.saveToCache(path("cache.json")));
        const QJsonDocument document = QJsonDocument::fromJson(readAll(path("cache.json")));
        QVERIFY(document.isObject());
        QCOMPARE(document.object().keys(), QStringList{"tracks"});
        QVERIFY(document.object().value("tracks").isArray());
        QVERIFY(document.object().value("tracks").toArray().isEmpty());
        QVERIFY(isQtIndentedJson(path("cache.json")));

        Playlist playlist;
        preload(playlist);
        QVERIFY(playlist.loadFromCache(path("cache.json")));
        QVERIFY(playlist.getTracks().isEmpty());
    }

    void duplicatesKept()
    {
        const QString a = touch("a.mp3");
        writeFile(path("cache.json"),
                  cacheJson({entry(a, "A", "1", "", "0:01"), entry(a, "A", "2", "", "0:02")}));
        Playlist playlist;
        QVERIFY(playlist.loadFromCache(path("cache.json")));
        QCOMPARE(playlist.getTracks().size(), 2);
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(a)), 0);
    }

    void hundredThousandEntries()
    {
        QStringList files;
        for (int i = 0; i < 100; ++i)
            files.append(touch(QStringLiteral("d%1/f%2.mp3").arg(i % 10).arg(i)));
        QJsonArray tracks;
        int expected = 0;
        for (int i = 0; i < 100000; ++i) {
            // Every tenth entry names a file that does not exist.
            const bool missing = i % 10 == 9;
            tracks.append(entry(missing ? path(QStringLiteral("gone/%1.mp3").arg(i)) : files[i % 100],
                                QStringLiteral("Artist %1").arg(i), QStringLiteral("Title %1").arg(i),
                                QStringLiteral("Album %1").arg(i / 10), "3:07"));
            expected += missing ? 0 : 1;
        }
        writeFile(path("cache.json"), cacheJson(tracks));

        Playlist playlist;
        QVERIFY(playlist.loadFromCache(path("cache.json")));
        const QList<Playlist::TrackInfo> loaded = playlist.getTracks();
        QCOMPARE(loaded.size(), expected);
        QCOMPARE(loaded.constFirst().title, QString("Title 0"));
        QCOMPARE(loaded.constLast().title, QString("Title 99998"));
        QCOMPARE(loaded.constLast().searchKey,
                 QString("artist 99998 title 99998 album 9999 f98.mp3"));
        QCOMPARE(playlist.getList().size(), expected);

        // And back out again, whole.
        QVERIFY(playlist.saveToCache(path("again.json")));
        QVERIFY(isQtIndentedJson(path("again.json")));
        Playlist again;
        QVERIFY(again.loadFromCache(path("again.json")));
        QCOMPARE(storedFields(again.getTracks()), storedFields(playlist.getTracks()));
    }

    void hostileNesting()
    {
        // Deep nesting must fail cleanly, not blow the stack.
        const QByteArray deep = "{\"tracks\": " + QByteArray(100000, '[') + QByteArray(100000, ']')
            + "}";
        writeFile(path("deep.json"), deep);
        Playlist playlist;
        preload(playlist);
        const bool ok = playlist.loadFromCache(path("deep.json"));
        if (ok)
            QVERIFY(playlist.getTracks().isEmpty());
        else
            QCOMPARE(playlist.getTracks().size(), 3);
    }

    void saveReplacesAndLeavesNoTemporaryFiles()
    {
        Playlist playlist;
        preload(playlist);
        writeFile(path("music/playlist_cache.json"), QByteArray(100000, 'x'));
        QVERIFY(playlist.saveToCache(path("music/playlist_cache.json")));
        QCOMPARE(QDir(path("music")).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{"playlist_cache.json"});
        Playlist loaded;
        QVERIFY(loaded.loadFromCache(path("music/playlist_cache.json")));
        QCOMPARE(storedFields(loaded.getTracks()), storedFields(playlist.getTracks()));
    }

    void saveToMissingFolderFails()
    {
        Playlist playlist;
        preload(playlist);
        QVERIFY(!playlist.saveToCache(path("no/such/folder/playlist_cache.json")));
        QVERIFY(!QFileInfo::exists(path("no")));
        // A bare "/playlist_cache.json" (no folder chosen) is never written
        // by these tests; a directory in the way is a failure too.
        QVERIFY(QDir().mkpath(path("taken/playlist_cache.json")));
        QVERIFY(!playlist.saveToCache(path("taken/playlist_cache.json")));
    }

#ifdef Q_OS_UNIX
    void failedWriteKeepsPreviousCache()
    {
        // A write that fails part-way (full disk, quota, file size limit) must
        // return false and leave the previous cache whole. The file size limit
        // makes the failure real even for root.
        Playlist old;
        preload(old);
        const QString cache = path("music/playlist_cache.json");
        QVERIFY(QDir().mkpath(path("music")));
        QVERIFY(old.saveToCache(cache));
        const QByteArray before = readAll(cache);
        QVERIFY(before.size() < 4096);

        QJsonArray tracks;
        const QString a = touch("big.mp3");
        for (int i = 0; i < 2000; ++i)
            tracks.append(entry(a, QStringLiteral("Artist %1").arg(i), "Title", "Album", "1:00"));
        writeFile(path("big.json"), cacheJson(tracks));
        Playlist big;
        QVERIFY(big.loadFromCache(path("big.json")));

        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit limited = saved;
        limited.rlim_cur = 8192;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const bool result = big.saveToCache(cache);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!result);
        QCOMPARE(readAll(cache), before);
        QCOMPARE(QDir(path("music")).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{"playlist_cache.json"});
        Playlist reloaded;
        QVERIFY(reloaded.loadFromCache(cache));
        QCOMPARE(storedFields(reloaded.getTracks()), storedFields(old.getTracks()));
    }
#endif
};

QTEST_GUILESS_MAIN(TestCache)
#include "test_cache.moc"
