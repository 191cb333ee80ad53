#pragma once

#include "library/Library.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QList>
#include <QStringList>

class QTimer;
class QueueController;

/**
 * The status line: a message for a while, else the queue's summary. A
 * message replaces the message shown; a notice (a problem the user should
 * read) keeps its whole time: what comes meanwhile waits behind it, and a
 * message it interrupted comes back after it for the time it had left.
 * One timer for the line, so a newer message is never cut short by an older one's.
 */
class StatusLine : public QLabel {
    Q_OBJECT

public:
    /** A line on @p library whose summary is @p queue's; both must outlive it. */
    StatusLine(const Library *library, const QueueController *queue, QWidget *parent = nullptr);

    /** Shows @p message for @p timeout seconds (0: until the next), or the summary when it is
     * empty; once the notices are over, if one is shown. */
    void showMessage(const QString &message, int timeout);
    /** Shows @p notice for all of @p timeout seconds (at least one), after the notices before it.
     */
    void showNotice(const QString &notice, int timeout);
    /** Shows the summary, unless a message is shown for a while. */
    void showSummaryUnlessTimed();
    /**
     * Shows what the library says once an install of @p how is shown (a failed
     * cache save as a notice). A cache install says nothing: its update follows.
     */
    void showLibraryReady(Library::Install how);
    /** Shows the first of @p problems (the names that could not be opened) and how many more. */
    void showProblems(const QStringList &problems);

private:
    struct Notice {
        QString text;
        int milliseconds;
    };
    /** Puts up the first notice, else the message with the time it has left, else the summary. */
    void showCurrent();
    /** The shown item's time is over. */
    void expired();

    const Library *library;
    const QueueController *queue;
    QTimer *timer;
    QList<Notice> notices; ///< the first is shown; the others wait
    QString message; ///< the message under the notices, empty for the summary
    int messageLeft = 0; ///< its time left in ms, 0: until the next
    QElapsedTimer messageShown; ///< since the message's time last ran
};
