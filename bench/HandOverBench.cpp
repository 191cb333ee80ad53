#include "HandOverBench.h"

#include "Probes.h"
#include "StallMeter.h"
#include "app/PlayerCore.h"
#include "desktop/MprisService.h"
#include "library/Library.h"
#include "playback/QueueController.h"
#include "ui/PlayerWindow.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace bench {

namespace {

/** @p count links to one small audio fixture (copies where links fail), 100 to a folder. */
bool writeFiles(const QString &root, int count)
{
    const QString source = QStringLiteral(CORVEL_FIXTURES_DIR "/tone.mp3");
    for (int i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("%1/%2").arg(root).arg(i / 100, 3, 10, QChar('0'));
        if (i % 100 == 0 && !QDir().mkpath(folder))
            return false;
        const QString file = QStringLiteral("%1/%2.mp3").arg(folder).arg(i, 5, 10, QChar('0'));
#ifdef Q_OS_UNIX
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(file).constData()) == 0)
            continue;
#endif
        if (!QFile::copy(source, file))
            return false;
    }
    return true;
}

} // namespace

HandOverBench::HandOverBench(const QString &libraryFolder, int files, int runs)
    : libraryFolder(libraryFolder)
    , files(files)
    , runs(runs)
{
    clock.start();
}

std::optional<Figures> HandOverBench::run()
{
    QTemporaryDir temp;
    const QString folder = temp.filePath(QStringLiteral("Opened"));
    if (!temp.isValid() || !writeFiles(folder, files)) {
        err() << "hand-over: cannot write " << files << " files" << Qt::endl;
        return std::nullopt;
    }
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--print-address"),
            QStringLiteral("--nofork")});
    if (!daemon.waitForStarted() || !daemon.waitForReadyRead(10000)) {
        err() << "hand-over: no dbus-daemon" << Qt::endl;
        return std::nullopt;
    }
    const QString address = QString::fromLatin1(daemon.readLine().trimmed());
    const QString connectionName = QStringLiteral("bench-player");
    std::optional<Figures> figures;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
        {
            QSettings store(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"));
            store.clear();
            store.setValue(QStringLiteral("musicFolder"), libraryFolder);
        }
        // The running player: a shown window on the library, on the private bus.
        std::unique_ptr<PlayerCore> core(new PlayerCore);
        std::unique_ptr<PlayerWindow> window(new PlayerWindow(core.get()));
        core->start();
        window->resize(900, 650);
        window->show();
        const auto *service = new MprisService(core->controller(), bus);
        if (!service->isRegistered()
            || !runUntil([&] { return !core->library()->busy(); }, 180000)) {
            err() << "hand-over: the player is not ready" << Qt::endl;
            daemon.kill();
            daemon.waitForFinished();
            return std::nullopt;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        std::vector<double> times;
        std::vector<double> stalls;
        for (int run = 0; run < runs; ++run) {
            err() << "  hand-over run " << (run + 1) << " / " << runs << Qt::endl;
            core->queue()->clear();
            QProcess second;
            second.setProcessEnvironment(environment);
            second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            StallMeter meter(clock);
            meter.start();
            const qint64 began = clock.nsecsElapsed();
            second.start(QStringLiteral(CORVEL_PLAYER_PATH), {folder});
            // The first file plays, the others are queued after it.
            const bool done = runUntil(
                [&] {
                    return second.state() == QProcess::NotRunning
                        && core->queue()->paths().size() == files - 1;
                },
                60000);
            meter.stop();
            if (!done || second.exitCode() != 0) {
                err() << "hand-over: " << core->queue()->paths().size() << " of " << (files - 1)
                      << " files queued, the start ended with " << second.exitCode() << Qt::endl;
                break;
            }
            times.push_back(double(clock.nsecsElapsed() - began) / 1e6);
            stalls.push_back(meter.longestMs());
        }
        if (int(times.size()) == runs)
            figures = Figures{{QStringLiteral("handover_ms"), median(times)},
                {QStringLiteral("stall_handover_ms"), median(stalls)}};
        window.reset();
        core.reset();
    }
    QDBusConnection::disconnectFromBus(connectionName);
    daemon.kill();
    daemon.waitForFinished();
    return figures;
}

} // namespace bench
