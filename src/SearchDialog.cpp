#include "SearchDialog.h"

#include "Playlist.h"
#include "QueueController.h"
#include "SvgIcon.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

QString hitCountText(int count)
{
    return SearchDialog::tr("%1 track%2 found")
        .arg(count)
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

SearchDialog::SearchDialog(Playlist *playlist, QueueController *queue, QWidget *parent)
    : QDialog(parent)
    , playlistRef(playlist)
    , queueRef(queue)
{
    setupLayout();
    setupConnections();
    setWindowTitle(tr("Search"));
    resize(400, 300);
}

void SearchDialog::setIcons(QColor color, QSize size)
{
    SvgIcon::setColoredIcon(playButton, QStringLiteral(":/icons/play.svg"), color, size);
    SvgIcon::setColoredIcon(jumpButton, QStringLiteral(":/icons/arrow-right.svg"), color, size);
    SvgIcon::setColoredIcon(queueButton, QStringLiteral(":/icons/list-plus.svg"), color, size);
}

void SearchDialog::updateQueueIndicators()
{
    if (!playlistRef || !queueRef)
        return;

    // Marked as the track list marks them: one rule for every view.
    const QHash<int, int> marks = queueRef->marksByRow();
    for (int row = 0; row < resultList->count(); ++row) {
        QListWidgetItem *item = resultList->item(row);
        const int playlistIndex = item->data(Qt::UserRole).toInt();
        // The unmarked text is the one the hit was made with, never what is
        // left after taking a mark off: a file name may begin with "[01]".
        QString text = playlistIndex >= 0 && playlistIndex < searchedTracks.size()
            ? searchedTracks.at(playlistIndex).displayName
            : item->text();
        const auto mark = marks.constFind(playlistIndex);
        if (mark != marks.constEnd())
            text = QueueController::markedText(mark.value(), text);

        if (item->text() != text)
            item->setText(text);
    }
}

void SearchDialog::refreshResults()
{
    // Indices change with the library; the chosen hit is found again by its file.
    const QUrl chosen = searchedTracks.value(currentHitIndex()).url;
    const int scrolled = resultList->verticalScrollBar()->value();

    performSearch(searchInput->text());

    if (!chosen.isEmpty()) {
        for (int row = 0; row < resultList->count(); ++row) {
            if (searchedTracks.at(resultList->item(row)->data(Qt::UserRole).toInt()).url
                == chosen) {
                resultList->setCurrentRow(row);
                break;
            }
        }
    }
    resultList->verticalScrollBar()->setValue(scrolled);
    if (QListWidgetItem *current = resultList->currentItem())
        resultList->scrollToItem(current, QAbstractItemView::EnsureVisible);
}

void SearchDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Down && searchInput->hasFocus()) {
        resultList->setFocus();
        resultList->setCurrentRow(0);
        return;
    }
    if (event->key() == Qt::Key_Escape)
        close();
    QDialog::keyPressEvent(event);
}

void SearchDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Every opening starts in the query field.
    searchInput->setFocus();
}

bool SearchDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == resultList && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Q:
            queueButton->click();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            playButton->click();
            return true;
        case Qt::Key_C:
            // Consumed: the list's type-ahead would otherwise move the chosen
            // hit to a track starting with "c".
            jumpButton->click();
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SearchDialog::setupLayout()
{
    searchInput = new QLineEdit(this);
    resultList = new QListWidget(this);
    resultLabel = new QLabel(hitCountText(0), this);
    searchInput->setFocus();

    // Every row has the same height, so the list need not measure thousands
    // of rows after a refill.
    resultList->setUniformItemSizes(true);
    resultList->installEventFilter(this);
    resultList->setContextMenuPolicy(Qt::CustomContextMenu);

    queueButton = new QPushButton(this);
    jumpButton = new QPushButton(this);
    playButton = new QPushButton(this);
    const QList<std::pair<QObject *, const char *>> names = {{searchInput, "searchInput"},
        {resultList, "searchResults"}, {resultLabel, "hitCount"}, {queueButton, "queueHitButton"},
        {jumpButton, "jumpToHitButton"}, {playButton, "playHitButton"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QLatin1String(name));
    queueButton->setToolTip(tr("Add to queue"));
    jumpButton->setToolTip(tr("Jump to selected track"));
    searchInput->setAccessibleName(tr("Search for"));
    searchInput->setAccessibleDescription(tr("Part of an artist, title, album or file name"));
    resultList->setAccessibleName(tr("Search results"));
    playButton->setAccessibleName(tr("Play"));
    playButton->setAccessibleDescription(tr("Play the selected track"));
    queueButton->setAccessibleName(tr("Queue"));
    queueButton->setAccessibleDescription(
        tr("Add the selected track to the play queue, or take it out"));
    jumpButton->setAccessibleName(tr("Show in track list"));
    jumpButton->setAccessibleDescription(tr("Select the track in the main track list"));
    // No default button: Return in the query field must not queue or play a
    // hit behind the user's back.
    for (QPushButton *button : {queueButton, jumpButton, playButton})
        button->setAutoDefault(false);

    auto *buttonLayout = new QHBoxLayout;
    buttonLayout->addWidget(playButton);
    buttonLayout->addStretch();
    buttonLayout->addWidget(queueButton);
    buttonLayout->addWidget(jumpButton);

    auto *mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(searchInput);
    mainLayout->addWidget(resultList);
    mainLayout->addLayout(buttonLayout);
    mainLayout->addWidget(resultLabel);

    // Tab follows the reading order, not the order the buttons were made in.
    setTabOrder(searchInput, resultList);
    setTabOrder(resultList, playButton);
    setTabOrder(playButton, queueButton);
    setTabOrder(queueButton, jumpButton);
}

void SearchDialog::setupConnections()
{
    connect(searchInput, &QLineEdit::textChanged, this, &SearchDialog::performSearch);

    connect(playButton, &QPushButton::clicked, this, [this] {
        const int index = currentHitIndex();
        if (index >= 0)
            emit playRequested(index);
    });
    connect(queueButton, &QPushButton::clicked, this, &SearchDialog::addToQueue);
    connect(jumpButton, &QPushButton::clicked, this, [this] {
        const int index = currentHitIndex();
        if (index >= 0)
            emit jumpRequested(index);
    });

    connect(resultList, &QListWidget::itemDoubleClicked, this,
        [this](QListWidgetItem *item) { emit playRequested(item->data(Qt::UserRole).toInt()); });
    connect(
        resultList, &QListWidget::customContextMenuRequested, this, &SearchDialog::showContextMenu);
}

void SearchDialog::performSearch(const QString &query)
{
    resultList->setUpdatesEnabled(false);
    resultList->clear();

    const QString q = query.trimmed().toCaseFolded();
    searchedTracks.clear();
    if (!playlistRef || q.isEmpty()) {
        resultLabel->setText(hitCountText(0));
        resultList->setUpdatesEnabled(true);
        return;
    }

    // An implicitly shared copy: no record is copied.
    const QList<Playlist::TrackInfo> tracks = playlistRef->getTracks();
    int count = 0;
    for (int i = 0; i < tracks.size(); ++i) {
        const Playlist::TrackInfo &track = tracks.at(i);
        if (!track.searchKey.contains(q))
            continue;
        auto *item = new QListWidgetItem(track.displayName);
        item->setData(Qt::UserRole, i);
        resultList->addItem(item);
        ++count;
    }

    searchedTracks = tracks;
    resultList->setUpdatesEnabled(true);
    updateQueueIndicators();
    resultLabel->setText(hitCountText(count));
}

void SearchDialog::addToQueue()
{
    const int index = currentHitIndex();
    if (index >= 0)
        emit queueRequested(index);
}

int SearchDialog::currentHitIndex() const
{
    const QListWidgetItem *current = resultList->currentItem();
    return current ? current->data(Qt::UserRole).toInt() : -1;
}

QMenu *SearchDialog::createContextMenu(int index)
{
    if (!playlistRef || !queueRef || index < 0 || index >= searchedTracks.size())
        return nullptr;

    // The file, not the row: a library installed while the menu is open puts
    // another track at the row.
    const QUrl url = searchedTracks.at(index).url;
    auto *contextMenu = new QMenu(this);
    const bool isInQueue = queueRef->contains(url.toLocalFile());
    QAction *toggleQueueAction
        = contextMenu->addAction(isInQueue ? tr("Remove from queue") : tr("Add to queue"));
    connect(toggleQueueAction, &QAction::triggered, this, [this, url] {
        const int row = playlistRef->indexOf(url);
        if (row != -1)
            emit queueRequested(row);
    });
    return contextMenu;
}

void SearchDialog::showContextMenu(const QPoint &pos)
{
    // The request comes from the list's viewport, so pos is in its coordinates.
    const QListWidgetItem *item = resultList->itemAt(pos);
    if (!item)
        return;

    QPointer<QMenu> contextMenu = createContextMenu(item->data(Qt::UserRole).toInt());
    if (!contextMenu)
        return;
    contextMenu->exec(resultList->viewport()->mapToGlobal(pos));
    delete contextMenu.data();
}
