#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

class MprisService;

/**
 * The player's own interface, com.tavrenin.CorvelPlayer.Queue, on the MPRIS
 * object: what MPRIS has no call for. A second start hands the first file it
 * was given over with OpenUri and queues the others with QueueNext.
 */
class CorvelQueueAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tavrenin.CorvelPlayer.Queue")

public:
    /** Adds the interface to @p service. */
    explicit CorvelQueueAdaptor(MprisService *service);

public slots:
    /**
     * Puts the files of the file URIs @p Uris at the front of the play-next
     * queue, in their order; one queued already moves there. URIs of other
     * schemes and of files that are not there are ignored.
     */
    void QueueNext(const QStringList &Uris);

private:
    MprisService *service;
};
