#include "ui/widgets/TrackList.h"

#include "library/TrackModel.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

#include <utility>

TrackList::TrackList(TrackModel *model, std::function<int()> playingRow, QWidget *parent)
    : QListView(parent)
    , tracks(model)
    , playingRow(std::move(playingRow))
    , followTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("trackList"));
    followTimer->setObjectName(QStringLiteral("followTimer"));
    setAccessibleName(tr("Track list"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    // Rows all have one height: the view need not measure a large library's rows.
    setUniformItemSizes(true);
    setModel(model);
    followTimer->setInterval(1000);
    followTimer->start();
    connect(followTimer, &QTimer::timeout, this, &TrackList::follow);
    // Any scroll holds the list for a minute, its own follow's included.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { hold(); });
    // A row the user picks is theirs for a minute, like a scrolled list.
    connect(this, &QAbstractItemView::pressed, this, [this] { hold(); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        hold();
        emit playRequested(index.row());
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex &current) {
            if (current.isValid())
                currentPath = tracks->pathAt(current.row());
        });
    // Connected after the view's own reset, which drops the current row.
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
        [this] { scrolledTo = verticalScrollBar()->value(); });
    connect(model, &QAbstractItemModel::modelReset, this, &TrackList::keepAfterReset);
}

int TrackList::currentRow() const
{
    return currentIndex().row();
}

void TrackList::setCurrentRow(int row)
{
    setCurrentIndex(model()->index(row, 0));
}

void TrackList::keepAfterReset()
{
    // The records changed before the reset was announced, so the file was
    // noted when the row became current.
    const int row = tracks->rowOfPath(currentPath);
    if (row >= 0)
        setCurrentRow(row);
    // Making it current scrolled to it; the user's place counts more. A
    // shorter list clamps the value when it is laid out.
    verticalScrollBar()->setValue(scrolledTo);
}

void TrackList::selectIfNone(int row)
{
    if (currentRow() == -1 && row < model()->rowCount())
        setCurrentRow(row);
}

void TrackList::showRow(int row)
{
    setCurrentRow(row);
    scrollTo(model()->index(row, 0), QAbstractItemView::EnsureVisible);
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
    if (currentIndex().isValid())
        scrollTo(currentIndex(), QAbstractItemView::EnsureVisible);
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
    QListView::keyPressEvent(event);
}
