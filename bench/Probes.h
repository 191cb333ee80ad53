#pragma once

// What the bench reads off the program: times, waits on the event loop,
// memory figures, the cache file's state and the window's named children.

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <vector>

class PlayerWindow;
class TrackList;

namespace bench {

class PaintProbe;

/** The median of @p values, 0 of none. */
double median(std::vector<double> values);
/** The time on @p timer, in ms. */
double elapsedMs(const QElapsedTimer &timer);

/**
 * Turns the event loop until @p done holds, checking every millisecond, or
 * until @p timeoutMs have passed. Returns whether @p done held when it was
 * last checked (a timer of the window firing in the same turn cannot undo
 * it). The short interval keeps the GUI thread from spinning while a scan or
 * a cache read runs beside it.
 */
bool runUntil(const std::function<bool()> &done, int timeoutMs);
/** Processes pending events until @p probe has seen a paint beyond @p paintsBefore. */
bool processUntilPainted(const PaintProbe &probe, int paintsBefore, int timeoutMs = 10000);

/** What a stat of the cache file tells apart: a rewrite changes it. */
QString fileSignature(const QString &path);

/** The resident memory (VmRSS), in MB, or -1. */
double residentMb();
/** The resident memory once the heap has given back what is free (glibc), in MB. */
double liveResidentMb();
/** The resident memory's high-water mark (VmHWM), in MB, or -1. */
double peakRssMb();
/** Starts the high-water mark again from the memory resident now (Linux); false when it cannot. */
bool resetPeakRss();

/** The window's track list. */
TrackList *trackList(const PlayerWindow &window);
/** The rows the window's track list shows. */
int listRows(const PlayerWindow &window);
/** The window's status line. */
QString statusText(const PlayerWindow &window);

} // namespace bench
