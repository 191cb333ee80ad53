#pragma once

#include "library/Playlist.h"
#include "library/cover/CoverArt.h"
#include "playback/ReplayGain.h"

#include <QMetaType>
#include <QString>

/**
 * What a track that starts needs from its file beyond the sound, read in one
 * pass with one open of the file: its tags as the list shows them, its cover
 * (with the folder image beside it as the fallback) and its ReplayGain gains.
 */
struct TrackExtras {
    /** Reads the audio file @p path; blocking, for a worker thread. */
    static TrackExtras read(const QString &path);

    /** The file read. */
    QString path;
    /** Its tags; empty ones and "0:00" for a file TagLib cannot read. */
    Playlist::TrackInfo track;
    CoverArt cover;
    ReplayGain::Gains gains;
};

Q_DECLARE_METATYPE(TrackExtras)
