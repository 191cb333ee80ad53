// The transport's rules over a backend the test drives (test_playorder.cpp: the play order;
// test_mediabackend.cpp: the real backend).

#include "FakeMediaBackend.h"
#include "TestSupport.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <QtTest>

#include <functional>

using namespace TestSupport;
using State = QMediaPlayer::PlaybackState;

namespace {

constexpr State Stopped = QMediaPlayer::StoppedState;
constexpr State Playing = QMediaPlayer::PlayingState;
constexpr State Paused = QMediaPlayer::PausedState;

/** Library a, b, c (paths 0 to 2), x.mp3 outside (3), gone.mp3 missing (4), queue, transport. */
struct Rig {
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    QStringList paths{dir.filePath("a.mp3"), dir.filePath("b.wav"), dir.filePath("c.ogg"),
        elsewhere.filePath("x.mp3"), elsewhere.filePath("gone.mp3")};
    Library library;
    bool loaded = load({0, 1, 2});
    QueueController queue{library.tracks()};
    FakeMediaBackend *backend = new FakeMediaBackend;
    PlayerController controller{std::unique_ptr<MediaBackend>(backend), &library, &queue};
    QStringList constructed = std::exchange(backend->calls, {});
    QStringList heard; // the announcements, in order: a name, then the arguments
    State announced = Stopped;

    /** Puts the records of @p rows in place, in that order. */
    bool load(const QList<int> &rows)
    {
        QList<CacheEntry> entries;
        for (const int row : rows)
            entries.append({paths[row], "Artist", "Tone", "Album", "0:01"});
        writeCache(Library::cachePath(dir.path()), entries);
        return library.tracks()->loadFromCache(Library::cachePath(dir.path()));
    }
};

} // namespace

class TestTransport : public QObject {
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
        QVERIFY2(rig->loaded, "the library was not loaded");
        writeFile(rig->paths[3], "not read by the fake");
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
        connect(&rig->controller, &PlayerController::playbackError, this,
            [this](const QString &file, const QString &error) {
                rig->heard.append("error:" + file + ':' + error);
            });
        connect(&rig->controller, &PlayerController::playbackStateChanged, this,
            [this](State state) { rig->announced = state; });
    }

    void cleanup()
    {
        rig.reset();
    }

    void endOfTrack_data()
    {
        // The order itself is test_playorder.cpp's; here what the transport adds to it.
        columns();
        row("off: the next row", "row1 load end", "row1 row2", "b.wav c.ogg", 2, Playing, {1});
        row("off: the last row ends the list", "row2 load end", "row2 finished", "c.ogg", 2,
            Stopped);
        row("track: a file outside the library again", "row2 loop2 url3 load end", "row2 loop2",
            "c.ogg x.mp3 x.mp3", 2, Playing);
        row("the queue first", "row0 queue2 load end", "row0 row2", "a.mp3 c.ogg", 2, Playing);
        row("the queue before loop track", "row1 loop2 load end queue0 queue2 load end next",
            "row1 loop2 row1 row0 row2", "b.wav b.wav a.mp3 c.ogg", 2, Playing);
        row("the queue before loop track of a file outside", "row2 loop2 url3 queue0 load end",
            "row2 loop2 row0", "c.ogg x.mp3 a.mp3", 0, Playing);
    }

    void endOfTrack()
    {
        check();
    }

    void unplayable_data()
    {
        columns();
        row("an error: stopped, told, on to the next", "row0 fail",
            "row0 error:a.mp3:unreadable row1", "a.mp3 stop b.wav", 1, Playing, {0});
        row("an error on the last row: stopped", "row2 fail", "row2 error:c.ogg:unreadable",
            "c.ogg stop", 2, Stopped);
        row("an error outside the library: the row below", "row0 url3 fail",
            "row0 error:x.mp3:unreadable row1", "a.mp3 x.mp3 stop b.wav", 1, Playing, {0});
        row("a second error in a row stops", "row0 fail fail",
            "row0 error:a.mp3:unreadable row1 error:b.wav:unreadable", "a.mp3 stop b.wav stop", 1,
            Stopped, {0});
        row("a track played in between: on again", "row0 fail tick fail",
            "row0 error:a.mp3:unreadable row1 error:b.wav:unreadable row2",
            "a.mp3 stop b.wav stop c.ogg", 2, Playing, {0, 1});
        row("ended unplayed: on once, loop track or not", "loop2 row0 end end",
            "loop2 row0 row1 finished", "a.mp3 b.wav", 1, Stopped, {0});
        row("an error, then an end unplayed: stopped", "row0 fail end",
            "row0 error:a.mp3:unreadable row1 finished", "a.mp3 stop b.wav", 1, Stopped, {0});
        row("a track played in between two unplayed ends", "row0 end tick end end",
            "row0 row1 row2", "a.mp3 b.wav c.ogg", 2, Stopped, {0, 1});
        row("only its start reached: unplayed", "loop2 row0 zero end", "loop2 row0 row1",
            "a.mp3 b.wav", 1, Playing, {0});
        row("a position past the start: played", "loop2 row0 tick end", "loop2 row0 row0",
            "a.mp3 a.mp3", 0, Playing);
        row("a length known: played", "loop2 row0 length end", "loop2 row0 row0", "a.mp3 a.mp3", 0,
            Playing);
        row("a start by hand after the stop begins a new run", "row0 fail fail row0 fail",
            "row0 error:a.mp3:unreadable row1 error:b.wav:unreadable row0 error:a.mp3:unreadable "
            "row1",
            "a.mp3 stop b.wav stop a.mp3 stop b.wav", 1, Playing, {0, 0});
        row("previous by hand after the stop begins a new run", "row1 fail fail previous fail",
            "row1 error:b.wav:unreadable row2 error:c.ogg:unreadable row1 error:b.wav:unreadable "
            "row2",
            "b.wav stop c.ogg stop b.wav stop c.ogg", 2, Playing, {1, 1});
    }

    void unplayable()
    {
        check();
    }

    void seek_data()
    {
        columns();
        row("a loaded track: at once", "row1 load seek6", "row1 seeked600", "b.wav seek600", 1,
            Playing);
        row("before its length: once it is known", "row1 seek6 seekable length", "row1 seeked600",
            "b.wav seek600", 1, Playing);
        row("seekable, length unknown: waits", "row1 seek6 seekable", "row1", "b.wav", 1, Playing);
        row("length, not seekable: waits", "row1 seek6 length", "row1", "b.wav", 1, Playing);
        row("the latest jump, once", "row1 seek3 seek6 load load", "row1 seeked600",
            "b.wav seek600", 1, Playing);
        row("pending when the track changes: dropped", "row1 seek6 next load", "row1 row2",
            "b.wav c.ogg", 2, Playing, {1});
        row("pending when the track fails: dropped", "row1 seek6 fail load",
            "row1 error:b.wav:unreadable row2", "b.wav stop c.ogg", 2, Playing, {1});
        row("pending when a file outside starts: dropped", "row1 seek6 url3 load", "row1",
            "b.wav x.mp3", 1, Playing);
        row("a jump after the change: the new track's", "row1 seek6 next seek3 load",
            "row1 row2 seeked300", "b.wav c.ogg seek300", 2, Playing, {1});
        row("right after a start, paused", "row1 toggle seek6 load", "row1 seeked600",
            "b.wav pause seek600", 1, Paused);
    }

    void seek()
    {
        check();
    }

    void libraryChanges_data()
    {
        // gone: the file removed and the library installed without it; renamed: b.wav renamed to
        // b2.wav and found by an update scan that is told of the rename.
        columns();
        row("the playing track gone: next plays the one that followed it", "row1 gone1 next",
            "row1 row1", "b.wav c.ogg", 1, Playing);
        row("the playing track gone: previous plays the one before it", "row1 gone1 previous",
            "row1 row0", "b.wav a.mp3", 0, Playing);
        row("the track after the playing one gone too", "row0 gone0 gone1 next", "row0 row0",
            "a.mp3 c.ogg", 0, Playing);
        row("the playing track renamed plays on as itself", "row1 renamed loop2 load end",
            "row1 loop2 row1", "b.wav b2.wav", 1, Playing);
        row("the history follows a rename", "row1 next renamed shuffle1 previous",
            "row1 row2 shuffle1 row1", "b.wav c.ogg b2.wav", 1, Playing);
        row("a queued track renamed plays under its new name", "row0 queue1 renamed queued next",
            "row0 queued:b2.wav row1", "a.mp3 b2.wav", 1, Playing, {});
        row("a queued track gone leaves the queue at once", "row0 queue2 queue1 gone1 queued",
            "row0 queued:c.ogg", "a.mp3", 0, Playing);
    }

    void libraryChanges()
    {
        for (int i = 0; i < 3; ++i)
            copyFixture("tone." + QFileInfo(rig->paths[i]).suffix(), rig->paths[i]);
        check();
    }

    void presses_data()
    {
        columns();
        row("a queued file gone from disk and library is dropped", "row0 queue4 next", "row0 row1",
            "a.mp3 b.wav", 1, Playing, {0});
        row("a queued file outside the library plays", "row0 queue3 next", "row0", "a.mp3 x.mp3", 0,
            Playing);
        row("open: the first plays, the others are queued", "open load end", "row0", "x.mp3 a.mp3",
            0, Playing);
        row("row 3 ignored, resume, previous to the top",
            "restore row3 toggle url1 previous previous", "row2 row1 row0", "c.ogg b.wav a.mp3", 0,
            Playing);
        row("resume on the first press only", "restore toggle toggle toggle", "row2",
            "c.ogg pause play", 2, Playing);
        row("no resume after a start", "restore row0 stop toggle", "row0", "a.mp3 stop play", 0,
            Playing);
        row("pause only what plays", "row0 stop pause", "row0", "a.mp3 stop", 0, Stopped);
        row("a file outside: the row kept", "row2 url3", "row2", "c.ogg x.mp3", 2, Playing);
        row("a new library: rows follow their files", "row0 next next stop install",
            "row0 row1 row2", "a.mp3 b.wav c.ogg stop", 0, Stopped, {1, 2});
        row("volume; toggle, nothing loaded", "toggle 0 mute 30 30 150 100 -5 mute mute",
            "volume50 volume30 volume100 volume0 volume100 volume0",
            "play volume0.5 volume0.3 volume1 volume0 volume1 volume0", -1, Stopped);
        row("unmute to the last audible volume", "30 mute mute", "volume30 volume0 volume30",
            "volume0.3 volume0 volume0.3", -1, Stopped);
        row("shuffle, loop", "shuffle0 loop0 shuffle1 shuffle1 shuffle0 cycle loop1 loop2 cycle",
            "shuffle1 shuffle0 loop1 loop2 loop0", "", -1, Stopped);
    }

    void presses()
    {
        check();
    }

    void resume_data()
    {
        // restoreN: the last run stopped N s into c.ogg; longN: the track, N s long, is loaded.
        columns();
        row("the first press goes on where the last run stopped", "restore30 toggle long600",
            "row2 seeked30000", "c.ogg seek30000", 2, Playing);
        row("5 s before the end: still resumed", "restore595 toggle long600", "row2 seeked595000",
            "c.ogg seek595000", 2, Playing);
        row("within 5 s of the end: from the start", "restore596 toggle long600", "row2", "c.ogg",
            2, Playing);
        row("the stored file gone: its row from the start", "elsewhere30 toggle long600", "row2",
            "c.ogg", 2, Playing);
        row("a double click starts at 0", "restore30 row1 long600", "row1", "b.wav", 1, Playing);
        row("a jump asked for before the load wins", "restore30 toggle seek6 long600",
            "row2 seeked600", "c.ogg seek600", 2, Playing);
        row("only the first press resumes", "restore30 toggle long600 stop toggle",
            "row2 seeked30000", "c.ogg seek30000 stop play", 2, Playing);
        // What a start stores for the next one.
        row("not played yet: the stored position kept", "restore30 at toggle at",
            "at30000 row2 at30000", "c.ogg", 2, Playing);
        row("paused: where it stands", "row1 long600 tick toggle at", "row1 at400", "b.wav pause",
            1, Paused);
        row("stopped: from the start", "row1 long600 tick stop at", "row1 at0", "b.wav stop", 1,
            Stopped);
        row("a file outside the library: none", "row1 url3 long600 tick at", "row1 at0",
            "b.wav x.mp3", 1, Playing);
    }

    void resume()
    {
        check();
    }

    void replayGain()
    {
        // c.ogg: track -6 dB (0.5), album +12 dB, peak 0.8 (1.25); the volume heard is the user's.
        const QString c = rig->paths[2];
        copyFixture("tone.ogg", c);
        TagLib::FileRef ref(QFile::encodeName(c).constData());
        TagLib::PropertyMap map = ref.file()->properties();
        map.insert("REPLAYGAIN_TRACK_GAIN", TagLib::StringList("-6.0206 dB"));
        map.insert("REPLAYGAIN_ALBUM_GAIN", TagLib::StringList("+12 dB"));
        map.insert("REPLAYGAIN_ALBUM_PEAK", TagLib::StringList("0.8"));
        ref.file()->setProperties(map);
        QVERIFY(ref.save());
        check();
    }
    void replayGain_data()
    {
        columns();
        row("off: the volume as it is", "50 row2", "volume50 row2", "volume0.5 c.ogg", 2, Playing);
        row("track: silent until the gain is read, then scaled", "50 gain1 row2 settled",
            "volume50 row2", "volume0.5 volume0 c.ogg volume0.25", 2, Playing);
        row("never above full level", "100 gain2 row2 settled", "volume100 row2",
            "volume1 volume0 c.ogg volume1", 2, Playing);
        row("turned on while a track plays: no gap", "50 row2 gain1 settled", "volume50 row2",
            "volume0.5 c.ogg volume0.25", 2, Playing);
        row("switched between modes: the known gains", "50 gain1 row2 settled gain2 gain0",
            "volume50 row2", "volume0.5 volume0 c.ogg volume0.25 volume0.625 volume0.5", 2,
            Playing);
        row("a volume change keeps the gain", "50 gain1 row2 settled 20", "volume50 row2 volume20",
            "volume0.5 volume0 c.ogg volume0.25 volume0.1", 2, Playing);
    }

private:
    // steps: see act(). heard: the transport's announcements. told: what the backend was told.
    static void columns()
    {
        TestSupport::columns<QString, QString, QString, int, State, QList<int>>(
            "steps", "heard", "told", "row", "state", "history");
    }

    static void row(const char *name, const char *steps, const char *heard, const char *told,
        int current, State state, QList<int> history = {})
    {
        QTest::newRow(name) << QString(steps) << QString(heard) << QString(told) << current << state
                            << history;
    }

    void check()
    {
        QFETCH(QString, steps);
        for (const QString &step : steps.split(' '))
            act(step);
        QCOMPARE(rig->constructed, QStringList{"volume0"}); // silent until a volume is set
        QTEST(rig->heard.join(' '), "heard");
        QTEST(rig->backend->calls.join(' '), "told");
        QTEST(rig->controller.currentRow(), "row");
        // Copied, as Qt 6.4's == on an empty list that held data and one that never did is UB.
        const QList<int> history = rig->controller.history();
        QTEST(QList<int>(history.cbegin(), history.cend()), "history");
        QTEST(rig->controller.playbackState(), "state");
        QCOMPARE(rig->announced, rig->controller.playbackState());
    }

    /** Does @p step: a volume, a call below (n: its digits), or what the backend's track does. */
    void act(const QString &step)
    {
        PlayerController &controller = rig->controller;
        FakeMediaBackend &backend = *rig->backend;
        const QString verb = QString(step).remove(QRegularExpression("\\d+$"));
        const int n = step.mid(verb.size()).toInt();
        const QHash<QString, std::function<void()>> steps = {
            {"restore", [&] { controller.restore(2, rig->paths[2], n * 1000); }},
            {"elsewhere", [&] { controller.restore(2, rig->paths[4], n * 1000); }},
            {"at", [&] { rig->heard.append("at" + QString::number(controller.resumePosition())); }},
            {"row", [&] { controller.playRow(n); }},
            {"url", [&] { controller.playUrl(QUrl::fromLocalFile(rig->paths[n])); }},
            {"open",
                [&] {
                    controller.open(
                        {QUrl::fromLocalFile(rig->paths[3]), QUrl::fromLocalFile(rig->paths[0])});
                }},
            {"queue", [&] { rig->queue.toggle(rig->paths[n]); }},
            {"loop", [&] { controller.setLoopMode(PlayOrder::LoopMode(n)); }},
            {"cycle", [&] { controller.cycleLoopMode(); }},
            {"shuffle", [&] { controller.setShuffle(n); }},
            {"mute", [&] { controller.toggleMute(); }},
            {"toggle", [&] { controller.togglePlayPause(); }},
            {"pause", [&] { controller.pause(); }},
            {"stop", [&] { controller.stop(); }},
            {"next", [&] { controller.next(); }},
            {"previous", [&] { controller.previous(); }},
            {"seek", [&] { controller.seek(n * 100); }},
            {"install", // c, a, b
                [&] {
                    QVERIFY(rig->load({2, 0, 1}));
                    emit rig->library.installed(Library::Install::Update);
                }},
            {"gone",
                [&] {
                    QVERIFY(QFile::remove(rig->paths[n]));
                    QList<int> rows;
                    for (int i = 0; i < rig->library.tracks()->count(); ++i)
                        rows.append(int(rig->paths.indexOf(rig->library.tracks()->pathAt(i))));
                    rows.removeAll(n);
                    QVERIFY(rig->load(rows));
                    emit rig->library.installed(Library::Install::Update);
                }},
            {"renamed",
                [&] {
                    const QString renamed = rig->dir.filePath("b2.wav");
                    QVERIFY(QFile::rename(rig->paths[1], renamed));
                    bool done = false;
                    rig->library.tracks()->scanFolder(rig->dir.path(), Playlist::ScanKind::Update,
                        {}, [&done](bool) { done = true; }, {{rig->paths[1], renamed}});
                    QVERIFY(QTest::qWaitFor([&] { return done; }, 60000));
                    emit rig->library.installed(Library::Install::Update);
                }},
            {"queued",
                [&] {
                    QStringList names;
                    for (const QString &path : rig->queue.paths())
                        names.append(QFileInfo(path).fileName());
                    rig->heard.append("queued:" + names.join(','));
                }},
            {"gain", [&] { controller.setReplayGainMode(ReplayGain::Mode(n)); }},
            {"settled",
                [&] {
                    // The read ends with the output level set, also when it is unchanged.
                    const qsizetype before = backend.calls.size();
                    QTest::qWaitFor([&] { return backend.calls.size() > before; }, 5000);
                }},
            {"length", [&] { backend.learnLength(1000); }},
            {"seekable", [&] { backend.becomeSeekable(); }},
            {"load",
                [&] {
                    backend.learnLength(1000);
                    backend.becomeSeekable();
                }},
            {"long",
                [&] {
                    backend.learnLength(n * 1000);
                    backend.becomeSeekable();
                }},
            {"tick", [&] { backend.reach(400); }},
            {"zero", [&] { backend.reach(0); }},
            {"end", [&] { backend.end(); }},
            {"fail", [&] { backend.fail("unreadable"); }},
        };
        if (steps.contains(verb))
            steps[verb]();
        else
            controller.setVolume(step.toFloat());
    }
};

QTEST_MAIN(TestTransport)
#include "test_transport.moc"
