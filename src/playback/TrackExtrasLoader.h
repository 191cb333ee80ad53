#pragma once

#include "playback/TrackExtras.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>

/**
 * Reads the extras of the track that starts (TrackExtras) on a worker thread
 * of its own, never the GUI thread, one read at a time. Each request is
 * numbered: one that a newer request overtook while it waited is not read,
 * and the answer to one overtaken while it was read is dropped.
 */
class TrackExtrasLoader : public QObject {
    Q_OBJECT

public:
    explicit TrackExtrasLoader(QObject *parent = nullptr);
    /** Waits for the read under way, whose answer is then dropped. */
    ~TrackExtrasLoader() override;

    /** Reads the audio file @p path; extrasRead() follows unless a newer request overtakes it. */
    void request(const QString &path);

signals:
    /** The answer to the request made last. */
    void extrasRead(const TrackExtras &extras);

private:
    QThreadPool worker;
    // The number of the newest request; a read compares its own against it.
    std::atomic<quint64> latest{0};
};
