#pragma once

#include <QLabel>

class QTimer;
class QueueController;

/**
 * The status line: a message for a while, else the queue's summary. One
 * timer for the line, so a newer message is never cut short by an older one's.
 */
class StatusLine : public QLabel {
    Q_OBJECT

public:
    /** A line whose summary is @p queue's, which must outlive it. */
    explicit StatusLine(const QueueController *queue, QWidget *parent = nullptr);

    /** Shows @p message for @p timeout seconds (0: until the next), or the summary when it is
     * empty. */
    void showMessage(const QString &message, int timeout);
    /** Shows the summary, unless a message is shown for a while. */
    void showSummaryUnlessTimed();

private:
    const QueueController *queue;
    QTimer *timer;
};
