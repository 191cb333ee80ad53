#include "desktop/MprisPlayerAdaptor.h"

#include "desktop/MprisService.h"
#include "playback/PlayerController.h"

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , service(service)
{
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return service->playbackStatus();
}

QString MprisPlayerAdaptor::loopStatus() const
{
    return service->loopStatus();
}

void MprisPlayerAdaptor::setLoopStatus(const QString &status)
{
    service->setLoopStatus(status);
}

bool MprisPlayerAdaptor::shuffle() const
{
    return service->shuffle();
}

void MprisPlayerAdaptor::setShuffle(bool on)
{
    service->setShuffle(on);
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return service->metadata();
}

double MprisPlayerAdaptor::volume() const
{
    return service->volume();
}

void MprisPlayerAdaptor::setVolume(double level)
{
    service->setVolume(level);
}

qlonglong MprisPlayerAdaptor::position() const
{
    return service->position();
}

void MprisPlayerAdaptor::Next()
{
    service->controller()->next();
}

void MprisPlayerAdaptor::Previous()
{
    service->controller()->previous();
}

void MprisPlayerAdaptor::Pause()
{
    service->controller()->pause();
}

void MprisPlayerAdaptor::PlayPause()
{
    service->controller()->togglePlayPause();
}

void MprisPlayerAdaptor::Stop()
{
    service->controller()->stop();
}

void MprisPlayerAdaptor::Play()
{
    service->controller()->play();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset)
{
    service->seek(Offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath &TrackId, qlonglong Position)
{
    service->setPosition(TrackId, Position);
}

void MprisPlayerAdaptor::OpenUri(const QString &Uri)
{
    service->openUri(Uri);
}
