#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <utility>
#include <vector>

namespace bench {

/**
 * The event loop's responsiveness: a 1 ms repeating timer that notes every
 * gap between its timeouts. A gap longer than a few milliseconds is a turn of
 * the loop that something held up: what the user feels as a frozen window.
 */
class StallMeter {
public:
    /** @p onTick runs after every timeout, with the time of the timeout. */
    explicit StallMeter(const QElapsedTimer &clock, std::function<void(qint64)> onTick = {});

    /** Starts a new measurement now. */
    void start();
    /** Ends the measurement; the gap up to now counts. */
    void stop();
    /** The longest gap that ended after @p fromNs and by @p toNs, in ms. */
    double longestMs(qint64 fromNs, qint64 toNs) const;
    /** The longest gap of the whole measurement, in ms. */
    double longestMs() const;
    /** The first gap, in ms: the turn in which the measurement started. */
    double firstMs() const;
    /** The longest gap after the first, in ms. */
    double longestAfterFirstMs() const;
    /** The gap during which @p atNs fell, in ms, or -1 while it has not ended. */
    double aroundMs(qint64 atNs) const;
    /** The end of the gap during which @p atNs fell, or -1. */
    qint64 endAround(qint64 atNs) const;

private:
    void record(qint64 now);
    void tick();

    const QElapsedTimer &clock;
    std::function<void(qint64)> onTick;
    QTimer timer;
    qint64 last = 0;
    std::vector<std::pair<qint64, qint64>> gaps; // end, length
};

} // namespace bench
