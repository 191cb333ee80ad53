#pragma once

// The cover art reader's cost on an ordinary picture and on hostile ones, each
// the time of one CoverArt::read() of a track in a folder of its own.

#include "Report.h"

namespace bench {

/**
 * Reads the cover of a track with a 600 px embedded JPEG, and of tracks with
 * a 20000 x 20000 PNG or JPEG beside them, a 5000 x 5000 PNG past the
 * allocation limit and a 50 MB picture frame, @p runs times each. Adds the
 * medians as cover_*_ms to @p figures; false with a report when a read did
 * not give what it should.
 */
bool measureCovers(int runs, Figures &figures);

} // namespace bench
