#include "ui/widgets/StatusLine.h"

#include "playback/QueueController.h"

#include <QTimer>

#include <algorithm>

StatusLine::StatusLine(const Library *library, const QueueController *queue, QWidget *parent)
    : QLabel(parent)
    , library(library)
    , queue(queue)
    , timer(new QTimer(this))
{
    // Names for the tests and the benchmark, which see the window from outside.
    setObjectName(QStringLiteral("statusLine"));
    timer->setObjectName(QStringLiteral("statusTimer"));
    timer->setSingleShot(true);
    setFont(QFont(QStringLiteral("Arial"), 8));
    connect(timer, &QTimer::timeout, this, &StatusLine::expired);
}

void StatusLine::showMessage(const QString &message, int timeout)
{
    this->message = message;
    messageLeft = message.isEmpty() ? 0 : std::max(timeout, 0) * 1000;
    if (notices.isEmpty())
        showCurrent();
}

void StatusLine::showNotice(const QString &notice, int timeout)
{
    // The same problem told again while it is shown or waits is told once.
    if (notice.isEmpty()
        || std::any_of(notices.cbegin(), notices.cend(),
            [&notice](const Notice &waiting) { return waiting.text == notice; }))
        return;
    if (notices.isEmpty() && timer->isActive()) {
        // The message's time stops while the notice is shown.
        messageLeft = std::max(1, messageLeft - int(messageShown.elapsed()));
        timer->stop();
    }
    notices.append({notice, std::max(timeout, 1) * 1000});
    if (notices.size() == 1)
        showCurrent();
}

void StatusLine::showCurrent()
{
    timer->stop();
    if (!notices.isEmpty()) {
        setText(notices.constFirst().text);
        timer->start(notices.constFirst().milliseconds);
        return;
    }
    if (message.isEmpty()) {
        setText(queue->summary());
        return;
    }
    setText(message);
    if (messageLeft > 0) {
        messageShown.start();
        timer->start(messageLeft);
    }
}

void StatusLine::expired()
{
    if (!notices.isEmpty())
        notices.removeFirst();
    else
        message.clear();
    showCurrent();
}

void StatusLine::showSummaryUnlessTimed()
{
    if (!timer->isActive() && notices.isEmpty())
        showMessage(QString(), 0);
}

void StatusLine::showLibraryReady(Library::Install how)
{
    if (how == Library::Install::Cache)
        return;
    if (library->cacheSaveFailed())
        showNotice(library->readyMessage(how), library->readyTimeout());
    else
        showMessage(library->readyMessage(how), library->readyTimeout());
}

void StatusLine::showProblems(const QStringList &problems)
{
    const int more = int(problems.size()) - 1;
    const QString &first = problems.constFirst();
    showNotice(more > 0 ? tr("%1 (%n more not opened)", "", more).arg(first) : first, 10);
}
