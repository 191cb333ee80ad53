#include "desktop/MprisRootAdaptor.h"

#include "desktop/MprisService.h"
#include "library/scan/MusicFiles.h"

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
    // The formats the library scans for, as the desktop entry names them.
    return MusicFiles::mimeTypes();
}

void MprisRootAdaptor::Raise()
{
    emit service->raiseRequested();
}

void MprisRootAdaptor::Quit()
{
    emit service->quitRequested();
}
