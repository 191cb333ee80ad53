// The player's manners towards the desktop, over a private bus this test starts, against fake
// services it registers there: a notification on each track change, and a request that holds
// off suspend while it plays.

#include "FakeMediaBackend.h"
#include "TestSupport.h"
#include "desktop/SleepInhibitor.h"
#include "desktop/TrackNotifier.h"
#include "library/SettingsStore.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"

#include <QtDBus>
#include <QtTest>

#include <poll.h>

using namespace TestSupport;

/** org.freedesktop.Notifications: each call as "replaces:summary|body|hints", ids from 101. */
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;
public slots:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
        const QString &body, const QStringList &, const QVariantMap &hints, int)
    {
        QString seen = hints.value("desktop-entry").toString();
        if (hints.contains("image-data")) {
            const QDBusArgument image = hints.value("image-data").value<QDBusArgument>();
            int width, height, stride, bits, channels;
            bool alpha;
            QByteArray pixels;
            seen += " image " + image.currentSignature();
            image.beginStructure();
            image >> width >> height >> stride >> alpha >> bits >> channels >> pixels;
            image.endStructure();
            seen += QString(" %1x%2 %3 %4 %5 %6 %7")
                        .arg(width)
                        .arg(height)
                        .arg(stride)
                        .arg(alpha)
                        .arg(bits)
                        .arg(channels)
                        .arg(pixels.size() == stride * height);
        }
        if (app == "Corvel Media Player" && icon == "com.tavrenin.CorvelPlayer")
            calls.append(QString("%1:%2|%3|%4").arg(replaces).arg(summary, body, seen));
        return 101 + calls.size() - 1;
    }
};

/** A request the portal handed out: its Close goes to the portal's calls as "close n". */
class FakeRequest : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    FakeRequest(QStringList *calls, QObject *parent)
        : QObject(parent)
        , calls(calls)
        , number(calls->size())
    {
    }
public slots:
    void Close()
    {
        calls->append(QString("close %1").arg(number));
    }

private:
    QStringList *calls;
    int number;
};

/** The portal's Inhibit, as "inhibit flags reason". */
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    QStringList calls;
    QDBusConnection bus{QString()};
public slots:
    QDBusObjectPath Inhibit(const QString &window, uint flags, const QVariantMap &options)
    {
        calls.append(QString("inhibit%1 %2 %3")
                         .arg(window, QString::number(flags), options.value("reason").toString()));
        const QString path
            = QString("/org/freedesktop/portal/desktop/request/%1").arg(calls.size());
        bus.registerObject(path, new FakeRequest(&calls, this), QDBusConnection::ExportAllSlots);
        return QDBusObjectPath(path);
    }
};

/** logind's Inhibit: hands out a pipe's writing end, whose close the reading end sees. */
class FakeLogin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList calls;
    int readEnd = -1;
    /** Whether the descriptor handed out is still open somewhere. */
    bool held() const
    {
        pollfd end{readEnd, POLLIN, 0};
        return readEnd >= 0 && ::poll(&end, 1, 0) == 0;
    }
public slots:
    QDBusUnixFileDescriptor Inhibit(
        const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        calls.append(QStringList{"login", what, who, why, mode}.join(' '));
        int ends[2];
        if (::pipe(ends) != 0)
            qFatal("no pipe");
        if (readEnd >= 0)
            ::close(readEnd);
        readEnd = ends[0];
        const QDBusUnixFileDescriptor handed(ends[1]); // a copy of its own
        ::close(ends[1]);
        return handed;
    }
};

class TestSessionBus : public QObject {
    Q_OBJECT

    QProcess daemon;
    QDBusConnection services{QString()};
    QTemporaryDir music;
    QStringList paths{music.filePath("0.wav"), music.filePath("1.wav"), music.filePath("2.wav")};
    Library library;
    bool loaded = load(); // before the transport, which takes the rows it finds
    QueueController queue{library.tracks()};
    FakeMediaBackend *backend = new FakeMediaBackend;
    PlayerController controller{std::unique_ptr<MediaBackend>(backend), &library, &queue};
    FakeNotifications notificationService;
    FakePortal portal;
    FakeLogin login;

    bool load()
    {
        writeCache(Library::cachePath(music.path()),
            {{paths[0], "Artist", "Zero", "Album", "1:00"}, {paths[1], "", "One", "", "1:00"},
                {paths[2], "Tom & Jerry <live>", "Two <b>", "A>B", "1:00"}});
        return library.tracks()->loadFromCache(Library::cachePath(music.path()));
    }

    /** Offers @p object as @p service at @p path on the bus, or takes it away. */
    void offer(bool on, const QString &service, const QString &path, QObject *object)
    {
        if (on) {
            services.registerObject(path, object, QDBusConnection::ExportAllSlots);
            services.registerService(service);
        } else {
            services.unregisterService(service);
            services.unregisterObject(path);
        }
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
        daemon.start("dbus-daemon", {"--session", "--print-address", "--nofork"});
        QVERIFY2(daemon.waitForStarted() && daemon.waitForReadyRead(10000), "no dbus-daemon");
        qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed()); // before any bus use
        services = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "services");
        portal.bus = services;
        QVERIFY(loaded);
        offer(true, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
            &notificationService);
    }

    void cleanupTestCase()
    {
        daemon.kill();
        daemon.waitForFinished();
    }

    void init()
    {
        controller.stop();
        QTest::qWait(TrackNotifier::settleMs * 2);
        notificationService.calls.clear();
        portal.calls.clear();
        login.calls.clear();
    }

    void notifications_data()
    {
        columns<QString, QStringList>("steps", "calls");
        const QString zero = "Zero|Artist — Album|com.tavrenin.CorvelPlayer";
        const QString cover = " image (iiibiiay) 128x64 384 0 8 3 1";
        QTest::newRow("a change in the background") << "play0" << QStringList{"0:" + zero};
        QTest::newRow("each replaces the one before")
            << "play0 play1" << QStringList{"0:" + zero, "101:One||com.tavrenin.CorvelPlayer"};
        QTest::newRow("markup escaped in the body")
            << "play2"
            << QStringList{"0:Two <b>|Tom &amp; Jerry &lt;live&gt; — A&gt;B|"
                           "com.tavrenin.CorvelPlayer"};
        QTest::newRow("quick skips: only where they end")
            << "skip1 play0" << QStringList{"0:" + zero};
        QTest::newRow("the same track again is no change")
            << "play0 play0" << QStringList{"0:" + zero};
        QTest::newRow("nothing while the window is active") << "active play0" << QStringList();
        QTest::newRow("the window went to the background")
            << "active play1 inactive play0" << QStringList{"0:" + zero};
        QTest::newRow("switched off") << "off play0" << QStringList();
        QTest::newRow("the cover comes later: shown in place, at most 128 px")
            << "play0 cover" << QStringList{"0:" + zero, "101:" + zero + cover};
        QTest::newRow("the next track forgets the cover")
            << "play0 cover play1"
            << QStringList{
                   "0:" + zero, "101:" + zero + cover, "102:One||com.tavrenin.CorvelPlayer"};
        QTest::newRow("no notification service") << "gone play0" << QStringList();
    }

    void notifications()
    {
        QTest::failOnWarning(QRegularExpression(".*")); // a missing service is no error
        QFETCH(QString, steps);
        TrackNotifier notifier(&controller, nullptr, QDBusConnection::sessionBus());
        for (const QString &step : steps.split(' ')) {
            if (step.startsWith("play") || step.startsWith("skip"))
                controller.playRow(step.right(1).toInt());
            if (step == "off")
                notifier.setEnabled(false);
            if (step == "active" || step == "inactive")
                notifier.setWindowActive(step == "active");
            if (step == "cover") {
                QImage cover(256, 128, QImage::Format_RGB32);
                cover.fill(Qt::red);
                notifier.setCover(cover);
            }
            if (step == "gone")
                offer(false, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                    &notificationService);
            if (step != "skip1")
                QTest::qWait(TrackNotifier::settleMs * 2);
        }
        offer(true, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
            &notificationService);
        QTEST(notificationService.calls, "calls");
    }

    void notificationsFromTheWindow()
    {
        clearStore();
        PlayerCore core(PlayerCore::DesktopBus::Session);
        PlayerWindow window(&core);
        core.start();
        QWidget elsewhere; // another window to go to
        window.show();
        elsewhere.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window) && QTest::qWaitForWindowExposed(&elsewhere));
        for (const int step : {0, 1, 2}) { // active, in the background, switched off
            QWidget *active = step == 0 ? static_cast<QWidget *>(&window) : &elsewhere;
            active->activateWindow();
            QApplication::setActiveWindow(active);
            QVERIFY2(QTest::qWaitForWindowActive(active), qPrintable(QString::number(step)));
            if (step == 2)
                window.findChild<QAction *>("notificationsAction")->trigger();
            QCOMPARE(window.findChild<QAction *>("notificationsAction")->isChecked(), step < 2);
            core.controller()->playUrl(QUrl::fromLocalFile(
                copyFixture("tone.wav", music.filePath(QString("w%1.wav").arg(step)))));
            QTest::qWait(TrackNotifier::settleMs * 2);
            QCOMPARE(notificationService.calls.size(), step == 0 ? 0 : 1);
        }
        QCOMPARE(store().value("notifications"), QVariant(false));
    }

    void sleep_data()
    {
        // Services: p = the portal, l = logind. Steps: a transport call, "end" of the track, or
        // "wait" past the release delay. calls: what the services heard; then whether logind's
        // lock is still held.
        columns<QString, QString, QStringList, bool>("services", "steps", "calls", "held");
        const QString asked = "inhibit 4 Playing music";
        QTest::newRow("one request across a track change")
            << "p"
            << "play0 end wait" << QStringList{asked} << false;
        QTest::newRow("released after a pause")
            << "p"
            << "play0 pause" << QStringList{asked, "close 1"} << false;
        QTest::newRow("released after a stop")
            << "p"
            << "play0 stop" << QStringList{asked, "close 1"} << false;
        QTest::newRow("released at the end of the list")
            << "p"
            << "play2 end" << QStringList{asked, "close 1"} << false;
        QTest::newRow("a short pause keeps it")
            << "p"
            << "play0 pause play wait" << QStringList{asked} << false;
        QTest::newRow("playing again after the release asks again")
            << "p"
            << "play0 pause wait play" << QStringList{asked, "close 1", "inhibit 4 Playing music"}
            << false;
        QTest::newRow("logind without a portal")
            << "l"
            << "play0 end" << QStringList{"login sleep Corvel Media Player Playing music block"}
            << true;
        QTest::newRow("logind's lock closed after a pause")
            << "l"
            << "play0 pause" << QStringList{"login sleep Corvel Media Player Playing music block"}
            << false;
        QTest::newRow("neither service") << ""
                                         << "play0" << QStringList() << false;
    }

    void sleep()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        QFETCH(QString, services);
        QFETCH(QStringList, calls);
        offer(services.contains('p'), "org.freedesktop.portal.Desktop",
            "/org/freedesktop/portal/desktop", &portal);
        offer(services.contains('l'), "org.freedesktop.login1", "/org/freedesktop/login1", &login);
        const QDBusConnection system
            = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "system");
        auto inhibitor = std::make_unique<SleepInhibitor>(
            &controller, nullptr, QDBusConnection::sessionBus(), system);
        QFETCH(QString, steps);
        for (const QString &step : steps.split(' ')) {
            if (step.startsWith("play") && step.size() > 4)
                controller.playRow(step.right(1).toInt());
            else if (step == "play")
                controller.play();
            else if (step == "pause")
                controller.pause();
            else if (step == "stop")
                controller.stop();
            else if (step == "end")
                backend->end();
            QTest::qWait(step == "wait" ? SleepInhibitor::releaseMs + 500 : 100);
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            portal.calls + login.calls, calls, SleepInhibitor::releaseMs + 2000);
        QFETCH(bool, held);
        QTRY_COMPARE_WITH_TIMEOUT(login.held(), held, SleepInhibitor::releaseMs + 2000);
        inhibitor.reset();
        QTRY_VERIFY(!login.held()); // the player's end lets go too
        QDBusConnection::disconnectFromBus("system");
    }
};

QTEST_MAIN(TestSessionBus)
#include "test_sessionbus.moc"
