#include "playback/TrackExtrasLoader.h"

TrackExtrasLoader::TrackExtrasLoader(QObject *parent)
    : QObject(parent)
{
    // One read at a time: they come one per track, and a skip through the
    // list leaves only the newest to do.
    worker.setMaxThreadCount(1);
}

TrackExtrasLoader::~TrackExtrasLoader()
{
    latest = 0; // nothing still queued needs reading
    worker.clear();
    worker.waitForDone();
}

void TrackExtrasLoader::request(const QString &path)
{
    const quint64 number = ++latest;
    worker.start([this, number, path] {
        if (latest != number)
            return; // overtaken while it waited
        const TrackExtras extras = TrackExtras::read(path);
        QMetaObject::invokeMethod(
            this,
            [this, number, extras] {
                if (number == latest)
                    emit extrasRead(extras);
            },
            Qt::QueuedConnection);
    });
}
