#include "ui/widgets/StatusLine.h"

#include "playback/QueueController.h"

#include <QTimer>

#include <utility>

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

void StatusLine::showLibraryReady(Library::Install how)
{
    if (how == Library::Install::Cache)
        return;
    libraryReady = true;
    showMessage(library->readyMessage(how), library->readyTimeout());
    if (!problemAfterLibrary.isEmpty())
        showMessage(std::exchange(problemAfterLibrary, QString()), 10);
}

void StatusLine::showProblems(const QStringList &problems)
{
    const int more = int(problems.size()) - 1;
    const QString &first = problems.constFirst();
    const QString message = more > 0 ? tr("%1 (%n more not opened)", "", more).arg(first) : first;
    showMessage(message, 10);
    if (!libraryReady && !library->folder().isEmpty())
        problemAfterLibrary = message;
}
