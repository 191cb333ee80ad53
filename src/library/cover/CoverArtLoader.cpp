#include "library/cover/CoverArtLoader.h"

CoverArtLoader::CoverArtLoader(QObject *parent)
    : QObject(parent)
{
    // One read at a time: they come one per track, and a skip through the
    // list leaves only the newest to do.
    worker.setMaxThreadCount(1);
}

CoverArtLoader::~CoverArtLoader()
{
    latest = 0; // nothing still queued needs reading
    worker.clear();
    worker.waitForDone();
}

void CoverArtLoader::request(const QString &trackPath)
{
    if (trackPath == requested && latest != 0)
        return;
    requested = trackPath;
    const quint64 number = ++latest;
    if (trackPath.isEmpty()) {
        CoverArt none;
        announce(none);
        return;
    }
    worker.start([this, number, trackPath] {
        if (latest != number)
            return; // overtaken while it waited
        const CoverArt art = CoverArt::read(trackPath);
        QMetaObject::invokeMethod(
            this,
            [this, number, art] {
                if (number == latest)
                    announce(art);
            },
            Qt::QueuedConnection);
    });
}

void CoverArtLoader::show(const CoverArt &art)
{
    requested = art.track;
    ++latest;
    announce(art);
}

CoverArt CoverArtLoader::current() const
{
    return shown;
}

void CoverArtLoader::announce(const CoverArt &art)
{
    shown = art;
    emit coverChanged(art);
}
