// The folder watcher on real folders: which changes reach the library, in how many batches, the
// watch limit. Built once per backend (CORVEL_TEST_WATCH_BACKEND names it).

#include "TestSupport.h"
#include "library/watcher/FolderWatcher.h"

#include <QtTest>

namespace {

// QFileSystemWatcher tells of folders only: a file rewritten in place leaves its folder as it was.
const bool seesRewrites = QLatin1String(CORVEL_TEST_WATCH_BACKEND) != "PortableWatchBackend";

/** Runs one step (see changes_data()) below @p root; returns whether it did what it says. */
bool run(FolderWatcher &watcher, const QString &root, const QString &step, const QString &log)
{
    const QStringList words = step.split(' ');
    const QString path = QDir::cleanPath(root + '/' + words.value(1));
    if (words[0] == "write")
        return TestSupport::copyFixture("tone.mp3", path) == path;
    if (words[0] == "remove")
        return QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
    if (words[0] == "move")
        return QDir().rename(path, QDir::cleanPath(root + '/' + words.value(2)));
    if (words[0] == "read")
        return Playlist::readTrack(path).title == "Mp3 Tone";
    if (words[0] == "save")
        return Playlist().saveToCache(path);
    if (words[0] == "rewrite") {
        QFile file(path);
        return file.open(QIODevice::ReadWrite) && file.seek(100) && file.write("x") == 1;
    }
    // A file written in two parts, held open between them.
    static QFile held;
    if (words[0] == "begin") {
        held.setFileName(path);
        return held.open(QIODevice::WriteOnly) && held.write(QByteArray(1000, 'a')) == 1000
            && held.flush();
    }
    if (words[0] == "pause") {
        QTest::qWait(300);
        return true;
    }
    if (words[0] == "finish") {
        const bool done = held.write(QByteArray(1000, 'b')) == 1000;
        held.close();
        return done;
    }
    if (words[0] == "limit") {
        watcher.setWatchLimit(words.value(1).toInt());
        watcher.watch(root);
        return true;
    }
    const qsizetype before = log.size();
    return QTest::qWaitFor([&] { return log.size() > before; }, 20000);
}

} // namespace

class TestWatcher : public QObject {
    Q_OBJECT

private slots:
    void changes_data()
    {
        // Steps in Music, which holds old.mp3 and Old/old.ogg, once it is watched (any other word
        // waits for the next signal) -> what the watcher said then: c changed, r ready, g gone,
        // b back, l limit reached.
        QTest::addColumn<QString>("steps");
        QTest::newRow("burst, any case") << "write a.mp3, write b.MP3, write Old/c.Flac -> c";
        QTest::newRow("remove below") << "remove Old/old.ogg -> c";
        QTest::newRow("rename") << "move old.mp3 new.mp3 -> c";
        if (seesRewrites)
            QTest::newRow("rewrite in place") << "rewrite old.mp3 -> c";
        QTest::newRow("tag reader opens read-write") << "read old.mp3 -> ";
        QTest::newRow("cache, other files")
            << "save playlist_cache.json, write cover.jpg, write .a.mp3 -> ";
        QTest::newRow("new folder") << "write New/a.mp3, wait, write New/b.mp3 -> cc";
        QTest::newRow("moved in") << "write ../In/a.mp3, move ../In In, wait, write In/b.mp3 -> cc";
        QTest::newRow("moved out") << "move Old ../Old, wait, write ../Old/b.mp3 -> c";
        // A folder whose name begins another's: the other is still watched.
        QTest::newRow("sibling removed")
            << "write Old2/a.mp3, wait, remove Old, wait, write Old2/b.mp3 -> ccc";
        QTest::newRow("sibling moved out")
            << "write Old2/a.mp3, wait, move Old ../Old, wait, write Old2/b.mp3 -> ccc";
        // Seen once whole (the folder-only backend sees it arrive, and no more).
        QTest::newRow("written in two parts, a pause between") << "begin a.mp3, pause, finish -> c";
        QTest::newRow("root gone, back")
            << "remove ., wait, write a.mp3, wait, wait, write b.mp3 -> gbrc";
        QTest::newRow("limit below folders") << "limit 1, wait, write a.mp3 -> l";
        QTest::newRow("limit reached later") << "limit 2, wait, write New/a.mp3 -> rl";
    }

    void changes()
    {
        QFETCH(QString, steps);
        const QString said = steps.section(" -> ", 1);
        QTemporaryDir temp;
        const QString root = temp.path() + "/Music";
        TestSupport::copyFixture("tone.mp3", root + "/old.mp3");
        TestSupport::copyFixture("tone.ogg", root + "/Old/old.ogg");
        FolderWatcher watcher;
        watcher.setBatchTimes(50, 20000);
        watcher.setCheckInterval(50);
        QString log;
        const auto note = [&log](char letter) { return [&log, letter] { log += letter; }; };
        connect(&watcher, &FolderWatcher::changed, this, note('c'));
        connect(&watcher, &FolderWatcher::ready, this, note('r'));
        connect(&watcher, &FolderWatcher::folderGone, this, note('g'));
        connect(&watcher, &FolderWatcher::folderBack, this, note('b'));
        connect(&watcher, &FolderWatcher::limitReached, this, note('l'));
        watcher.watch(root);
        QTRY_COMPARE_WITH_TIMEOUT(log, "r", 20000);
        log.clear();
        for (const QString &step : steps.section(" -> ", 0, 0).split(", "))
            QVERIFY2(run(watcher, root, step, log), qPrintable(step + " failed; said: " + log));
        QTRY_COMPARE_WITH_TIMEOUT(log, said, 20000);
        QTest::qWait(300); // a second batch would come well within this
        QCOMPARE(log, said);
    }
};

QTEST_GUILESS_MAIN(TestWatcher)
#include "test_watcher.moc"
