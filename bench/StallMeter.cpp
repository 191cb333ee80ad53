#include "StallMeter.h"

#include <algorithm>
#include <limits>

namespace bench {

StallMeter::StallMeter(const QElapsedTimer &clock, std::function<void(qint64)> onTick)
    : clock(clock)
    , onTick(std::move(onTick))
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, &timer, [this] { tick(); });
}

void StallMeter::start()
{
    gaps.clear();
    last = clock.nsecsElapsed();
    timer.start();
}

void StallMeter::stop()
{
    record(clock.nsecsElapsed());
    timer.stop();
}

double StallMeter::longestMs(qint64 fromNs, qint64 toNs) const
{
    qint64 longest = 0;
    for (const auto &[end, length] : gaps) {
        if (end > fromNs && end <= toNs)
            longest = std::max(longest, length);
    }
    return double(longest) / 1e6;
}

double StallMeter::longestMs() const
{
    return longestMs(-1, std::numeric_limits<qint64>::max());
}

double StallMeter::firstMs() const
{
    return gaps.empty() ? 0 : double(gaps.front().second) / 1e6;
}

double StallMeter::longestAfterFirstMs() const
{
    return gaps.empty() ? 0 : longestMs(gaps.front().first, std::numeric_limits<qint64>::max());
}

double StallMeter::aroundMs(qint64 atNs) const
{
    for (const auto &[end, length] : gaps) {
        if (end >= atNs && end - length <= atNs)
            return double(length) / 1e6;
    }
    return -1;
}

qint64 StallMeter::endAround(qint64 atNs) const
{
    for (const auto &[end, length] : gaps) {
        if (end >= atNs && end - length <= atNs)
            return end;
    }
    return -1;
}

void StallMeter::record(qint64 now)
{
    gaps.emplace_back(now, now - last);
    last = now;
}

void StallMeter::tick()
{
    const qint64 now = clock.nsecsElapsed();
    record(now);
    if (onTick)
        onTick(now);
}

} // namespace bench
