// The transport over a real media player: how it ties the play order (test_playorder.cpp has its
// rules), the queue and the real end of a track together, and what it announces.

#include "TestSupport.h"
#include "library/Library.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"

#include <QSignalSpy>
#include <QtTest>

#include <functional>

using namespace TestSupport;

namespace {

/** Library a, b, c (paths 0 to 2), x.mp3 outside (3), gone.mp3 missing (4), queue, transport. */
struct Rig {
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    QStringList paths = writeLibrary(dir.path())
        << copyFixture("tone.mp3", elsewhere.filePath("x.mp3")) << elsewhere.filePath("gone.mp3");
    Library library;
    QueueController queue{library.tracks()};
    QList<int> picks{0, 2, 1}; // the random source's answers in turn; 0 on row 0 is drawn again
    PlayerController controller{&library, &queue,
        [this](int bound) { return picks.isEmpty() ? 0 : picks.takeFirst() % bound; }};
    QStringList heard; // every announcement, in order: its name, then its argument as a number

    /** Installs the folder's cache, then what the scan for new files found, and saves it. */
    bool install()
    {
        QSignalSpy installed(&library, &Library::installed);
        library.restoreFolder(dir.path());
        library.loadCacheAndCheck();
        return QTest::qWaitFor([&] { return installed.size() == 2 && !library.busy(); }, 20000);
    }
};

} // namespace

class TestController : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> rig;

private slots:
    void initTestCase()
    {
        isolateSettings();
    }

    void init()
    {
        rig = std::make_unique<Rig>();
        QVERIFY2(rig->install(), "the library was not installed");
        const auto hear = [this](auto signal, const QString &name) {
            connect(&rig->controller, signal, this, [this, name](auto... args) {
                rig->heard.append((name + ... + QString::number(qint64(args))));
            });
        };
        hear(&PlayerController::rowStarted, "row");
        hear(&PlayerController::finished, "finished");
        hear(&PlayerController::volumeChanged, "volume");
        hear(&PlayerController::shuffleChanged, "shuffle");
        hear(&PlayerController::loopModeChanged, "loop");
        hear(&PlayerController::seeked, "seeked");
    }

    void cleanup()
    {
        rig.reset();
        finishBackgroundWork();
    }

    void transport_data()
    {
        // calls: see act(). file: the player's source. state: 0 stopped, 1 playing, 2 paused.
        columns<QString, QString, int, QString, int, QList<int>>(
            "calls", "heard", "row", "file", "state", "history");
        const auto row = [](const char *name, QString calls, QString heard, int current,
                             QString file, int state, QList<int> history = {}) {
            QTest::newRow(name) << calls << heard << current << file << state << history;
        };
        row("row 3 ignored, resume, previous to the top",
            "restore row3 toggle url1 previous previous", "row2 row1 row0", 0, "a.mp3", 1);
        row("playUrl: outside, row kept", "row2 url3", "row2", 2, "x.mp3", 1);
        row("no audio: on once to the next", "row0 text", "row0 row1", 1, "b.wav", 1, {0});
        row("no audio, nothing next: stopped", "row2 text", "row2", 2, "x.mp3", 0);
        row("ended unplayed: no loop, on once", "loop2 hollow row0 end end",
            "loop2 row0 row1 finished", 1, "b.wav", 0, {0});
        row("a queued file that is not there is dropped", "row0 queue4 next", "row0 row1", 1,
            "b.wav", 1, {0});
        row("a queued file outside the library plays", "row0 queue3 next", "row0", 0, "x.mp3", 1);
        row("loop Track repeats a file outside", "row2 loop2 url3 replay", "row2 loop2", 2, "x.mp3",
            1);
        row("a jump right after a start is kept", "row1 toggle seek", "row1 seeked600", 1, "b.wav",
            2);
        row("end: next row, list ends", "row1 end end", "row1 row2 finished", 2, "c.ogg", 0, {1});
        row("queue before loop Track", "row1 loop2 end queue0 queue2 end next",
            "row1 loop2 row1 row0 row2", 2, "c.ogg", 1);
        row("end: shuffle draws", "row2 shuffle1 end", "row2 shuffle1 row0", 0, "a.mp3", 1, {2});
        row("reinstall", "row0 next next stop install", "row0 row1 row2", 0, "c.ogg", 0, {1, 2});
        row("volume; toggle, nothing loaded", "toggle 0 mute 30 30 150 100 -5 mute mute",
            "volume50 volume30 volume100 volume0 volume100 volume0", -1, "", 0);
        row("shuffle, loop", "shuffle0 loop0 shuffle1 shuffle1 shuffle0 cycle loop1 loop2 cycle",
            "shuffle1 shuffle0 loop1 loop2 loop0", -1, "", 0);
    }

    void transport()
    {
        QFETCH(QString, calls);
        QFETCH(int, state);
        for (const QString &call : calls.split(' '))
            act(call);
        QTEST(rig->heard.join(' '), "heard");
        QTEST(rig->controller.currentRow(), "row");
        QTEST(rig->controller.history(), "history");
        QTEST(QFileInfo(rig->controller.source().toLocalFile()).fileName(), "file");
        QTRY_COMPARE_WITH_TIMEOUT(
            rig->controller.playbackState(), QMediaPlayer::PlaybackState(state), 20000);
    }

private:
    /** Does @p call: a volume, a call below (n: its last digit), end (what follows the end of the
     * track), replay (the next source), seek (to 0.6 s), text (x.mp3 as text), hollow (a and b
     * without samples), install (c, a, b). */
    void act(const QString &call)
    {
        PlayerController &controller = rig->controller;
        const QString verb = QString(call).remove(QRegularExpression("\\d$"));
        const int n = call.right(1).toInt();
        const QHash<QString, std::function<void()>> calls = {
            {"restore", [&] { controller.restore(2, rig->paths[2]); }},
            {"row", [&] { controller.playRow(n); }},
            {"url", [&] { controller.playUrl(QUrl::fromLocalFile(rig->paths[n])); }},
            {"queue", [&] { rig->queue.toggle(rig->paths[n]); }},
            {"loop", [&] { controller.setLoopMode(PlayOrder::LoopMode(n)); }},
            {"cycle", [&] { controller.cycleLoopMode(); }},
            {"shuffle", [&] { controller.setShuffle(n); }},
            {"mute", [&] { controller.toggleMute(); }},
            {"toggle", [&] { controller.togglePlayPause(); }},
            {"next", [&] { controller.next(); }},
            {"previous", [&] { controller.previous(); }},
            {"stop", [&] { controller.stop(); }},
        };
        const qsizetype before = rig->heard.size();
        if (calls.contains(verb)) {
            calls[verb]();
        } else if (call == "end") {
            QVERIFY2(QTest::qWaitFor([&] { return rig->heard.size() > before; }, 20000),
                "nothing followed the end of the track");
        } else if (call == "text") {
            QSignalSpy errors(&controller, &PlayerController::playbackError);
            writeFile(rig->paths[3], QByteArray("not audio at all\n").repeated(200));
            controller.playUrl(QUrl::fromLocalFile(rig->paths[3]));
            QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 20000); // GStreamer may send more
            QCOMPARE(errors.first().at(0).toString(), QString("x.mp3"));
            QVERIFY2(!errors.first().at(1).toString().isEmpty(), "the error has no message");
        } else if (call == "hollow") { // a and b: a RIFF header and no samples
            for (const int row : {0, 1})
                writeFile(rig->paths[row],
                    QByteArray::fromHex("52494646 24000000 57415645 666d7420 10000000 0100 0100"
                                        " 401f0000 401f0000 0100 0800 64617461 00000000"));
        } else if (call == "replay") {
            QSignalSpy again(&controller, &PlayerController::sourceChanged);
            QVERIFY2(QTest::qWaitFor([&] { return !again.isEmpty(); }, 20000), "nothing came next");
        } else if (call == "seek") {
            controller.seek(600);
            QTRY_VERIFY2_WITH_TIMEOUT(qAbs(controller.position() - 600) < 100,
                qPrintable(QString("position %1").arg(controller.position())), 20000);
        } else if (call == "install") {
            QList<CacheEntry> moved;
            for (const int row : {2, 0, 1})
                moved.append({rig->paths[row], "Artist", "Tone", "Album", "0:01"});
            writeCache(Library::cachePath(rig->dir.path()), moved);
            QVERIFY2(rig->install(), "the library was not installed");
        } else {
            controller.setVolume(call.toFloat());
        }
    }
};

QTEST_MAIN(TestController)
#include "test_controller.moc"
