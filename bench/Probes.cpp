#include "Probes.h"

#include "PaintProbe.h"
#include "ui/PlayerWindow.h"
#include "ui/widgets/TrackList.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QList>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>

namespace bench {

namespace {

/** A memory figure of /proc/self/status (VmRSS, VmHWM) in MB, or -1. */
double statusMb(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    // /proc files report size 0, so read to the end rather than test atEnd().
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(key)) {
            const QList<QByteArray> parts = line.mid(key.size()).simplified().split(' ');
            return parts.value(0).toDouble() / 1024.0; // kB
        }
    }
    return -1;
}

} // namespace

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    bool held = false;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!held && done()) {
            held = true;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return held;
}

bool processUntilPainted(const PaintProbe &probe, int paintsBefore, int timeoutMs)
{
    QElapsedTimer guard;
    guard.start();
    do {
        QCoreApplication::processEvents();
        if (probe.paints > paintsBefore)
            return true;
    } while (guard.elapsed() < timeoutMs);
    return false;
}

QString fileSignature(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QStringLiteral("%1 %2 %3")
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch())
        .arg(info.metadataChangeTime().toMSecsSinceEpoch());
}

double residentMb()
{
    return statusMb("VmRSS:");
}

double liveResidentMb()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    return residentMb();
}

double peakRssMb()
{
    return statusMb("VmHWM:");
}

bool resetPeakRss()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

TrackList *trackList(const PlayerWindow &window)
{
    return window.findChild<TrackList *>(QStringLiteral("trackList"));
}

int listRows(const PlayerWindow &window)
{
    return trackList(window)->model()->rowCount();
}

QString statusText(const PlayerWindow &window)
{
    return window.findChild<QLabel *>(QStringLiteral("statusLine"))->text();
}

} // namespace bench
