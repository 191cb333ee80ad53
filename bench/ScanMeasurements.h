#pragma once

// The library's own figures, without a window: the scan against the bare
// TagLib floor, and the cache save and load.

#include "Report.h"
#include "SyntheticLibrary.h"

#include <QString>

#include <vector>

namespace bench {

/**
 * Scans @p root (the synthetic library of @p tracks tracks, @p files its
 * audio files) and reads the same files bare, @p runs times each, checks
 * every record the scan made, then saves and loads the cache @p runs times.
 * Adds scan_ms, floor_ms, scan_over_floor, cache_save_ms and cache_load_ms
 * to @p figures and what the floor read to @p checksum; false with a report
 * when a step failed. The cache is left written at Library::cachePath(root).
 */
bool measureScan(const QString &root, const std::vector<NativePath> &files, int tracks, int runs,
    Figures &figures, qint64 &checksum);

} // namespace bench
