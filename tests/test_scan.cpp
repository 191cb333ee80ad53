// Folder scans on the worker: file selection, order, progress, tags and
// lengths of real files, bad files, updates and overlapping scans.

#include "Playlist.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QFutureWatcherBase>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtEndian>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int scanTimeoutMs = 120000;

/** What a scan reported back, filled by its callbacks. */
struct Calls {
    QList<int> progress;
    QList<int> progressAtFinish; // what had arrived when the completion ran
    int finished = 0;
};

QStringList iteratorOrder(const QString &folder)
{
    QStringList paths;
    QDirIterator it(folder, {"*.mp3", "*.ogg", "*.wav", "*.flac"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    return paths;
}

/** Starts a full scan whose callbacks count into @p calls. */
void startFull(Playlist &playlist, const QString &folder, const std::shared_ptr<Calls> &calls)
{
    playlist.loadFromFolder(
        folder, [calls](int found) { calls->progress.append(found); },
        [calls] {
            calls->progressAtFinish = calls->progress;
            ++calls->finished;
        });
}

void startUpdate(Playlist &playlist, const QString &folder, const QStringList &known,
                 const std::shared_ptr<Calls> &calls)
{
    playlist.updateFromFolder(folder, known, [calls] { ++calls->finished; });
}

bool noScanPending(const Playlist &playlist)
{
    return playlist.findChildren<QFutureWatcherBase *>().isEmpty();
}

/** A full scan to the end; returns its calls. */
std::shared_ptr<Calls> scanFull(Playlist &playlist, const QString &folder)
{
    auto calls = std::make_shared<Calls>();
    startFull(playlist, folder, calls);
    if (!QTest::qWaitFor([&] { return calls->finished > 0 && noScanPending(playlist); },
                         scanTimeoutMs))
        qWarning("scan of %s did not finish", qPrintable(folder));
    return calls;
}

std::shared_ptr<Calls> scanUpdate(Playlist &playlist, const QString &folder)
{
    auto calls = std::make_shared<Calls>();
    startUpdate(playlist, folder, playlist.knownFilePaths(), calls);
    if (!QTest::qWaitFor([&] { return calls->finished > 0 && noScanPending(playlist); },
                         scanTimeoutMs))
        qWarning("update of %s did not finish", qPrintable(folder));
    return calls;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

/**
 * A silent 8-bit mono WAV at 8 samples per second: an hour-long track in a
 * few tens of KB, so that long lengths can be read from a real file.
 */
QByteArray longWav(int seconds)
{
    const quint32 rate = 8;
    const quint32 dataSize = rate * quint32(seconds);
    QByteArray wav;
    const auto u32 = [&wav](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        wav.append(b, 4);
    };
    const auto u16 = [&wav](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        wav.append(b, 2);
    };
    wav.append("RIFF");
    u32(36 + dataSize);
    wav.append("WAVEfmt ");
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(rate);
    u32(rate); // bytes per second
    u16(1);    // block align
    u16(8);    // bits per sample
    wav.append("data");
    u32(dataSize);
    wav.append(QByteArray(int(dataSize), char(0x80)));
    return wav;
}

} // namespace

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
        // No scan of one test may spill into the next.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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
        QTest::newRow("mp3") << "tone.mp3" << "Mp3 Album Artist" << "Mp3 Tone" << "Fixture Album"
                             << "0:01";
        QTest::newRow("ogg") << "tone.ogg" << "Ogg Album Artist" << "Ogg Tone" << "Fixture Album"
                             << "0:01";
        QTest::newRow("flac") << "tone.flac" << QString::fromUtf8("Flåc Ärtist")
                              << QString::fromUtf8("Flac Tøne ♪") << "Fixture Album" << "0:01";
        QTest::newRow("wav") << "tone.wav" << "Wav Album Artist" << "Wav Tone" << "Fixture Album"
                             << "0:01";
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
        QVERIFY(TestSupport::copyFixture(name, target));

        const Playlist::TrackInfo direct = Playlist::readTrack(target);
        QCOMPARE(direct.artist, artist);
        QCOMPARE(direct.title, title);
        QCOMPARE(direct.album, album);
        QCOMPARE(direct.duration, duration);
        QCOMPARE(direct.url, QUrl::fromLocalFile(target));

        Playlist playlist;
        const auto calls = scanFull(playlist, folder());
        QCOMPARE(calls->finished, 1);
        QCOMPARE(calls->progress, QList<int>{1});
        const QList<Playlist::TrackInfo> tracks = playlist.getTracks();
        QCOMPARE(tracks.size(), 1);
        QCOMPARE(tracks[0].artist, artist);
        QCOMPARE(tracks[0].title, title);
        QCOMPARE(tracks[0].album, album);
        QCOMPARE(tracks[0].duration, duration);
        QCOMPARE(tracks[0].url, QUrl::fromLocalFile(target));
        // Derived fields are in place once the scan has been installed.
        QCOMPARE(tracks[0].fileName, QFileInfo(target).fileName());
        QVERIFY(!tracks[0].displayName.isEmpty());
        QCOMPARE(tracks[0].displayName, playlist.getList().constFirst());
        QVERIFY(tracks[0].searchKey.endsWith(QFileInfo(target).fileName().toCaseFolded()));
    }

    void longLengthsNotWrapped_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("duration");
        QTest::newRow("3:07") << 187 << "3:07";
        QTest::newRow("59:59") << 3599 << "59:59";
        QTest::newRow("62:05") << 3725 << "62:05";
        QTest::newRow("75:00") << 4500 << "75:00";
    }

    void longLengthsNotWrapped()
    {
        QFETCH(int, seconds);
        QFETCH(QString, duration);
        writeFile(path("long.wav"), longWav(seconds));
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
    }

    void progressAndOrder()
    {
        QFETCH(int, files);
        QFETCH(QList<int>, progress);
        static const QStringList kinds = {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"};
        for (int i = 0; i < files; ++i) {
            const QString kind = kinds[i % kinds.size()];
            const QString name = QStringLiteral("d%1/track%2.%3")
                                     .arg(i % 7)
                                     .arg(i, 3, 10, QLatin1Char('0'))
                                     .arg(QFileInfo(kind).suffix());
            QVERIFY(TestSupport::copyFixture(kind, path(name)));
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

    void emptyFolderReportsZero()
    {
        Playlist playlist;
        const auto calls = scanFull(playlist, folder());
        QCOMPARE(calls->finished, 1);
        QCOMPARE(calls->progress, QList<int>{0});
        QVERIFY(playlist.getTracks().isEmpty());
    }

    void scanWithoutCallbacks()
    {
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("a.mp3")));
        Playlist playlist;
        playlist.loadFromFolder(folder(), {}, {});
        QTRY_VERIFY_WITH_TIMEOUT(noScanPending(playlist) && playlist.getTracks().size() == 1,
                                 scanTimeoutMs);
        playlist.updateFromFolder(folder(), {}, {});
        QTRY_VERIFY_WITH_TIMEOUT(noScanPending(playlist) && playlist.getTracks().size() == 2,
                                 scanTimeoutMs);
    }

    void extensions()
    {
        const QStringList included = {"upper.MP3", "mixed.Flac", "shout.OGG", "wave.WaV",
                                      "plain.wav"};
        const QStringList excluded = {"other.m4a", "other.wma", "backup.mp3.bak", "mp3",
                                      "noext", "tone.mp33", ".hidden.mp3"};
        for (const QString &name : included + excluded)
            QVERIFY(TestSupport::copyFixture("tone.wav", path(name)));
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
        const QStringList names = {
            "top.mp3",
            "a/b/c/d/deep.ogg",
            QString::fromUtf8("Ärger/Öl und Ümlaut.flac"),
            QString::fromUtf8("日本語/曲 ♪.wav"),
            "with space/and 'quote\".mp3",
        };
        const QStringList fixtures = {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav",
                                      "tone.mp3"};
        for (int i = 0; i < names.size(); ++i)
            QVERIFY(TestSupport::copyFixture(fixtures[i], path(names[i])));
        Playlist playlist;
        scanFull(playlist, folder());
        const QStringList known = playlist.knownFilePaths();
        QCOMPARE(known, iteratorOrder(folder()));
        QStringList expected;
        for (const QString &name : names)
            expected.append(path(name));
        QCOMPARE(QSet<QString>(known.begin(), known.end()),
                 QSet<QString>(expected.begin(), expected.end()));
        // Tags were read through every one of these paths.
        for (const Playlist::TrackInfo &track : playlist.getTracks())
            QCOMPARE(track.album, QString("Fixture Album"));
        // The path form is the iterator's: the folder, forward slashes, no "./".
        for (const QString &p : known) {
            QVERIFY(p.startsWith(folder() + '/'));
            QVERIFY(!p.contains('\\'));
        }
    }

#ifdef Q_OS_UNIX
    void symlinkLoopNotFollowed()
    {
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("music/one.mp3")));
        QVERIFY(QFile::link(path("music"), path("music/loop")));
        QVERIFY(QDir().mkpath(path("music/sub")));
        QVERIFY(QFile::link(path("music"), path("music/sub/again")));
        Playlist playlist;
        const auto calls = scanFull(playlist, path("music"));
        QCOMPARE(calls->finished, 1);
        QCOMPARE(playlist.knownFilePaths(), QStringList{path("music/one.mp3")});
    }

    void specialFilesDoNotBlock()
    {
        // Opening a FIFO for reading waits for a writer: the scan must not.
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("real.mp3")));
        QCOMPARE(mkfifo(QFile::encodeName(path("pipe.mp3")).constData(), 0600), 0);
        QVERIFY(QFile::link(path("pipe.mp3"), path("link-to-pipe.mp3")));
        QVERIFY(QFile::link(path("nowhere.mp3"), path("dangling.mp3")));
        Playlist playlist;
        const auto calls = scanFull(playlist, folder());
        QCOMPARE(calls->finished, 1);
        QCOMPARE(playlist.knownFilePaths(), iteratorOrder(folder()));
        QVERIFY(!playlist.knownFilePaths().contains(path("pipe.mp3")));
        for (const Playlist::TrackInfo &track : playlist.getTracks()) {
            if (track.fileName == "link-to-pipe.mp3") {
                QCOMPARE(track.duration, QString("0:00"));
                QCOMPARE(track.displayName, track.fileName);
            } else {
                QCOMPARE(track.fileName, QString("real.mp3"));
                QCOMPARE(track.title, QString("Mp3 Tone"));
            }
        }
    }
#endif

    void badFilesStillGiveRecords()
    {
        writeFile(path("empty.mp3"), {});
        writeFile(path("empty.flac"), {});
        writeFile(path("text.ogg"), "this is not audio\n");
        QRandomGenerator random(12345);
        for (const QString &name : {"noise.mp3", "noise.ogg", "noise.flac", "noise.wav"}) {
            QByteArray bytes(8192, Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
            writeFile(path(name), bytes);
        }
        // Cut-off copies of real files: headers only, half the file, all but a byte.
        for (const QString &name : {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"}) {
            QFile source(TestSupport::fixture(name));
            QVERIFY(source.open(QIODevice::ReadOnly));
            const QByteArray whole = source.readAll();
            for (const qsizetype cut : {qsizetype(12), qsizetype(64), whole.size() / 2,
                                        whole.size() - 1})
                writeFile(path(QStringLiteral("cut%1-%2").arg(cut).arg(name)), whole.left(cut));
        }
        const QStringList all = iteratorOrder(folder());
        QCOMPARE(all.size(), 3 + 4 + 16);

        Playlist playlist;
        const auto calls = scanFull(playlist, folder());
        QCOMPARE(calls->finished, 1);
        QCOMPARE(playlist.knownFilePaths(), all);
        QCOMPARE(playlist.getList().size(), all.size());
        for (const Playlist::TrackInfo &track : playlist.getTracks()) {
            QVERIFY(!track.duration.isEmpty());
            if (track.fileName.startsWith("empty") || track.fileName.startsWith("text")
                || track.fileName.startsWith("noise")) {
                QVERIFY2(track.artist.isEmpty() && track.title.isEmpty() && track.album.isEmpty(),
                         qPrintable(track.fileName));
                QCOMPARE(track.displayName, track.fileName);
            }
            if (track.fileName.startsWith("empty") || track.fileName.startsWith("text"))
                QCOMPARE(track.duration, QString("0:00"));
        }
    }

    void unreadableFileGivesRecord()
    {
#ifdef Q_OS_UNIX
        if (geteuid() == 0)
            QSKIP("root reads every file");
#endif
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("locked.mp3")));
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
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("keep/a.mp3")));
        scanFull(playlist, path("keep"));
        QCOMPARE(playlist.getTracks().size(), 1);

        // A full scan of a missing folder installs an empty library.
        const auto full = scanFull(playlist, path("does/not/exist"));
        QCOMPARE(full->finished, 1);
        QCOMPARE(full->progress, QList<int>{0});
        QVERIFY(playlist.getTracks().isEmpty());

        // An update of one appends nothing and still reports completion.
        scanFull(playlist, path("keep"));
        const auto update = scanUpdate(playlist, path("does/not/exist"));
        QCOMPARE(update->finished, 1);
        QCOMPARE(playlist.getTracks().size(), 1);
    }

    void emptyFolderPathScansNothing()
    {
        // Never the working directory, which may hold anything.
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("cwd.mp3")));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder()));
        Playlist playlist;
        const auto full = scanFull(playlist, QString());
        const auto update = scanUpdate(playlist, QString());
        QDir::setCurrent(previous);
        QCOMPARE(full->finished, 1);
        QCOMPARE(full->progress, QList<int>{0});
        QCOMPARE(update->finished, 1);
        QVERIFY(playlist.getTracks().isEmpty());
    }

    void updateAppendsOnlyUnknownPaths()
    {
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("music/a.mp3")));
        QVERIFY(TestSupport::copyFixture("tone.ogg", path("music/sub/b.ogg")));
        Playlist playlist;
        scanFull(playlist, path("music"));
        const QList<Playlist::TrackInfo> before = playlist.getTracks();
        QCOMPARE(before.size(), 2);

        // Nothing new: nothing appended, completion still reported.
        auto calls = scanUpdate(playlist, path("music"));
        QCOMPARE(calls->finished, 1);
        QCOMPARE(playlist.knownFilePaths().size(), 2);

        // New files, one differing from a known path only in case, one renamed.
        QVERIFY(TestSupport::copyFixture("tone.flac", path("music/c.flac")));
        QVERIFY(TestSupport::copyFixture("tone.wav", path("music/sub/new/d.wav")));
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("music/A.mp3")));
        QVERIFY(QFile::rename(path("music/sub/b.ogg"), path("music/sub/renamed.ogg")));

        calls = scanUpdate(playlist, path("music"));
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
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("a.mp3")));
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
    // whichever finishes first: no callback, no change to the library.
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
            QVERIFY(TestSupport::copyFixture("tone.wav", path(QStringLiteral("old/%1.wav").arg(i))));
        for (int i = 0; i < newerFiles; ++i)
            QVERIFY(TestSupport::copyFixture("tone.mp3", path(QStringLiteral("new/%1.mp3").arg(i))));

        Playlist playlist;
        auto older = std::make_shared<Calls>();
        auto newer = std::make_shared<Calls>();
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
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("old/a.mp3")));
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("new/b.mp3")));
        Playlist playlist;
        auto update = std::make_shared<Calls>();
        auto full = std::make_shared<Calls>();
        startUpdate(playlist, path("old"), {}, update);
        startFull(playlist, path("new"), full);
        QTRY_VERIFY_WITH_TIMEOUT(full->finished == 1 && noScanPending(playlist), scanTimeoutMs);
        QCOMPARE(update->finished, 0);
        QCOMPARE(playlist.knownFilePaths(), QStringList{path("new/b.mp3")});
    }

    void fullScanOvertakenByUpdate()
    {
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("lib/a.mp3")));
        Playlist playlist;
        scanFull(playlist, path("lib"));
        QVERIFY(TestSupport::copyFixture("tone.ogg", path("lib/b.ogg")));
        for (int i = 0; i < 50; ++i)
            QVERIFY(TestSupport::copyFixture("tone.wav", path(QStringLiteral("other/%1.wav").arg(i))));

        auto full = std::make_shared<Calls>();
        auto update = std::make_shared<Calls>();
        startFull(playlist, path("other"), full);
        startUpdate(playlist, path("lib"), playlist.knownFilePaths(), update);
        QTRY_VERIFY_WITH_TIMEOUT(update->finished == 1 && noScanPending(playlist), scanTimeoutMs);
        QCOMPARE(full->finished, 0);
        QCOMPARE(full->progress, QList<int>{});
        QCOMPARE(playlist.knownFilePaths(), (QStringList{path("lib/a.mp3"), path("lib/b.ogg")}));
    }

    void scansInSequenceAllComplete()
    {
        // Only overlap drops a scan: one started after the previous ended runs normally.
        QVERIFY(TestSupport::copyFixture("tone.mp3", path("a.mp3")));
        Playlist playlist;
        for (int i = 0; i < 3; ++i) {
            const auto calls = scanFull(playlist, folder());
            QCOMPARE(calls->finished, 1);
            QCOMPARE(playlist.getTracks().size(), 1);
        }
    }

    void destroyedDuringScan()
    {
        for (int i = 0; i < 300; ++i)
            QVERIFY(TestSupport::copyFixture("tone.wav", path(QStringLiteral("%1.wav").arg(i))));
        auto calls = std::make_shared<Calls>();
        auto *playlist = new Playlist;
        startFull(*playlist, folder(), calls);
        delete playlist;
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(calls->finished, 0);
        QCOMPARE(calls->progress, QList<int>{});
    }
};

QTEST_GUILESS_MAIN(TestScan)
#include "test_scan.moc"
