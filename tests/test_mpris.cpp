// The player on the media bus as a desktop panel sees it, over a private bus this test starts.

#include "FakeMediaBackend.h"
#include "TestSupport.h"
#include "desktop/MprisService.h"
#include "library/cover/CoverArtLoader.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"

#include <QtDBus>
#include <QtTest>

using namespace TestSupport;

namespace {

const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");

// A minute of silence (RIFF/WAVE, PCM mono 8 kHz 8-bit): no track ends while a case looks at it.
const QByteArray silentMinute
    = QByteArray::fromHex("524946462453070057415645666d74201000000001000100401f0000401f0000")
    + QByteArray::fromHex("010008006461746100530700") + QByteArray(480000, '\x80');

} // namespace

class TestMpris : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY2(useSessionBus(daemon), "no dbus-daemon");
        client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "client");
        QList<CacheEntry> entries;
        for (const QString name : {"library/0", "library/1", "library/2", "outside"}) {
            urls << QUrl::fromLocalFile(music.filePath(name + ".wav"));
            writeFile(urls.last().toLocalFile(), silentMinute);
            entries.append({urls.last().toLocalFile(), "Artist", name, "Album", "1:00"});
        }
        writeCache(music.filePath("library/playlist_cache.json"), entries.mid(0, 3));
        library.restoreFolder(music.filePath("library"));
        library.loadCacheAndCheck();
        QVERIFY(firstNews(&library)); // the cache is installed
        service = new MprisService(&controller);
        service->followCoverArt(&cover);
        for (const QString signal : {"PropertiesChanged", "Seeked"})
            QVERIFY(client.connect({}, {}, {}, signal, this, SLOT(hear(QDBusMessage))));
    }

    void methods_data()
    {
        // From file 1 playing, its length known; args go to the last call; to: second jumped to.
        columns<QString, QVariantList, QString, QString, int>("call", "args", "id", "state", "to");
        const auto row = [](const char *name, const char *call, QVariantList args, QString id,
                             const char *state, int to = -1) {
            QTest::newRow(name) << call << args << id << state << to;
        };
        row("Pause twice", "Pause Pause", {}, id(1), "Paused");
        row("PlayPause", "Pause PlayPause", {}, id(1), "Playing");
        row("Stop", "Stop", {}, id(1), "Stopped");
        row("Next", "Next", {}, id(2), "Playing");
        row("Previous", "Previous", {}, id(0), "Playing");
        row("OpenUri", "OpenUri", {urls[3].toString()}, id(3), "Playing");
        row("OpenUri of a web address", "OpenUri", {"http://example.com/a.mp3"}, id(1), "Playing");
        row("Seek", "Pause Seek", {20'000'000LL}, id(1), "Paused", 20);
        row("Seek past the end", "Seek", {90'000'000LL}, id(2), "Playing");
        row("SetPosition", "Pause SetPosition", {track(1), 40'000'000LL}, id(1), "Paused", 40);
        row("Stale track id", "Pause SetPosition", {track(2), 40'000'000LL}, id(1), "Paused", 0);
        // The new track's length is not known yet: the jump waits for it, and is not lost.
        row("SetPosition right after Next", "Next SetPosition", {track(2), 30'000'000LL}, id(2),
            "Playing", 30);
    }

    void methods()
    {
        QFETCH(QString, call);
        QFETCH(QVariantList, args);
        QFETCH(int, to);
        controller.playRow(1);
        QTRY_COMPARE_WITH_TIMEOUT(metadata().value("mpris:length"), QVariant(60'000'000LL), 20000);
        QCOMPARE(metadata().value("xesam:artist"), QVariant(QStringList{"Artist"}));
        heard.clear();

        const QStringList methods = call.split(' ');
        for (const QString &method : methods)
            ask(playerInterface, method, method == methods.last() ? args : QVariantList());
        QTEST(get("PlaybackStatus").toString(), "state");
        QTEST(metadata().value("mpris:trackid").value<QDBusObjectPath>().path(), "id");
        QTRY_COMPARE(heard.filter("Seeked").join(' '), to > 0 ? QString("Seeked=%1").arg(to) : "");
        if (to >= 0)
            QCOMPARE(get("Position").toLongLong() / 1'000'000, to);
    }

    void announcements_data()
    {
        // From file 1 playing over a backend the test drives, its length known: each
        // PropertiesChanged as the properties it carries, the track as its title and length.
        columns<QString, QString>("steps", "expected");
        const auto row = [](const char *name, const char *steps, const char *expected) {
            QTest::newRow(name) << steps << expected;
        };
        row("pause, play", "pause play", "PlaybackStatus=Paused | PlaybackStatus=Playing");
        row("stop", "stop", "PlaybackStatus=Stopped");
        row("shuffle on, again, off", "shuffle1 shuffle1 shuffle0", "Shuffle=true | Shuffle=false");
        row("loop modes", "loop1 loop2", "LoopStatus=Playlist | LoopStatus=Track");
        row("the next track, its length", "next load",
            "Metadata=library/2 | Metadata=library/2 60s");
        row("paused, then the next track", "pause next",
            "PlaybackStatus=Paused | PlaybackStatus=Playing | Metadata=library/2");
    }
    void announcements()
    {
        QFETCH(QString, steps);
        delete std::exchange(service, nullptr); // the bus name is this one's meanwhile
        auto *backend = new FakeMediaBackend;
        PlayerController driven(std::unique_ptr<MediaBackend>(backend), &library, &queue);
        auto *drivenService = new MprisService(&driven);
        const auto restore = qScopeGuard([&] {
            delete drivenService;
            service = new MprisService(&controller);
            service->followCoverArt(&cover);
        });
        driven.setVolume(50);
        driven.playRow(1);
        backend->learnLength(60'000);
        QTRY_COMPARE_WITH_TIMEOUT(
            announced.value(announced.size() - 1), "Metadata=library/1 60s", 20000);
        announced.clear();
        for (const QString &step : steps.split(' ')) {
            const int n = QString(step).remove(QRegularExpression("^\\D+")).toInt();
            if (step == "pause")
                driven.pause();
            else if (step == "play")
                driven.play();
            else if (step == "stop")
                driven.stop();
            else if (step == "next")
                driven.next();
            else if (step == "load")
                backend->learnLength(60'000);
            else if (step.startsWith("shuffle"))
                driven.setShuffle(n);
            else
                driven.setLoopMode(PlayOrder::LoopMode(n));
        }
        QFETCH(QString, expected);
        QTRY_COMPARE_WITH_TIMEOUT(announced.join(" | "), expected, 20000);
        QTest::qWait(300); // nothing more, nothing again
        QCOMPARE(announced.join(" | "), expected);
    }

    void propertiesBothWays()
    {
        heard.clear();
        QCOMPARE(set("LoopStatus", "Track"), QVariant());
        QCOMPARE(controller.loopMode(), PlayOrder::Track);
        controller.cycleLoopMode();
        QCOMPARE(set("LoopStatus", "Playlist"), QVariant());
        QCOMPARE(set("Volume", 0.25), QVariant());
        QCOMPARE(controller.volume(), 25.0f);
        controller.setVolume(70);
        QCOMPARE(get("Volume").metaType(), QMetaType::fromType<double>()); // a string would equal
        QCOMPARE(get("Volume"), QVariant(0.7));
        QCOMPARE(heard.filter(QRegularExpression("^(Loop|Volume)")).join(' '), // each change once
            "LoopStatus=Track LoopStatus=None LoopStatus=Playlist Volume=0.25 Volume=0.7");
    }

    void secondStart_data()
    {
        // names: as given in the music folder; plays, queued: relative to it; reported: the lines
        // on the error output, one per bad name; answers: whether this player answers meanwhile.
        columns<QStringList, int, QString, QString, int, bool>(
            "names", "status", "plays", "queued", "reported", "answers");
        const auto row = [](const char *name, QStringList names, int status, QString plays,
                             QString queued, int reported, bool answers = true) {
            QTest::newRow(name) << names << status << plays << queued << reported << answers;
        };
        row("no names: comes forward", {}, 0, "library/2.wav", "", 0);
        row("the first plays, the others queued; a folder sorted, no file twice",
            {"outside.wav", "library/1.wav", "library", "gone.wav"}, 0, "outside.wav",
            "library/1.wav library/0.wav library/2.wav", 1);
        row("only bad names: nothing changes", {"gone.wav", "http://a.org/0.wav"}, 1,
            "library/2.wav", "", 2);
        // The player is busy past the wait: told, and no second window (it would not end).
        row("no answer: told, nothing opened", {"outside.wav"}, 1, "library/2.wav", "", 1, false);
    }
    void secondStart()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, answers);
        QSignalSpy raised(service, &MprisService::raiseRequested);
        controller.playRow(2);
        queue.clear();
        QProcess second; // hands what it was given to this player, and ends
        second.setWorkingDirectory(music.path());
        second.start(CORVEL_PLAYER_PATH, names);
        if (answers)
            QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
        else // no event of this process is handled meanwhile: the bus calls wait
            QVERIFY2(second.waitForFinished(30000), "the start did not end: a second player");
        QTEST(second.exitCode(), "status"); // a crash would give the signal
        QCOMPARE(raised.size(), second.exitCode() == 0 ? 1 : 0); // with only bad names, left alone
        finishBackgroundWork(); // the files to queue are checked after the answer
        const QString prefix = music.path() + '/';
        QTEST(controller.source().toLocalFile().remove(prefix), "plays");
        QTEST(queue.paths().replaceInStrings(prefix, "").join(' '), "queued");
        const QString errors = QString::fromLocal8Bit(second.readAllStandardError());
        QTEST(int(errors.count("corvel-player: ")), "reported");
    }

    void twoStarts_data()
    {
        columns<int>("apart"); // ms between the two starts, each on its own file
        QTest::newRow("together") << 0;
        QTest::newRow("300 ms apart") << 300;
    }
    void twoStarts()
    {
        QFETCH(int, apart);
        QProcess bus; // a session of their own: this test's player holds the name on the other
        const QString address = QString::fromLatin1(startSessionBus(bus));
        QVERIFY2(!address.isEmpty(), "no dbus-daemon");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        const QStringList files = {urls[0].toLocalFile(), urls[3].toLocalFile()};
        QProcess starts[2];
        for (int i = 0; i < 2; ++i) {
            if (i == 1)
                QThread::msleep(apart);
            starts[i].setProcessEnvironment(environment);
            starts[i].start(CORVEL_PLAYER_PATH, {files[i]});
        }
        const auto running = [&](int i) { return starts[i].state() != QProcess::NotRunning; };
        QTRY_VERIFY2_WITH_TIMEOUT(!running(0) || !running(1), "two players", 30000);
        const int ended = running(0) ? 1 : 0;
        const int player = 1 - ended;
        QCOMPARE(starts[ended].exitStatus(), QProcess::NormalExit);
        QCOMPARE(starts[ended].exitCode(), 0);
        QVERIFY2(running(player), "no player left");
        QDBusConnection other = QDBusConnection::connectToBus(address, QTest::currentDataTag());
        const QDBusReply<uint> owner = other.interface()->servicePid(MprisService::serviceName);
        QCOMPARE(qint64(owner.value()), starts[player].processId());
        // The player plays what the start that ended named.
        const auto playing = [&] {
            QDBusMessage get = QDBusMessage::createMethodCall(
                MprisService::serviceName, MprisService::objectPath, properties, "Get");
            get << playerInterface << "Metadata";
            const QDBusMessage reply = other.call(get);
            const QVariantMap map = qdbus_cast<QVariantMap>(
                reply.arguments().value(0).value<QDBusVariant>().variant());
            return QUrl(map.value("xesam:url").toString()).toLocalFile();
        };
        QTRY_COMPARE_WITH_TIMEOUT(playing(), files[ended], 20000);
        // Quit on the bus ends the player.
        other.call(QDBusMessage::createMethodCall(
            MprisService::serviceName, MprisService::objectPath, "org.mpris.MediaPlayer2", "Quit"));
        QVERIFY(starts[player].waitForFinished(20000));
        QDBusConnection::disconnectFromBus(QTest::currentDataTag());
        bus.kill();
        bus.waitForFinished();
    }

    // The cover of what plays, as a panel hears it: the folder image's address, the embedded
    // picture itself, or no key; the previous track's never shows with the next.
    void artUrl_data()
    {
        columns<QString, QString>("plays", "art");
        QTest::newRow("a folder image") << QString("library/1.wav") << "file:library/cover.png";
        QTest::newRow("embedded") << QString("art.flac") << "data:image/jpeg;base64";
        QTest::newRow("none") << QString("outside.wav") << QString();
    }
    void artUrl()
    {
        QFETCH(QString, plays);
        QFETCH(QString, art);
        const QString cover = music.filePath("library/cover.png");
        writeFile(cover,
            QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVQI12P4z8A"
                                   "AAAMBAQAY3Y2wAAAAAElFTkSuQmCC"));
        const QString path = plays.startsWith("art.") ? copyFixture(plays, music.filePath(plays))
                                                      : music.filePath(plays);
        controller.playUrl(QUrl::fromLocalFile(path));
        heard.clear();
        this->cover.request(path); // as the program's core asks on every new track
        const QString expected
            = art.startsWith("file:") ? QUrl::fromLocalFile(cover).toString() : art;
        if (!art.isEmpty())
            QTRY_VERIFY2_WITH_TIMEOUT(
                heard.contains("Metadata=" + expected), qPrintable(heard.join(' ')), 20000);
        else
            QTRY_COMPARE_WITH_TIMEOUT(this->cover.current().track, path, 20000);
        const QString sent = metadata().value("mpris:artUrl").toString();
        QCOMPARE(sent.section(',', 0, 0), expected);
        controller.playRow(2); // its cover not read yet
        QCOMPARE(metadata().value("mpris:artUrl"), QVariant());
        QVERIFY(QFile::remove(cover));
    }

    void cleanupTestCase()
    {
        // Everything settled before the process ends: the leak check stops every
        // thread, and one still winding down may crash it.
        delete std::exchange(service, nullptr);
        controller.stop();
        TestSupport::finishBackgroundWork();
        daemon.kill();
        daemon.waitForFinished();
    }

public slots: // what a desktop panel hears: each property change as name=value, Seeked in seconds
    void hear(const QDBusMessage &signal)
    {
        QVariantMap changed = qdbus_cast<QVariantMap>(signal.arguments().value(1));
        if (signal.member() == "Seeked")
            changed.insert("Seeked", signal.arguments().at(0).toLongLong() / 1'000'000);
        QStringList carried;
        for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
            if (it.key() != "Metadata") {
                heard.append(it.key() + '=' + it.value().toString());
                carried.append(heard.last());
                continue;
            }
            const QVariantMap track = qdbus_cast<QVariantMap>(it.value());
            // Its cover's address, up to the data itself.
            heard.append("Metadata=" + track.value("mpris:artUrl").toString().section(',', 0, 0));
            const qlonglong length = track.value("mpris:length").toLongLong() / 1'000'000;
            carried.append("Metadata=" + track.value("xesam:title").toString()
                + (length > 0 ? QString(" %1s").arg(length) : QString()));
        }
        if (signal.member() == "PropertiesChanged")
            announced.append(carried.join(", "));
    }

private:
    /** A client's call of @p method (the wait lets this thread answer): its value, or the error. */
    QVariant ask(const QString &interface, const QString &method, const QVariantList &args = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            MprisService::serviceName, MprisService::objectPath, interface, method);
        message.setArguments(args);
        QDBusPendingCall pending = client.asyncCall(message);
        const bool answered = QTest::qWaitFor([&pending] { return pending.isFinished(); }, 20000);
        QCoreApplication::processEvents(); // what was announced before the answer
        if (!answered || pending.isError())
            return answered ? pending.error().name() : "no answer";
        return pending.reply().arguments().value(0).value<QDBusVariant>().variant();
    }
    QVariant set(const QString &name, const QVariant &value)
    {
        return ask(
            properties, "Set", {playerInterface, name, QVariant::fromValue(QDBusVariant(value))});
    }
    QVariant get(const QString &name)
    {
        return ask(properties, "Get", {playerInterface, name});
    }
    QVariantMap metadata()
    {
        return qdbus_cast<QVariantMap>(get("Metadata"));
    }
    QString id(int file)
    {
        return MprisService::trackId(urls[file]).path();
    }
    QVariant track(int file)
    {
        return QVariant::fromValue(MprisService::trackId(urls[file]));
    }

    QProcess daemon;
    QDBusConnection client{QString()};
    QTemporaryDir music;
    QList<QUrl> urls; // 0 to 2 in the library, 3 outside
    Library library;
    QueueController queue{library.tracks()};
    PlayerController controller{&library, &queue};
    CoverArtLoader cover;
    MprisService *service = nullptr;
    QStringList heard; // what a desktop panel heard, in order
    QStringList announced; // each PropertiesChanged: the properties it carried
};

QTEST_MAIN(TestMpris)
#include "test_mpris.moc"
