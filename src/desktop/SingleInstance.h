#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QList>
#include <QUrl>

/**
 * One player per desktop session. A start claims the player's bus name
 * (MprisService::serviceName) before it builds its window; the bus daemon
 * gives a name to one caller only, so of two starts however close together
 * exactly one gets it. The other hands its files to that one and ends: it
 * waits (a bounded time) while the player is still being built and not yet
 * on the bus, and if the player went away meanwhile it claims the name
 * itself. Without a session bus every start is a player of its own.
 */
class SingleInstance {
    Q_DECLARE_TR_FUNCTIONS(SingleInstance)

public:
    /** What claim() found. */
    enum class Claim {
        Owned, ///< this start holds the name: it is the player
        Taken, ///< another player holds it: hand over
        NoBus, ///< no session bus: a player of its own
    };
    /** How a hand-over ended. */
    enum class HandOver {
        Done, ///< the running player took the files (or came forward)
        NoAnswer, ///< a player holds the name but did not answer in time
        Claimed, ///< the player ended meanwhile and this start now holds the name
    };

    /** How long a start waits for a player that holds the name to answer, in all. */
    static constexpr int answerTimeoutMs = 10000;

    /** Works on @p bus. */
    explicit SingleInstance(const QDBusConnection &bus = QDBusConnection::sessionBus());
    /** Gives the name back if this start holds it. */
    ~SingleInstance();

    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    /** Claims the player's bus name, unless another player holds it. */
    Claim claim();

    /**
     * Asks the player that holds the name to come forward and hands it
     * @p files: the first plays (OpenUri), the others are queued right after
     * it (QueueNext). Waits for a player whose window is still being built.
     */
    HandOver handOver(const QList<QUrl> &files);

    /** What a start tells the user when the running player did not answer. */
    static QString noAnswerText();

private:
    QDBusConnection connection;
    bool owned = false;
};
