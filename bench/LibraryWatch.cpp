#include "LibraryWatch.h"

#include "Probes.h"
#include "Report.h"
#include "ui/PlayerWindow.h"
#include "ui/widgets/TrackList.h"

#include <algorithm>

namespace bench {

LibraryWatch::LibraryWatch(
    PlayerWindow &window, const QElapsedTimer &clock, const QString &cachePath)
    : window(window)
    , clock(clock)
    , cachePath(cachePath)
    , probe(trackList(window)->viewport(), clock)
    , meter(clock, [this](qint64 now) { checkCache(now); })
{
    QObject::connect(window.library(), &Library::installed, &context, [this](Library::Install how) {
        installs.emplace_back(how, this->clock.nsecsElapsed());
        seen << QStringLiteral("installed %1").arg(int(how));
    });
    QObject::connect(window.library(), &Library::status, &context,
        [this](const QString &message) { seen << message; });
    QObject::connect(trackList(window)->model(), &QAbstractItemModel::modelReset, &context,
        [this] { paintsAtReset = probe.paints; });
}

void LibraryWatch::begin()
{
    installs.clear();
    seen.clear();
    cacheWrittenNs = -1;
    cacheBefore = fileSignature(cachePath);
    meter.start();
    beganNs = clock.nsecsElapsed();
}

void LibraryWatch::end()
{
    meter.stop();
}

bool LibraryWatch::waitForInstall(Library::Install how, const char *operation)
{
    const auto installed = [&] {
        return std::any_of(installs.cbegin(), installs.cend(),
            [how](const auto &install) { return install.first == how; });
    };
    if (!runUntil(installed, 180000)) {
        err() << operation << ": no install of kind " << int(how)
              << " came; seen: " << seen.join(QStringLiteral(" | "))
              << "; status line: " << statusText(window) << Qt::endl;
        return false;
    }
    return waitForPaintedList(operation);
}

bool LibraryWatch::waitForPaintedList(const char *operation, int rows)
{
    const auto painted
        = [&] { return (rows < 0 || listRows(window) == rows) && probe.paints > paintsAtReset; };
    if (!runUntil(painted, 30000)) {
        err() << operation << ": the list was not painted with " << rows << " rows (it has "
              << listRows(window) << ")" << Qt::endl;
        return false;
    }
    return true;
}

bool LibraryWatch::waitForCacheWrite(const char *operation)
{
    if (!runUntil([&] { return cacheWrittenNs >= 0; }, 180000)) {
        err() << operation << ": the cache was not written" << Qt::endl;
        return false;
    }
    return true;
}

qint64 LibraryWatch::paintedAt() const
{
    return probe.paintTimes.at(size_t(paintsAtReset));
}

double LibraryWatch::cacheSaveStallMs() const
{
    if (cacheWrittenNs < 0 || installs.empty())
        return -1;
    const qint64 installTurnEnd = meter.endAround(installs.back().second);
    if (installTurnEnd < 0 || cacheWrittenNs <= installTurnEnd)
        return meter.aroundMs(installs.back().second);
    return meter.longestMs(installTurnEnd, cacheWrittenNs);
}

void LibraryWatch::checkCache(qint64 now)
{
    if (cacheWrittenNs < 0 && fileSignature(cachePath) != cacheBefore)
        cacheWrittenNs = now;
}

} // namespace bench
