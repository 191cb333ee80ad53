#pragma once

#include "PaintProbe.h"
#include "StallMeter.h"

#include "library/Library.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class PlayerWindow;

namespace bench {

/**
 * Watches one window's library while an operation runs: the installs and the
 * status messages (for the report when a wait fails), the list's resets and
 * paints, the stalls, and the moment the cache file was rewritten.
 */
class LibraryWatch {
public:
    LibraryWatch(PlayerWindow &window, const QElapsedTimer &clock, const QString &cachePath);

    /** Starts an operation: the stall meter runs and the cache's state is noted. */
    void begin();
    /** Ends the operation's stall measurement. */
    void end();

    /** Waits for an install of @p how after begin() and its painted list; false with a report. */
    bool waitForInstall(Library::Install how, const char *operation);
    /** Waits until the list shows every row and was painted after it was last reset. */
    bool waitForPaintedList(const char *operation, int rows = -1);
    /** Waits until the cache file was rewritten after begin(). */
    bool waitForCacheWrite(const char *operation);

    /** When the list was first painted after its last reset. */
    qint64 paintedAt() const;
    /**
     * The longest stall while the cache was written: between the last install
     * and the turn that saw the new file, or the install's own turn when the
     * file was written in it.
     */
    double cacheSaveStallMs() const;

    PlayerWindow &window;
    const QElapsedTimer &clock;
    const QString cachePath;
    PaintProbe probe;
    StallMeter meter;
    qint64 beganNs = 0;
    int paintsAtReset = 0;

private:
    void checkCache(qint64 now);

    QObject context;
    std::vector<std::pair<Library::Install, qint64>> installs;
    QStringList seen;
    QString cacheBefore;
    qint64 cacheWrittenNs = -1;
};

} // namespace bench
