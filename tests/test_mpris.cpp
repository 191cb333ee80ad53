// The player on the desktop media bus, seen by a real client over a private session bus that this test
// starts and ends: every method, the writable properties both ways, the change announcements and the
// hand-over of a second start.

#include "MprisService.h"
#include "TestSupport.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

using namespace TestSupport;

namespace {

const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");

// A minute of silence (RIFF/WAVE, PCM mono 8 kHz 8-bit): no track ends while a case looks at it.
const QByteArray silentMinute = QByteArray::fromHex("52494646 24530700 57415645 666d7420 10000000 0100 0100 401f0000"
                                                    " 401f0000 0100 0800 64617461 00530700") + QByteArray(480000, '\x80');

} // namespace

class TestMpris : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--print-address", "--nofork"});
        QVERIFY2(daemon.waitForStarted() && daemon.waitForReadyRead(10000), "dbus-daemon could not be started");
        const QString address = QString::fromUtf8(daemon.readLine().trimmed());
        // Before the first use of the session bus, so the player never meets a real one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        client = QDBusConnection::connectToBus(address, QStringLiteral("client"));
        QVERIFY(client.isConnected());

        QList<CacheEntry> entries; // rows 0 to 2; the fourth file lies outside the library
        for (int i = 0; i < 4; ++i) {
            tracks << music.filePath(i < 3 ? QStringLiteral("library/t%1.wav").arg(i) : QStringLiteral("outside.wav"));
            writeFile(tracks.last(), silentMinute);
            entries.append({tracks.last(), "Artist", QStringLiteral("Track %1").arg(i), "Album", "1:00"});
        }
        writeCache(music.filePath("library/playlist_cache.json"), entries.mid(0, 3));
        store().setValue("musicFolder", music.filePath("library"));
        window = freshWindow();
        QTRY_COMPARE_WITH_TIMEOUT(window->statusLabel->text(), QString("Playlist updated."), 30000);
        QVERIFY((new MprisService(window.get()))->isRegistered());
        QVERIFY(client.connect(MprisService::serviceName, MprisService::objectPath, properties, "PropertiesChanged",
                               this, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        QVERIFY(client.connect(MprisService::serviceName, MprisService::objectPath, playerInterface, "Seeked", this,
                               SLOT(seeked(qlonglong))));
    }

    void cleanupTestCase()
    {
        window.reset();
        daemon.terminate();
        daemon.waitForFinished();
    }

    void methods_data()
    {
        // Each case starts on row 1 at 0:00, playing or paused. Row 3: the file outside the library.
        // Position: µs it jumps to; 0: no jump; -1: not looked at.
        columns<QString, QVariantList, bool, QString, int, qlonglong>("method", "args", "playing", "status", "row",
                                                                       "position");
        QTest::newRow("Play") << "Play" << QVariantList{} << false << "Playing" << 1 << -1LL;
        QTest::newRow("Pause") << "Pause" << QVariantList{} << true << "Paused" << 1 << -1LL;
        QTest::newRow("PlayPause") << "PlayPause" << QVariantList{} << true << "Paused" << 1 << -1LL;
        QTest::newRow("Stop") << "Stop" << QVariantList{} << true << "Stopped" << 1 << -1LL;
        QTest::newRow("Next") << "Next" << QVariantList{} << true << "Playing" << 2 << -1LL;
        QTest::newRow("Previous") << "Previous" << QVariantList{} << true << "Playing" << 0 << -1LL;
        QTest::newRow("OpenUri") << "OpenUri" << QVariantList{QUrl::fromLocalFile(tracks.at(3)).toString()} << true
                                 << "Playing" << 3 << -1LL;
        QTest::newRow("Seek") << "Seek" << QVariantList{20'000'000LL} << false << "Paused" << 1 << 20'000'000LL;
        QTest::newRow("SetPosition") << "SetPosition" << QVariantList{QVariant::fromValue(id(1)), 40'000'000LL} << false
                                     << "Paused" << 1 << 40'000'000LL;
        QTest::newRow("SetPosition, other track")
            << "SetPosition" << QVariantList{QVariant::fromValue(id(2)), 40'000'000LL} << false << "Paused" << 1 << 0LL;
    }

    void methods()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, args);
        QFETCH(bool, playing);
        QFETCH(QString, status);
        QFETCH(int, row);
        QFETCH(qlonglong, position);
        window->playTrack(1);
        // A jump is lost before the length is known.
        QTRY_COMPARE(metadata().value("mpris:length").toLongLong(), 60'000'000LL);
        if (!playing)
            window->pause();
        QTRY_COMPARE(state(), QString(playing ? "Playing" : "Paused"));
        seeks.clear();

        QCOMPARE(call(playerInterface, method, args).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(state(), status);
        QCOMPARE(metadata().value("mpris:trackid").value<QDBusObjectPath>(), id(row));
        QVERIFY(window->windowTitle().contains(row == 3 ? QString("outside.wav") : QString("Track %1").arg(row)));
        if (position > 0) {
            QTRY_VERIFY(qAbs(get("Position").toLongLong() - position) < 1'000'000);
            QTRY_COMPARE(seeks.size(), 1);
            QVERIFY(qAbs(seeks.constFirst() - position) < 1'000'000);
        } else if (position == 0) {
            QTest::qWait(200); // a jump would have been answered by now
            QVERIFY(get("Position").toLongLong() < 1'000'000);
            QVERIFY(seeks.isEmpty());
        }
    }

    void propertiesBothWays_data()
    {
        // windowShows: loop mode, shuffle or volume percent
        columns<QString, QVariant, int, QVariant>("name", "fromBus", "windowShows", "afterClick");
        QTest::newRow("LoopStatus") << "LoopStatus" << QVariant("Track") << int(PlayerWindow::Track)
                                    << QVariant("None");
        QTest::newRow("Shuffle") << "Shuffle" << QVariant(true) << 1 << QVariant(false);
        QTest::newRow("Volume") << "Volume" << QVariant(0.25) << 25 << QVariant(0.7);
    }

    void propertiesBothWays()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, fromBus);
        QFETCH(int, windowShows);
        QFETCH(QVariant, afterClick);
        const auto shown = [this, &name] {
            const QHash<QString, int> controls = {{"LoopStatus", window->loopMode}, {"Shuffle", window->shuffleEnabled},
                                                  {"Volume", window->volume->value()}};
            return controls.value(name);
        };
        // From the bus: the window's control moves, and the change is announced.
        QVERIFY(shown() != windowShows);
        heard.clear();
        const QVariant wrapped = QVariant::fromValue(QDBusVariant(fromBus));
        QCOMPARE(call(properties, "Set", {playerInterface, name, wrapped}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(shown(), windowShows);
        QCOMPARE(get(name), fromBus);
        QTRY_COMPARE(heard.value(name), fromBus);

        // From the window: the bus reads it and hears of it.
        name == "Volume" ? window->volume->setValue(70)
                         : (name == "Shuffle" ? window->shuffle : window->looping)->click();
        QCOMPARE(get(name), afterClick);
        QTRY_COMPARE(heard.value(name), afterClick);
    }

    // Last: Quit ends every event loop that a later case would start.
    void handOverAndQuit()
    {
        // A second start asks the running player to come forward and ends.
        window->hide();
        QProcess second;
        second.start(QStringLiteral(CORVEL_PLAYER_PATH), {});
        // The running player must keep answering while the second one asks.
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
        QVERIFY(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
        QTRY_VERIFY(window->isVisible());

        window->shuffle->click();
        QVERIFY(store().value("shuffling").toBool() != window->shuffleEnabled);
        QCOMPARE(call(QStringLiteral("org.mpris.MediaPlayer2"), "Quit").type(), QDBusMessage::ReplyMessage);
        QCOMPARE(store().value("shuffling").toBool(), window->shuffleEnabled);
    }

public slots: // what a desktop panel hears
    void propertiesChanged(const QString &, const QVariantMap &changed, const QStringList &) { heard.insert(changed); }
    void seeked(qlonglong position) { seeks.append(position); }

private:
    /** Calls @p method as a client would; the player answers from this thread, so the wait keeps events flowing. */
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(MprisService::serviceName, MprisService::objectPath,
                                                              interface, method);
        message.setArguments(args);
        QDBusPendingCall pending = client.asyncCall(message);
        if (!QTest::qWaitFor([&pending] { return pending.isFinished(); }, 20000))
            qWarning("no answer to %s", qPrintable(method));
        return pending.reply();
    }
    QVariant get(const QString &name)
    {
        const QDBusMessage reply = call(properties, QStringLiteral("Get"), {playerInterface, name});
        return reply.arguments().isEmpty() ? QVariant() : reply.arguments().constFirst().value<QDBusVariant>().variant();
    }
    QVariantMap metadata() { return qdbus_cast<QVariantMap>(get(QStringLiteral("Metadata"))); }
    QString state() { return get(QStringLiteral("PlaybackStatus")).toString(); }
    QDBusObjectPath id(int row) { return MprisService::trackId(QUrl::fromLocalFile(tracks.at(row))); }

    QProcess daemon;
    QDBusConnection client{QString()};
    QTemporaryDir music;
    QStringList tracks;
    std::unique_ptr<PlayerWindow> window;
    QVariantMap heard; // the last announced value of each property
    QList<qlonglong> seeks;
};

QTEST_MAIN(TestMpris)
#include "test_mpris.moc"
