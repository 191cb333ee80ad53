#pragma once

#include "Report.h"

#include <QElapsedTimer>
#include <QString>

#include <optional>

namespace bench {

/**
 * A second start handing a big folder to the running player, as a user
 * opening it from the file manager does: a window shown on the library, on
 * the desktop bus of a private session, and the real corvel-player started on
 * a folder of many files. Times the hand-over from the start until the files
 * are queued and the start has ended, and the longest stall of the running
 * player's event loop meanwhile.
 */
class HandOverBench {
public:
    /** The window shows the library in @p libraryFolder; @p files are handed over per run. */
    HandOverBench(const QString &libraryFolder, int files, int runs);

    /** "handover_ms" and "stall_handover_ms", or nothing when a step failed. */
    std::optional<Figures> run();

private:
    const QString libraryFolder;
    const int files;
    const int runs;
    QElapsedTimer clock;
};

} // namespace bench
