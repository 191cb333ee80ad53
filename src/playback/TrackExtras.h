#pragma once

#include "library/cover/CoverArt.h"
#include "playback/ReplayGain.h"

#include <QMetaType>
#include <QString>

/**
 * What a track that starts needs from its file beyond the sound, read in one
 * pass with one open of the file: its cover (with the folder image beside it
 * as the fallback) and its ReplayGain gains.
 */
struct TrackExtras {
    /** Reads the audio file @p path; blocking, for a worker thread. */
    static TrackExtras read(const QString &path);

    /** The file read. */
    QString path;
    CoverArt cover;
    ReplayGain::Gains gains;
};

Q_DECLARE_METATYPE(TrackExtras)
