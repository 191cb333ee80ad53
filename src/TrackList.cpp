#include "TrackList.h"

#include "QueueController.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <utility>

TrackList::TrackList(std::function<int()> playingRow, QWidget *parent)
    : QListWidget(parent)
    , playingRow(std::move(playingRow))
    , fillTimer(new QTimer(this))
    , followTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("trackList"));
    fillTimer->setObjectName(QStringLiteral("fillTimer"));
    followTimer->setObjectName(QStringLiteral("followTimer"));
    setAccessibleName(tr("Track list"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    // Rows all have one height; this keeps filling and scrolling a large library cheap.
    setUniformItemSizes(true);
    fillTimer->setInterval(0);
    followTimer->setInterval(1000);
    followTimer->start();
    connect(fillTimer, &QTimer::timeout, this, &TrackList::fillTick);
    connect(followTimer, &QTimer::timeout, this, &TrackList::follow);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { hold(); });
    // A row the user picks is theirs for a minute, like a scrolled list.
    connect(this, &QAbstractItemView::pressed, this, [this] { hold(); });
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        hold();
        emit playRequested(row(item));
    });
}

void TrackList::showTracks(const QStringList &newNames, bool batches)
{
    clearTracks();
    names = newNames;
    if (!batches) {
        addItems(names);
        filledRows = int(names.size());
        emit filled();
        return;
    }
    setUpdatesEnabled(false);
    fillTimer->start();
}

void TrackList::clearTracks()
{
    // A fill still running shows the library that this one replaces.
    fillTimer->stop();
    setUpdatesEnabled(true);
    clear();
    names.clear();
    filledRows = 0;
    shownMarks.clear();
}

void TrackList::fillTick()
{
    const int total = int(names.size());
    const int end = std::min(filledRows + 100, total);
    if (end > filledRows)
        addItems(names.mid(filledRows, end - filledRows));
    filledRows = end;
    emit fillProgress(filledRows, total);
    if (filledRows < total)
        return;
    fillTimer->stop();
    setUpdatesEnabled(true);
    emit filled();
}

void TrackList::paintRow(int row, const QHash<int, int> &marks)
{
    if (row < 0 || row >= count() || row >= names.size())
        return;
    // The unmarked text is the record's, never what is left after taking a
    // mark off the row: a file name may itself begin with "[01]".
    const auto mark = marks.constFind(row);
    const QString text = mark == marks.constEnd()
        ? names.at(row)
        : QueueController::markedText(mark.value(), names.at(row));
    if (item(row)->text() != text)
        item(row)->setText(text);
}

void TrackList::setMarks(const QHash<int, int> &marks)
{
    for (auto it = shownMarks.cbegin(); it != shownMarks.cend(); ++it)
        paintRow(it.key(), marks);
    for (auto it = marks.cbegin(); it != marks.cend(); ++it)
        paintRow(it.key(), marks);
    shownMarks = marks;
}

void TrackList::selectIfNone(int row)
{
    if (currentRow() == -1 && row < count())
        setCurrentRow(row);
}

void TrackList::showRow(int row)
{
    setCurrentRow(row);
    if (QListWidgetItem *shown = item(row))
        scrollToItem(shown, QAbstractItemView::EnsureVisible);
    hold();
}

void TrackList::hold(const QDateTime &at)
{
    lastScrollTime = at;
}

bool TrackList::followDue() const
{
    // No follow until the clock has been set once.
    return !lastScrollTime.isNull() && lastScrollTime.secsTo(QDateTime::currentDateTime()) > 60;
}

void TrackList::follow()
{
    if (!followDue())
        return;
    setCurrentRow(playingRow());
    if (QListWidgetItem *current = currentItem())
        scrollToItem(current, QAbstractItemView::EnsureVisible);
}

void TrackList::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit playRequested(currentRow());
        return;
    case Qt::Key_Q:
        if (currentRow() >= 0)
            emit queueToggleRequested(currentRow());
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        // The user is choosing a row, even one that needs no scrolling.
        hold();
        break;
    case Qt::Key_MediaNext:
        emit nextRequested();
        return;
    case Qt::Key_MediaPrevious:
        emit previousRequested();
        return;
    case Qt::Key_MediaTogglePlayPause:
    case Qt::Key_P:
        emit playPauseRequested();
        return;
    case Qt::Key_MediaStop:
        emit stopRequested();
        return;
    default:
        break;
    }
    QListWidget::keyPressEvent(event);
}
