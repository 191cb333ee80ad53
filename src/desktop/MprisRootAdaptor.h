#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

class MprisService;

/** The MPRIS2 root interface: identity, raise and quit. */
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    /** Adds the interface to @p service. */
    explicit MprisRootAdaptor(MprisService *service);

    bool canQuit() const
    {
        return true;
    }
    bool canRaise() const
    {
        return true;
    }
    bool hasTrackList() const
    {
        return false;
    }
    QString identity() const;
    /** The installed .desktop file's name without the suffix. */
    QString desktopEntry() const;
    QStringList supportedUriSchemes() const;
    QStringList supportedMimeTypes() const;

public slots:
    /** Shows, raises and activates the window. */
    void Raise();
    /** Saves and quits, as the Quit menu entry does. */
    void Quit();

private:
    MprisService *service;
};
