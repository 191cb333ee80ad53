#include "ui/widgets/StatusLine.h"

#include "playback/QueueController.h"

#include <QTimer>

StatusLine::StatusLine(const QueueController *queue, QWidget *parent)
    : QLabel(parent)
    , queue(queue)
    , timer(new QTimer(this))
{
    // Names for the tests and the benchmark, which see the window from outside.
    setObjectName(QStringLiteral("statusLine"));
    timer->setObjectName(QStringLiteral("statusTimer"));
    timer->setSingleShot(true);
    setFont(QFont(QStringLiteral("Arial"), 8));
    connect(timer, &QTimer::timeout, this, [this] { showMessage(QString(), 0); });
}

void StatusLine::showMessage(const QString &message, int timeout)
{
    timer->stop();
    if (message.isEmpty()) {
        setText(queue->summary());
        return;
    }
    setText(message);
    if (timeout > 0)
        timer->start(timeout * 1000);
}

void StatusLine::showSummaryUnlessTimed()
{
    if (!timer->isActive())
        showMessage(QString(), 0);
}
