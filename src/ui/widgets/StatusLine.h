#pragma once

#include "library/Library.h"

#include <QLabel>
#include <QStringList>

class QTimer;
class QueueController;

/**
 * The status line: a message for a while, else the queue's summary. One
 * timer for the line, so a newer message is never cut short by an older one's.
 */
class StatusLine : public QLabel {
    Q_OBJECT

public:
    /** A line on @p library whose summary is @p queue's; both must outlive it. */
    StatusLine(const Library *library, const QueueController *queue, QWidget *parent = nullptr);

    /** Shows @p message for @p timeout seconds (0: until the next), or the summary when it is
     * empty. */
    void showMessage(const QString &message, int timeout);
    /** Shows the summary, unless a message is shown for a while. */
    void showSummaryUnlessTimed();
    /**
     * Shows what the library says once an install of @p how is shown, then a
     * problem kept for after it. A cache install says nothing: its update follows.
     */
    void showLibraryReady(Library::Install how);
    /**
     * Shows the first of @p problems (the names that could not be opened) and
     * how many more. While the library is still being read at start, its
     * message would hide this at once: it comes again after that one.
     */
    void showProblems(const QStringList &problems);

private:
    const Library *library;
    const QueueController *queue;
    QTimer *timer;
    // The library has been read and checked since the start.
    bool libraryReady = false;
    QString problemAfterLibrary;
};
