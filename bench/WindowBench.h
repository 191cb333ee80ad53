#pragma once

#include "Report.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class PlayerWindow;
class SearchDialog;

namespace bench {

/** Deletes a window and then the core it shows, in the order the program ends them. */
struct WindowAndCore {
    void operator()(PlayerWindow *window) const;
};
/** A shown window together with the core it is a view of. */
using Window = std::unique_ptr<PlayerWindow, WindowAndCore>;

/**
 * Drives real, shown PlayerWindows through their public API and named
 * children to time what a user waits for and how long the window freezes:
 * start-up from the cache (and an empty window's), a full refresh, an update,
 * an install, the cache save and typing into the search dialog.
 */
class WindowBench {
public:
    WindowBench(const QString &folder, int tracks, int runs);

    /** Every figure as its key and median, or nothing when a step failed. */
    std::optional<Figures> run();

private:
    /**
     * A new core on the stored settings and a window on it, started as the
     * program starts them: the one place the bench builds one.
     */
    Window openWindow();
    /** Start-up without a music folder: construction until the empty list is painted. */
    bool timeEmptyStartup(double &ms, double &constructionMs);
    /** Start-up with "musicFolder" stored: construction until the full list is painted. */
    bool timeStartup(Window &window, double &ms, double &constructionMs, double &stallMs);
    bool timeRefresh(PlayerWindow &window, double &stallMs, double &saveStallMs);
    bool timeUpdate(PlayerWindow &window, double &ms, double &stallMs);
    bool timeInstall(PlayerWindow &window, double &ms, double &stallMs);
    bool timeWatch(PlayerWindow &window, Figures &figures);
    std::optional<std::vector<double>> typeQueries(
        SearchDialog &dialog, const QStringList &queries);
    /**
     * Keeps the high-water mark since the last call as @p key's figure (the
     * highest of its runs), and the highest of all as "peak_rss_mb"; the mark
     * starts again.
     */
    void notePeak(Figures &figures, const char *key);

    const QString folder;
    const QString cachePath;
    const int tracks;
    const int runs;
    QElapsedTimer clock;
};

} // namespace bench
