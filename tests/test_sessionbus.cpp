// Over a private bus, against fake desktop services: a notification per track change, and no
// suspend while playing.

#include "FakeMediaBackend.h"
#include "TestSupport.h"
#include "desktop/SleepInhibitor.h"
#include "desktop/TrackNotifier.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"

#include <QtDBus>
#include <QtTest>

#include <poll.h>

using namespace TestSupport;

/**
 * The notification service, the portal's Inhibit with its requests' Close, and logind's
 * Inhibit, under /org/freedesktop: each call recorded in a line, answered as the real ones do.
 */
class FakeDesktop : public QDBusVirtualObject {
public:
    QStringList calls;
    int readEnd = -1; // of the pipe whose writing end logind's Inhibit hands out

    /** Whether the descriptor logind handed out is still open somewhere. */
    bool held() const
    {
        pollfd end{readEnd, POLLIN, 0};
        return readEnd >= 0 && ::poll(&end, 1, 0) == 0;
    }
    QString introspect(const QString &) const override
    {
        return {};
    }
    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        const QVariantList args = call.arguments();
        QDBusMessage reply = call.createReply();
        if (call.member() == "Notify") { // as "replaces:summary|body|hints"
            const QVariantMap hints = qdbus_cast<QVariantMap>(args.value(6));
            QStringList seen{hints.value("desktop-entry").toString()};
            if (hints.contains("image-data")) { // as its signature and values, the data's size
                const QDBusArgument image = hints.value("image-data").value<QDBusArgument>();
                seen << image.currentSignature();
                image.beginStructure();
                while (!image.atEnd()) {
                    const QVariant value = image.asVariant();
                    seen << (value.metaType() == QMetaType::fromType<QByteArray>()
                            ? QString::number(value.toByteArray().size())
                            : value.toString());
                }
                image.endStructure();
            }
            calls << QString("%1:%2|%3|%4")
                         .arg(args.value(1).toString(), args.value(3).toString(),
                             args.value(4).toString(), seen.join(' '));
            reply << uint(100 + calls.size());
        } else if (call.interface() == "org.freedesktop.portal.Inhibit") {
            calls << "inhibit" + args.value(0).toString() + ' ' + args.value(1).toString() + ' '
                    + qdbus_cast<QVariantMap>(args.value(2)).value("reason").toString();
            reply << QDBusObjectPath(
                QString("/org/freedesktop/portal/desktop/request/%1").arg(calls.size()));
        } else if (call.member() == "Close") {
            calls << "close " + call.path().section('/', -1);
        } else if (call.interface() == "org.freedesktop.login1.Manager") {
            calls << "login " + args.value(0).toString() + ' ' + args.value(1).toString() + ' '
                    + args.value(2).toString() + ' ' + args.value(3).toString();
            int ends[2];
            if (::pipe(ends) != 0)
                qFatal("no pipe");
            if (readEnd >= 0)
                ::close(readEnd);
            readEnd = ends[0];
            reply << QVariant::fromValue(QDBusUnixFileDescriptor(ends[1])); // a copy of its own
            ::close(ends[1]);
        }
        return bus.send(reply);
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
    FakeDesktop desktop;

    bool load()
    {
        writeCache(Library::cachePath(music.path()),
            {{paths[0], "Artist", "Zero", "Album", "1:00"}, {paths[1], "", "One", "", "1:00"},
                {paths[2], "Tom & Jerry <live>", "Two <b>", "A>B", "1:00"}});
        return library.tracks()->loadFromCache(Library::cachePath(music.path()));
    }
    /** Offers exactly the services named in @p names: n(otifications), p(ortal), l(ogind). */
    void offer(const QString &names)
    {
        const QStringList all{"org.freedesktop.Notifications", "org.freedesktop.portal.Desktop",
            "org.freedesktop.login1"};
        for (const QString &service : all) {
            if (names.contains(service.at(16).toLower()))
                services.registerService(service);
            else
                services.unregisterService(service);
        }
    }
    /** A transport step: playN, play, pause, stop, end (of the track) or wait (past the release).
     */
    void act(const QString &step)
    {
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
        QTest::qWait(
            step == "wait" ? SleepInhibitor::releaseMs + 500 : TrackNotifier::settleMs * 2);
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY2(useSessionBus(daemon), "no dbus-daemon");
        services = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "services");
        QVERIFY(loaded);
        QVERIFY(
            services.registerVirtualObject("/org/freedesktop", &desktop, QDBusConnection::SubPath));
    }

    void cleanupTestCase()
    {
        daemon.kill();
        daemon.waitForFinished();
    }

    void init()
    {
        offer("npl");
        controller.stop();
        QTest::qWait(TrackNotifier::settleMs * 2);
        desktop.calls.clear();
    }

    void notifications_data()
    {
        columns<QString, QStringList>("steps", "calls");
        const QString zero = "Zero|Artist — Album|com.tavrenin.CorvelPlayer";
        const QString one = "One||com.tavrenin.CorvelPlayer";
        const QString cover = " (iiibiiay) 128 64 384 false 8 3 24576";
        const auto row = [](const char *name, const char *steps, const QStringList &calls) {
            QTest::newRow(name) << steps << calls;
        };
        row("a change in the background", "play0", {"0:" + zero});
        row("each replaces the one before", "play0 play1", {"0:" + zero, "101:" + one});
        row("markup escaped in the body", "play2",
            {"0:Two <b>|Tom &amp; Jerry &lt;live&gt; — A&gt;B|com.tavrenin.CorvelPlayer"});
        row("quick skips: only where they end", "skip1 play0", {"0:" + zero});
        row("the same track again is no change", "play0 play0", {"0:" + zero});
        row("nothing while the window is active", "active play0", {});
        row("the window went to the background", "active play1 inactive play0", {"0:" + zero});
        row("switched off", "off play0", {});
        row("the cover comes later: shown in place, at most 128 px", "play0 cover",
            {"0:" + zero, "101:" + zero + cover});
        row("the cover known at once", "skip1 cover", {"0:" + one + cover});
        row("the next track forgets the cover", "play0 cover play1",
            {"0:" + zero, "101:" + zero + cover, "102:" + one});
        row("no notification service", "gone play0", {});
    }

    void notifications()
    {
        QTest::failOnWarning(QRegularExpression(".*")); // a missing service is no error
        QFETCH(QString, steps);
        TrackNotifier notifier(&controller, nullptr, QDBusConnection::sessionBus());
        for (const QString &step : steps.split(' ')) {
            if (step == "skip1") {
                controller.playRow(1);
                continue;
            }
            notifier.setEnabled(notifier.isEnabled() && step != "off");
            if (step == "active" || step == "inactive")
                notifier.setWindowActive(step == "active");
            if (step == "gone")
                offer("");
            if (step == "cover") {
                QImage cover(256, 128, QImage::Format_RGB32);
                cover.fill(Qt::red);
                notifier.setCover(cover);
            }
            act(step);
        }
        QTEST(desktop.calls, "calls");
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
        auto *entry = window.findChild<QAction *>("notificationsAction");
        for (const int step : {0, 1, 2}) { // active, in the background, switched off
            QWidget *active = step == 0 ? static_cast<QWidget *>(&window) : &elsewhere;
            active->activateWindow();
            QVERIFY2(QTest::qWaitForWindowActive(active), qPrintable(QString::number(step)));
            if (step == 2)
                entry->trigger();
            QCOMPARE(entry->isChecked(), step < 2);
            core.controller()->playUrl(QUrl::fromLocalFile(
                copyFixture("tone.wav", music.filePath(QString("w%1.wav").arg(step)))));
            QTest::qWait(TrackNotifier::settleMs * 2);
            QCOMPARE(desktop.calls.filter(QRegularExpression("^\\d+:")).size(), step == 0 ? 0 : 1);
        }
        QCOMPARE(store().value("notifications"), QVariant(false));
    }

    void sleep_data()
    {
        // services: as offer() names them. calls: what they heard; held: logind's lock after it.
        columns<QString, QString, QStringList, bool>("services", "steps", "calls", "held");
        const QString asked = "inhibit 4 Playing music";
        const QString login = "login sleep Corvel Media Player Playing music block";
        const auto row = [](const char *name, const char *services, const char *steps,
                             const QStringList &calls, bool held = false) {
            QTest::newRow(name) << services << steps << calls << held;
        };
        row("one request across a track change", "p", "play0 end wait", {asked});
        row("released after a pause", "p", "play0 pause", {asked, "close 1"});
        row("released after a stop", "p", "play0 stop", {asked, "close 1"});
        row("released at the end of the list", "p", "play2 end", {asked, "close 1"});
        row("a short pause keeps it", "p", "play0 pause play wait", {asked});
        row("playing again after the release asks again", "p", "play0 pause wait play",
            {asked, "close 1", asked});
        row("logind without a portal", "l", "play0 end", {login}, true);
        row("logind's lock closed after a pause", "l", "play0 pause", {login});
        row("neither service", "", "play0", {});
    }

    void sleep()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        QFETCH(QString, services);
        QFETCH(QString, steps);
        QFETCH(QStringList, calls);
        QFETCH(bool, held);
        offer(services);
        // The system bus's logind, on the test's bus.
        const auto system = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "system");
        auto inhibitor = std::make_unique<SleepInhibitor>(
            &controller, nullptr, QDBusConnection::sessionBus(), system);
        for (const QString &step : steps.split(' '))
            act(step);
        const int late = SleepInhibitor::releaseMs + 2000;
        QTRY_COMPARE_WITH_TIMEOUT(desktop.calls, calls, late);
        QTRY_COMPARE_WITH_TIMEOUT(desktop.held(), held, late);
        inhibitor.reset();
        QTRY_VERIFY(!desktop.held()); // the player's end lets go too
        QDBusConnection::disconnectFromBus("system");
    }
};

QTEST_MAIN(TestSessionBus)
#include "test_sessionbus.moc"
