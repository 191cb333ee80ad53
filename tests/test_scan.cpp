// Folder scans on the worker: file selection, order, progress, tags and
// lengths of real files, updates and overlapping scans. Broken, special and
// oddly named files are the hostile corpus's (test_hostile).

#include "Playlist.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace TestSupport;

class TestScan : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;

    QString folder() const { return dir->path(); }
    QString path(const QString &relative) const { return dir->filePath(relative); }

private slots:
    void initTestCase() { TestSupport::isolateSettings(); }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void cleanup()
    {
        finishBackgroundWork();
        dir.reset();
    }

    void fixtureTags_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("duration");
        // The MP3 and Ogg files also carry a different lead performer: the
        // record takes the album artist.
        QTest::newRow("mp3") << "tone.mp3" << "Mp3 Album Artist" << "Mp3 Tone" << "Fixture Album" << "0:01";
        QTest::newRow("ogg") << "tone.ogg" << "Ogg Album Artist" << "Ogg Tone" << "Fixture Album" << "0:01";
        QTest::newRow("flac") << "tone.flac" << QString::fromUtf8("Flåc Ärtist") << QString::fromUtf8("Flac Tøne ♪")
                              << "Fixture Album" << "0:01";
        QTest::newRow("wav") << "tone.wav" << "Wav Album Artist" << "Wav Tone" << "Fixture Album" << "0:01";
        // INFO has no album artist; its IART is the performer.
        QTest::newRow("wav INFO chunk") << "info-tagged.wav" << "" << "Info Tone" << "Info Album" << "0:00";
        QTest::newRow("untagged") << "untagged.mp3" << "" << "" << "" << "0:01";
        QTest::newRow("title only") << "title-only.ogg" << "" << "Only A Title" << "" << "0:01";
    }

    void fixtureTags()
    {
        QFETCH(QString, name);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(QString, album);
        QFETCH(QString, duration);

        // Read directly and through a scan, from a folder with a non-ASCII name.
        const QString target = path(QString::fromUtf8("Ünïcødé Ördner/トラック ♪ ") + name);
        QVERIFY(copyFixture(name, target));

        Playlist playlist;
        const auto calls = scanFull(playlist, folder());
        QCOMPARE(calls->finished, 1);
        QCOMPARE(calls->progress, QList<int>{1});
        QCOMPARE(playlist.getTracks().size(), 1);
        for (const Playlist::TrackInfo &track : {Playlist::readTrack(target), playlist.getTracks().constFirst()}) {
            QCOMPARE(track.artist, artist);
            QCOMPARE(track.title, title);
            QCOMPARE(track.album, album);
            QCOMPARE(track.duration, duration);
            QCOMPARE(track.url, QUrl::fromLocalFile(target));
        }
        // Derived fields are in place once the scan has been installed.
        const Playlist::TrackInfo track = playlist.getTracks().constFirst();
        QCOMPARE(track.fileName, QFileInfo(target).fileName());
        QCOMPARE(track.displayName, playlist.getList().constFirst());
        QVERIFY(!track.displayName.isEmpty());
        QVERIFY(track.searchKey.endsWith(QFileInfo(target).fileName().toCaseFolded()));
    }

    void longLengthsNotWrapped_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("duration");
        QTest::newRow("62:05") << 3725 << "62:05";
        QTest::newRow("75:00") << 4500 << "75:00";
    }

    void longLengthsNotWrapped()
    {
        QFETCH(int, seconds);
        QFETCH(QString, duration);
        writeFile(path("long.wav"), silentWav(seconds, 8));
        Playlist playlist;
        scanFull(playlist, folder());
        QCOMPARE(playlist.getTracks().size(), 1);
        QCOMPARE(playlist.getTracks().constFirst().duration, duration);
        // A file without tags shows its name, whatever its length.
        QCOMPARE(playlist.getList(), QStringList{"long.wav"});
    }

    void progressAndOrder_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<QList<int>>("progress");
        QTest::newRow("250") << 250 << QList<int>{100, 200, 250};
        QTest::newRow("200 reports the total twice") << 200 << QList<int>{100, 200, 200};
        QTest::newRow("99") << 99 << QList<int>{99};
        QTest::newRow("1") << 1 << QList<int>{1};
        QTest::newRow("empty folder") << 0 << QList<int>{0};
    }

    void progressAndOrder()
    {
        QFETCH(int, files);
        QFETCH(QList<int>, progress);
        static const QStringList kinds = {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"};
        for (int i = 0; i < files; ++i) {
            const QString kind = kinds[i % kinds.size()];
            QVERIFY(copyFixture(kind, path(QStringLiteral("d%1/track%2.%3")
                                               .arg(i % 7)
                                               .arg(i, 3, 10, QLatin1Char('0'))
                                               .arg(QFileInfo(kind).suffix()))));
        }
        Playlist playlist;
        const auto calls = scanFull(playlist, folder());
        QCOMPARE(calls->finished, 1);
        QCOMPARE(calls->progress, progress);
        // Every progress call reaches the GUI thread before the completion.
        QCOMPARE(calls->progressAtFinish, progress);
        QCOMPARE(playlist.getTracks().size(), files);
        QCOMPARE(playlist.knownFilePaths(), iteratorOrder(folder()));
        QCOMPARE(playlist.getList().size(), files);
        for (const Playlist::TrackInfo &track : playlist.getTracks())
            QCOMPARE(track.album, QString("Fixture Album"));
    }

    void scanWithoutCallbacks()
    {
        QVERIFY(copyFixture("tone.mp3", path("a.mp3")));
        Playlist playlist;
        playlist.loadFromFolder(folder(), {}, {});
        QTRY_VERIFY_WITH_TIMEOUT(noScanPending(playlist) && playlist.getTracks().size() == 1, scanTimeoutMs);
        playlist.updateFromFolder(folder(), {}, {});
        QTRY_VERIFY_WITH_TIMEOUT(noScanPending(playlist) && playlist.getTracks().size() == 2, scanTimeoutMs);
    }

    void extensions()
    {
        const QStringList included = {"upper.MP3", "mixed.Flac", "shout.OGG", "wave.WaV", "plain.wav"};
        const QStringList excluded = {"other.m4a", "other.wma", "backup.mp3.bak", "mp3",
                                      "noext",     "tone.mp33", ".hidden.mp3"};
        for (const QString &name : included + excluded)
            QVERIFY(copyFixture("tone.wav", path(name)));
        Playlist playlist;
        scanFull(playlist, folder());
        QStringList found;
        for (const QString &known : playlist.knownFilePaths())
            found.append(QFileInfo(known).fileName());
        found.sort();
        QStringList expected = included;
        expected.sort();
        QCOMPARE(found, expected);
    }

    void nestedAndNonAsciiPaths()
    {
        const QStringList names = {"top.mp3", "a/b/c/d/deep.ogg", QString::fromUtf8("Ärger/Öl und Ümlaut.flac"),
                                   QString::fromUtf8("日本語/曲 ♪.wav"), "with space/and 'quote\".mp3"};
        const QStringList fixtures = {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav", "tone.mp3"};
        QStringList expected;
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY(copyFixture(fixtures[i], path(names[i])));
            expected.append(path(names[i]));
        }
        Playlist playlist;
        scanFull(playlist, folder());
        const QStringList known = playlist.knownFilePaths();
        QCOMPARE(known, iteratorOrder(folder()));
        QCOMPARE(QSet<QString>(known.begin(), known.end()), QSet<QString>(expected.begin(), expected.end()));
        // Tags were read through every one of these paths.
        for (const Playlist::TrackInfo &track : playlist.getTracks())
            QCOMPARE(track.album, QString("Fixture Album"));
        // The path form is the iterator's: the folder, forward slashes, no "./".
        for (const QString &p : known) {
            QVERIFY(p.startsWith(folder() + '/'));
            QVERIFY(!p.contains('\\'));
        }
    }

    void unreadableFileGivesRecord()
    {
#ifdef Q_OS_UNIX
        if (geteuid() == 0)
            QSKIP("root reads every file");
#endif
        QVERIFY(copyFixture("tone.mp3", path("locked.mp3")));
        QVERIFY(QFile::setPermissions(path("locked.mp3"), QFileDevice::WriteOwner));
        Playlist playlist;
        scanFull(playlist, folder());
        QCOMPARE(playlist.getTracks().size(), 1);
        QCOMPARE(playlist.getTracks().constFirst().duration, QString("0:00"));
        QCOMPARE(playlist.getList(), QStringList{"locked.mp3"});
    }

    void missingFolder()
    {
        Playlist playlist;
        QVERIFY(copyFixture("tone.mp3", path("keep/a.mp3")));
        scanFull(playlist, path("keep"));
        QCOMPARE(playlist.getTracks().size(), 1);

        // A full scan of a missing folder installs an empty library.
        const auto full = scanFull(playlist, path("does/not/exist"));
        QCOMPARE(full->finished, 1);
        QCOMPARE(full->progress, QList<int>{0});
        QVERIFY(playlist.getTracks().isEmpty());

        // An update of one appends nothing and still reports completion.
        scanFull(playlist, path("keep"));
        QCOMPARE(playlist.getTracks().size(), 1);
        const auto update = scanUpdate(playlist, path("does/not/exist"), playlist.knownFilePaths());
        QCOMPARE(update->finished, 1);
        QCOMPARE(playlist.getTracks().size(), 1);
    }

    void emptyFolderPathScansNothing()
    {
        // Never the working directory, which may hold anything.
        QVERIFY(copyFixture("tone.mp3", path("cwd.mp3")));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder()));
        Playlist playlist;
        const auto full = scanFull(playlist, QString());
        const auto update = scanUpdate(playlist, QString(), {});
        QDir::setCurrent(previous);
        QCOMPARE(full->finished, 1);
        QCOMPARE(full->progress, QList<int>{0});
        QCOMPARE(update->finished, 1);
        QVERIFY(playlist.getTracks().isEmpty());
    }

    void updateAppendsOnlyUnknownPaths()
    {
        QVERIFY(copyFixture("tone.mp3", path("music/a.mp3")));
        QVERIFY(copyFixture("tone.ogg", path("music/sub/b.ogg")));
        Playlist playlist;
        scanFull(playlist, path("music"));
        const QList<Playlist::TrackInfo> before = playlist.getTracks();
        QCOMPARE(before.size(), 2);

        // Nothing new: nothing appended, completion still reported.
        auto calls = scanUpdate(playlist, path("music"), playlist.knownFilePaths());
        QCOMPARE(calls->finished, 1);
        QCOMPARE(playlist.knownFilePaths().size(), 2);

        // New files, one differing from a known path only in case, one renamed.
        QVERIFY(copyFixture("tone.flac", path("music/c.flac")));
        QVERIFY(copyFixture("tone.wav", path("music/sub/new/d.wav")));
        QVERIFY(copyFixture("tone.mp3", path("music/A.mp3")));
        QVERIFY(QFile::rename(path("music/sub/b.ogg"), path("music/sub/renamed.ogg")));

        calls = scanUpdate(playlist, path("music"), playlist.knownFilePaths());
        QCOMPARE(calls->finished, 1);
        QCOMPARE(calls->progress, QList<int>{}); // updates report no progress

        QStringList expected;
        for (const Playlist::TrackInfo &track : before)
            expected.append(track.url.toLocalFile());
        for (const QString &p : iteratorOrder(path("music"))) {
            if (!expected.contains(p))
                expected.append(p);
        }
        QCOMPARE(expected.size(), 6);
        QVERIFY(expected.contains(path("music/A.mp3")));
        QCOMPARE(playlist.knownFilePaths(), expected);

        // The old records are untouched, the new ones are indexed.
        const QList<Playlist::TrackInfo> after = playlist.getTracks();
        for (int i = 0; i < before.size(); ++i) {
            QCOMPARE(after[i].url, before[i].url);
            QCOMPARE(after[i].title, before[i].title);
            QCOMPARE(after[i].displayName, before[i].displayName);
        }
        for (const Playlist::TrackInfo &track : after) {
            QVERIFY(!track.displayName.isEmpty());
            QVERIFY(!track.searchKey.isEmpty());
            QCOMPARE(track.fileName, QFileInfo(track.url.toLocalFile()).fileName());
        }
    }

    void updateCompletionSeesNewRecords()
    {
        QVERIFY(copyFixture("tone.mp3", path("a.mp3")));
        Playlist playlist;
        QStringList seen;
        bool done = false;
        playlist.updateFromFolder(folder(), {}, [&] {
            seen = playlist.getList();
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, scanTimeoutMs);
        QCOMPARE(seen, QStringList{"Mp3 Album Artist - Mp3 Tone (0:01)"});
    }

    // An older scan that ends after a newer one was started is dropped
    // whichever finishes first: no callback, no change to the library. Scans
    // one after another all complete (see missingFolder).
    void overlappingFullScans_data()
    {
        QTest::addColumn<int>("olderFiles");
        QTest::addColumn<int>("newerFiles");
        QTest::newRow("older is slower") << 300 << 2;
        QTest::newRow("older is quicker") << 1 << 300;
    }

    void overlappingFullScans()
    {
        QFETCH(int, olderFiles);
        QFETCH(int, newerFiles);
        for (int i = 0; i < olderFiles; ++i)
            QVERIFY(copyFixture("tone.wav", path(QStringLiteral("old/%1.wav").arg(i))));
        for (int i = 0; i < newerFiles; ++i)
            QVERIFY(copyFixture("tone.mp3", path(QStringLiteral("new/%1.mp3").arg(i))));

        Playlist playlist;
        auto older = std::make_shared<ScanCalls>();
        auto newer = std::make_shared<ScanCalls>();
        startFull(playlist, path("old"), older);
        startFull(playlist, path("new"), newer);
        QTRY_VERIFY_WITH_TIMEOUT(newer->finished == 1 && noScanPending(playlist), scanTimeoutMs);
        QCoreApplication::processEvents();

        QCOMPARE(older->finished, 0);
        QCOMPARE(older->progress, QList<int>{});
        QCOMPARE(newer->progress.constLast(), newerFiles);
        QCOMPARE(playlist.knownFilePaths(), iteratorOrder(path("new")));
    }

    void updateOvertakenByFullScan()
    {
        QVERIFY(copyFixture("tone.mp3", path("old/a.mp3")));
        QVERIFY(copyFixture("tone.mp3", path("new/b.mp3")));
        Playlist playlist;
        auto update = std::make_shared<ScanCalls>();
        auto full = std::make_shared<ScanCalls>();
        startUpdate(playlist, path("old"), {}, update);
        startFull(playlist, path("new"), full);
        QTRY_VERIFY_WITH_TIMEOUT(full->finished == 1 && noScanPending(playlist), scanTimeoutMs);
        QCOMPARE(update->finished, 0);
        QCOMPARE(playlist.knownFilePaths(), QStringList{path("new/b.mp3")});
    }

    void fullScanOvertakenByUpdate()
    {
        QVERIFY(copyFixture("tone.mp3", path("lib/a.mp3")));
        Playlist playlist;
        scanFull(playlist, path("lib"));
        QVERIFY(copyFixture("tone.ogg", path("lib/b.ogg")));
        for (int i = 0; i < 50; ++i)
            QVERIFY(copyFixture("tone.wav", path(QStringLiteral("other/%1.wav").arg(i))));

        auto full = std::make_shared<ScanCalls>();
        auto update = std::make_shared<ScanCalls>();
        startFull(playlist, path("other"), full);
        startUpdate(playlist, path("lib"), playlist.knownFilePaths(), update);
        QTRY_VERIFY_WITH_TIMEOUT(update->finished == 1 && noScanPending(playlist), scanTimeoutMs);
        QCOMPARE(full->finished, 0);
        QCOMPARE(full->progress, QList<int>{});
        QCOMPARE(playlist.knownFilePaths(), (QStringList{path("lib/a.mp3"), path("lib/b.ogg")}));
    }

    void destroyedDuringScan()
    {
        for (int i = 0; i < 300; ++i)
            QVERIFY(copyFixture("tone.wav", path(QStringLiteral("%1.wav").arg(i))));
        auto calls = std::make_shared<ScanCalls>();
        auto *playlist = new Playlist;
        startFull(*playlist, folder(), calls);
        delete playlist;
        finishBackgroundWork();
        QCOMPARE(calls->finished, 0);
        QCOMPARE(calls->progress, QList<int>{});
    }
};

QTEST_GUILESS_MAIN(TestScan)
#include "test_scan.moc"
