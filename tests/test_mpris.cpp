// The player on the desktop media bus, seen by a real client over a private
// session bus that this test starts and ends: the transport methods, the
// writable properties both ways, the change announcements and the hand-over
// of a second start.

#include "MprisService.h"
#include "PlayerWindow.h"
#include "TestSupport.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

using namespace TestSupport;

namespace {

const QString root = QStringLiteral("org.mpris.MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");

} // namespace

/** What a desktop panel hears from the player. */
class BusListener : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

    /** The value last announced for @p name, or an invalid variant. */
    QVariant announced(const QString &name) const
    {
        for (auto it = changes.crbegin(); it != changes.crend(); ++it) {
            if (it->contains(name))
                return it->value(name);
        }
        return {};
    }

public slots:
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        if (interface == playerInterface)
            changes.append(changed);
    }
    void seeked(qlonglong position) { seeks.append(position); }
};

class TestMpris : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void identity();
    void methods_data();
    void methods();
    void positionMoves_data();
    void positionMoves();
    void propertiesBothWays_data();
    void propertiesBothWays();
    void secondStartHandsOver_data();
    void secondStartHandsOver();
    void quitSaves();

private:
    /** Calls @p method of @p interface with @p args as a client would, waiting with the event loop running. */
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(MprisService::serviceName, MprisService::objectPath,
                                                              interface, method);
        message.setArguments(args);
        QDBusPendingCall pending = client.asyncCall(message);
        // The player answers from this very thread, so the wait must not block it.
        if (!QTest::qWaitFor([&pending] { return pending.isFinished(); }, 20000))
            qWarning("no answer to %s", qPrintable(method));
        return pending.reply();
    }

    QVariant get(const QString &name, const QString &interface = playerInterface)
    {
        const QDBusMessage reply = call(properties, QStringLiteral("Get"), {interface, name});
        return reply.arguments().isEmpty() ? QVariant()
                                           : reply.arguments().constFirst().value<QDBusVariant>().variant();
    }

    QVariantMap metadata() { return qdbus_cast<QVariantMap>(get(QStringLiteral("Metadata"))); }
    QString url() { return metadata().value(QStringLiteral("xesam:url")).toString(); }
    qlonglong position() { return get(QStringLiteral("Position")).toLongLong(); }

    /** Plays library row @p row and pauses it at its start, once its length is known (a jump before is lost). */
    void pausedAt(int row)
    {
        window->playTrack(row);
        QTRY_COMPARE(get(QStringLiteral("PlaybackStatus")).toString(), QString("Playing"));
        QTRY_COMPARE(metadata().value(QStringLiteral("mpris:length")).toLongLong(), 60'000'000LL);
        window->pause();
        QTRY_COMPARE(get(QStringLiteral("PlaybackStatus")).toString(), QString("Paused"));
    }

    QProcess daemon;
    QString address;
    QDBusConnection client{QString()};
    QTemporaryDir music;
    QStringList tracks; // library rows
    QString outside;    // a file not in the library
    std::unique_ptr<PlayerWindow> window;
    MprisService *service = nullptr;
    BusListener listener;
};

void TestMpris::initTestCase()
{
    isolateSettings();
    daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--print-address", "--nofork"});
    QVERIFY2(daemon.waitForStarted() && daemon.waitForReadyRead(10000), "dbus-daemon could not be started");
    address = QString::fromUtf8(daemon.readLine().trimmed());
    // Before the first use of the session bus, so the player never meets a real one.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    client = QDBusConnection::connectToBus(address, QStringLiteral("client"));
    QVERIFY(client.isConnected());

    // Minute-long silent tracks: none ends while a case looks at it.
    const QString folder = music.filePath(QStringLiteral("library"));
    QList<CacheEntry> entries;
    for (int i = 0; i < 3; ++i) {
        tracks << folder + QStringLiteral("/t%1.wav").arg(i);
        writeFile(tracks.last(), silentWav(60));
        entries.append({tracks.last(), "Artist", QStringLiteral("Track %1").arg(i), "Album", "1:00"});
    }
    writeCache(folder, entries);
    storeMusicFolder(folder);
    outside = music.filePath(QStringLiteral("outside.wav"));
    writeFile(outside, silentWav(60));

    QGuiApplication::setDesktopFileName(QStringLiteral("com.tavrenin.CorvelPlayer"));
    window = freshWindow();
    QTRY_COMPARE_WITH_TIMEOUT(window->statusLabel->text(), QString("Playlist updated."), 30000);
    service = new MprisService(window.get());
    QVERIFY(service->isRegistered());
    QVERIFY(client.connect(MprisService::serviceName, MprisService::objectPath, properties, "PropertiesChanged",
                           &listener, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    QVERIFY(client.connect(MprisService::serviceName, MprisService::objectPath, playerInterface, "Seeked", &listener,
                           SLOT(seeked(qlonglong))));
}

void TestMpris::cleanupTestCase()
{
    window.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    daemon.terminate();
    daemon.waitForFinished();
    finishBackgroundWork();
}

void TestMpris::identity()
{
    QCOMPARE(get("Identity", root).toString(), QString("Corvel Media Player"));
    QCOMPARE(get("DesktopEntry", root).toString(), QString("com.tavrenin.CorvelPlayer"));
    QCOMPARE(get("SupportedUriSchemes", root).toStringList(), QStringList{"file"});
    QCOMPARE(get("HasTrackList", root).toBool(), false);
    // Nothing loaded yet: the reserved id and no tags.
    QCOMPARE(metadata().value("mpris:trackid").value<QDBusObjectPath>().path(), MprisService::noTrackPath);
    QCOMPARE(metadata().size(), 1);
}

void TestMpris::methods_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("startRow"); // -1: stopped on row 1
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("row"); // -1: the file outside the library
    QTest::addColumn<QString>("title");

    QTest::newRow("Play") << "Play" << -1 << "Playing" << 1 << "Track 1";
    QTest::newRow("Pause") << "Pause" << 1 << "Paused" << 1 << "Track 1";
    QTest::newRow("PlayPause") << "PlayPause" << 1 << "Paused" << 1 << "Track 1";
    QTest::newRow("Stop") << "Stop" << 1 << "Stopped" << 1 << "Track 1";
    QTest::newRow("Next") << "Next" << 1 << "Playing" << 2 << "Track 2";
    QTest::newRow("Previous") << "Previous" << 1 << "Playing" << 0 << "Track 0";
    QTest::newRow("OpenUri") << "OpenUri" << 1 << "Playing" << -1 << "outside.wav";
}

void TestMpris::methods()
{
    QFETCH(QString, method);
    QFETCH(int, startRow);
    QFETCH(QString, status);
    QFETCH(int, row);
    QFETCH(QString, title);

    window->playTrack(startRow == -1 ? 1 : startRow);
    QTRY_COMPARE(get("PlaybackStatus").toString(), QString("Playing"));
    if (startRow == -1) {
        window->stopPlayback();
        QTRY_COMPARE(get("PlaybackStatus").toString(), QString("Stopped"));
    }

    const QString file = row == -1 ? outside : tracks.at(row);
    const QVariantList args = method == "OpenUri" ? QVariantList{QUrl::fromLocalFile(outside).toString()} : QVariantList{};
    QCOMPARE(call(playerInterface, method, args).type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE(get("PlaybackStatus").toString(), status);
    QCOMPARE(url(), QUrl::fromLocalFile(file).toString());
    QCOMPARE(metadata().value("mpris:trackid").value<QDBusObjectPath>(), MprisService::trackId(QUrl::fromLocalFile(file)));
    QCOMPARE(metadata().value("xesam:title").toString(), title);
    QVERIFY(window->windowTitle().contains(title));
}

void TestMpris::positionMoves_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("currentTrack");
    QTest::addColumn<qlonglong>("target"); // microseconds; for Seek the offset
    QTest::addColumn<bool>("moves");

    QTest::newRow("Seek forward") << "Seek" << true << 20'000'000LL << true;
    QTest::newRow("SetPosition") << "SetPosition" << true << 40'000'000LL << true;
    QTest::newRow("SetPosition, another track") << "SetPosition" << false << 40'000'000LL << false;
}

void TestMpris::positionMoves()
{
    QFETCH(QString, method);
    QFETCH(bool, currentTrack);
    QFETCH(qlonglong, target);
    QFETCH(bool, moves);

    pausedAt(0);
    const qlonglong before = position();
    listener.seeks.clear();
    const QDBusObjectPath id = MprisService::trackId(QUrl::fromLocalFile(tracks.at(currentTrack ? 0 : 1)));
    const QVariantList args = method == "Seek" ? QVariantList{target} : QVariantList{QVariant::fromValue(id), target};
    QCOMPARE(call(playerInterface, method, args).type(), QDBusMessage::ReplyMessage);

    if (moves) {
        const qlonglong expected = method == "Seek" ? before / 1000 * 1000 + target : target;
        QTRY_VERIFY(qAbs(position() - expected) < 1'000'000);
        QTRY_COMPARE(listener.seeks.size(), 1);
        QVERIFY(qAbs(listener.seeks.constFirst() - expected) < 1'000);
    } else {
        QTest::qWait(200); // a jump would have been answered by now
        QVERIFY(position() < 1'000'000);
        QVERIFY(listener.seeks.isEmpty());
    }
}

void TestMpris::propertiesBothWays_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("fromBus");
    QTest::addColumn<int>("windowShows"); // loop mode, shuffle or volume percent
    QTest::addColumn<QVariant>("afterClick");

    QTest::newRow("LoopStatus") << "LoopStatus" << QVariant("Track") << int(PlayerWindow::Track) << QVariant("None");
    QTest::newRow("Shuffle") << "Shuffle" << QVariant(true) << 1 << QVariant(false);
    QTest::newRow("Volume") << "Volume" << QVariant(0.25) << 25 << QVariant(0.7);
}

void TestMpris::propertiesBothWays()
{
    QFETCH(QString, name);
    QFETCH(QVariant, fromBus);
    QFETCH(int, windowShows);
    QFETCH(QVariant, afterClick);

    const auto shown = [this, &name] {
        if (name == "LoopStatus")
            return int(window->loopMode);
        if (name == "Shuffle")
            return int(window->shuffleEnabled);
        return window->volume->value();
    };

    // From the bus: the window's control moves, and the change is announced.
    const QDBusMessage set = call(properties, "Set", {playerInterface, name, QVariant::fromValue(QDBusVariant(fromBus))});
    QCOMPARE(set.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(shown(), windowShows);
    QCOMPARE(get(name), fromBus);
    QTRY_COMPARE(listener.announced(name), fromBus);

    // From the window: the bus reads it and hears of it.
    if (name == "LoopStatus")
        window->looping->click();
    else if (name == "Shuffle")
        window->shuffle->click();
    else
        window->volume->setValue(70);
    QCOMPARE(get(name), afterClick);
    QTRY_COMPARE(listener.announced(name), afterClick);
}

void TestMpris::secondStartHandsOver_data()
{
    QTest::addColumn<bool>("executable");
    QTest::addColumn<bool>("busThere");

    QTest::newRow("second player started") << true << true;
    QTest::newRow("hand-over, player running") << false << true;
    QTest::newRow("hand-over, no bus") << false << false;
}

void TestMpris::secondStartHandsOver()
{
    QFETCH(bool, executable);
    QFETCH(bool, busThere);

    window->hide();
    if (executable) {
        QProcess second;
        second.start(QStringLiteral(CORVEL_PLAYER_PATH), {});
        // The running player must keep answering while the second one asks.
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
    } else {
        const QString name = busThere ? QStringLiteral("second") : QStringLiteral("none");
        const QDBusConnection bus =
            QDBusConnection::connectToBus(busThere ? address : QStringLiteral("unix:path=/nonexistent"), name);
        QCOMPARE(MprisService::raiseRunningPlayer(bus), busThere);
        QDBusConnection::disconnectFromBus(name);
    }
    QTRY_COMPARE(window->isVisible(), busThere);
}

// Last: quitting ends every event loop that a later case would start.
void TestMpris::quitSaves()
{
    window->shuffle->click();
    const bool shuffling = window->shuffleEnabled;
    QVERIFY(store().value("shuffling").toBool() != shuffling);
    QCOMPARE(call(root, "Quit").type(), QDBusMessage::ReplyMessage);
    QCOMPARE(store().value("shuffling").toBool(), shuffling);
}

QTEST_MAIN(TestMpris)
#include "test_mpris.moc"
