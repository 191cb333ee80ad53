#include "desktop/MprisRootAdaptor.h"

#include "desktop/MprisService.h"

#include <QGuiApplication>

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , service(service)
{
}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("Corvel Media Player");
}

QString MprisRootAdaptor::desktopEntry() const
{
    // Set once at start-up, next to the installed .desktop file's name.
    return QGuiApplication::desktopFileName();
}

QStringList MprisRootAdaptor::supportedUriSchemes() const
{
    return {QStringLiteral("file")};
}

QStringList MprisRootAdaptor::supportedMimeTypes() const
{
    // The four formats the library scans for, under the names and aliases
    // that file managers hand over.
    return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/ogg"),
        QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/wav"),
        QStringLiteral("audio/x-wav"), QStringLiteral("audio/flac"),
        QStringLiteral("audio/x-flac")};
}

void MprisRootAdaptor::Raise()
{
    emit service->raiseRequested();
}

void MprisRootAdaptor::Quit()
{
    emit service->quitRequested();
}
