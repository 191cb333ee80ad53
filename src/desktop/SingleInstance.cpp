#include "desktop/SingleInstance.h"

#include "desktop/MprisService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QThread>

namespace {

const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString queueInterface = QStringLiteral("com.tavrenin.CorvelPlayer.Queue");

// A player that holds the name but has not put its objects on the bus yet
// (its window is being built) is asked again after this long.
constexpr unsigned long retryMs = 25;

/** Calls @p method of the player on @p bus, waiting at most until @p deadline. */
QDBusMessage call(const QDBusConnection &bus, const QString &interface, const QString &method,
    const QVariantList &arguments, const QDeadlineTimer &deadline)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        MprisService::serviceName, MprisService::objectPath, interface, method);
    message.setArguments(arguments);
    // Only a running player counts; the bus must not start one.
    message.setAutoStartService(false);
    // Events keep flowing while waiting, so a player in this very process can answer.
    return bus.call(message, QDBus::BlockWithGui, int(qMax<qint64>(1, deadline.remainingTime())));
}

bool answered(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

SingleInstance::SingleInstance(const QDBusConnection &bus)
    : connection(bus)
{
}

SingleInstance::~SingleInstance()
{
    if (owned)
        connection.unregisterService(MprisService::serviceName);
}

SingleInstance::Claim SingleInstance::claim()
{
    if (!connection.isConnected())
        return Claim::NoBus;
    // The daemon checks and claims in one step: no other start can come between.
    owned = connection.registerService(MprisService::serviceName);
    return owned ? Claim::Owned : Claim::Taken;
}

SingleInstance::HandOver SingleInstance::handOver(const QList<QUrl> &files)
{
    const QDeadlineTimer deadline(answerTimeoutMs);
    for (;;) {
        const QDBusMessage reply
            = call(connection, rootInterface, QStringLiteral("Raise"), {}, deadline);
        if (answered(reply))
            break;
        const QString error = reply.errorName();
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            || error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            // The player ended: this start is the player now, unless another was quicker.
            if (claim() == Claim::Owned)
                return HandOver::Claimed;
        } else if (error != QLatin1String("org.freedesktop.DBus.Error.UnknownObject")
            && error != QLatin1String("org.freedesktop.DBus.Error.UnknownInterface")
            && error != QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
            return HandOver::NoAnswer; // no reply in time, or the bus went away
        }
        if (deadline.hasExpired())
            return HandOver::NoAnswer;
        QThread::msleep(retryMs);
    }
    if (files.isEmpty())
        return HandOver::Done;
    QStringList rest;
    rest.reserve(files.size() - 1);
    for (qsizetype i = 1; i < files.size(); ++i)
        rest.append(files.at(i).toString(QUrl::FullyEncoded));
    // QueueNext is answered at once: the player checks the files after.
    const bool taken = answered(call(connection, playerInterface, QStringLiteral("OpenUri"),
                           {files.first().toString(QUrl::FullyEncoded)}, deadline))
        && (rest.isEmpty()
            || answered(
                call(connection, queueInterface, QStringLiteral("QueueNext"), {rest}, deadline)));
    return taken ? HandOver::Done : HandOver::NoAnswer;
}

QString SingleInstance::noAnswerText()
{
    return tr("Corvel Media Player is running but did not answer, so nothing was handed to it; "
              "try again once it answers, or end it.");
}
