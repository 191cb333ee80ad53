#pragma once

#include "library/cover/CoverArt.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>

/**
 * Reads the cover of the playing track on a worker thread of its own, never
 * the GUI thread, and announces it. Each request is numbered: the answer to a
 * request that a newer one has overtaken is dropped, so a slow read of the
 * previous track never shows over the current one.
 */
class CoverArtLoader : public QObject {
    Q_OBJECT

public:
    explicit CoverArtLoader(QObject *parent = nullptr);
    /** Waits for the read under way, whose answer is then dropped. */
    ~CoverArtLoader() override;

    /**
     * Reads the cover of the audio file @p trackPath; coverChanged() follows.
     * Asking again for the file asked for last changes nothing; an empty path
     * announces no cover at once.
     */
    void request(const QString &trackPath);
    /**
     * Announces @p art, a cover read elsewhere (with the rest of the track's
     * file, in one pass), as the answer to the newest request: it overtakes
     * any read still under way here.
     */
    void show(const CoverArt &art);
    /** The cover announced last (an empty one before the first). */
    CoverArt current() const;

signals:
    /** The cover of the track asked for last: @p art's image is null when it has none. */
    void coverChanged(const CoverArt &art);

private:
    void announce(const CoverArt &art);

    QThreadPool worker;
    QString requested;
    // The number of the newest request; a read compares its own against it.
    std::atomic<quint64> latest{0};
    CoverArt shown;
};
