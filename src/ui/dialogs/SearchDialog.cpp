#include "ui/dialogs/SearchDialog.h"

#include "library/Playlist.h"
#include "library/TrackModel.h"
#include "playback/QueueController.h"
#include "ui/SvgIcon.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
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
    , hitModel(new TrackModel(playlist, queue, this))
{
    hitModel->showOnly({});
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

void SearchDialog::refreshResults()
{
    // Indices change with the library; the chosen hit is found again by its file.
    const QString chosen = chosenPath;
    const int scrolled = resultList->verticalScrollBar()->value();

    // The hits shown point into the records that were replaced: none to narrow.
    searched.clear();
    // Laid out whole, so the scroll position can be put back.
    resultList->setLayoutMode(QListView::SinglePass);
    performSearch(searchInput->text());
    hitModel->remark();
    resultList->doItemsLayout();

    const int row = hitModel->rowOfPath(chosen);
    if (row >= 0)
        resultList->setCurrentIndex(hitModel->index(row));
    resultList->verticalScrollBar()->setValue(scrolled);
    if (resultList->currentIndex().isValid())
        resultList->scrollTo(resultList->currentIndex(), QAbstractItemView::EnsureVisible);
    resultList->setLayoutMode(QListView::Batched);
}

void SearchDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Down && searchInput->hasFocus()) {
        resultList->setFocus();
        resultList->setCurrentIndex(hitModel->index(0));
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
    resultList = new QListView(this);
    resultLabel = new QLabel(hitCountText(0), this);
    searchInput->setFocus();

    // Every row has the same height, so the list need not measure thousands
    // of rows after a refill; the rows are laid out in batches, so the first
    // ones are painted at once, with 200,000 to follow, as the user types.
    resultList->setUniformItemSizes(true);
    resultList->setLayoutMode(QListView::Batched);
    resultList->setBatchSize(2000);
    resultList->setModel(hitModel);
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

    connect(resultList, &QAbstractItemView::doubleClicked, this,
        [this](const QModelIndex &index) { emit playRequested(hitModel->recordAt(index.row())); });
    connect(resultList, &QWidget::customContextMenuRequested, this, &SearchDialog::showContextMenu);
    connect(resultList->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex &current) {
            if (current.isValid())
                chosenPath = hitModel->pathAt(current.row());
        });
}

void SearchDialog::performSearch(const QString &query)
{
    const QString text = Playlist::searchText(query);
    // Every key holding the new query holds the old one it contains: only the
    // old hits need looking at.
    const bool narrows = !searched.isEmpty() && text.contains(searched);
    hits = playlistRef->search(query, narrows ? &hits : nullptr);
    searched = text;
    chosenPath.clear();
    hitModel->showOnly(hits);
    resultLabel->setText(hitCountText(int(hits.size())));
}

void SearchDialog::addToQueue()
{
    const int index = currentHitIndex();
    if (index >= 0)
        emit queueRequested(index);
}

int SearchDialog::currentHitIndex() const
{
    return hitModel->recordAt(resultList->currentIndex().row());
}

QMenu *SearchDialog::createContextMenu(int index)
{
    // The file, not the row: a library installed while the menu is open puts
    // another track at the row.
    const QString path = playlistRef->pathAt(index);
    if (path.isEmpty())
        return nullptr;
    auto *contextMenu = new QMenu(this);
    const bool isInQueue = queueRef->contains(path);
    QAction *toggleQueueAction
        = contextMenu->addAction(isInQueue ? tr("Remove from queue") : tr("Add to queue"));
    connect(toggleQueueAction, &QAction::triggered, this, [this, path] {
        const int row = playlistRef->indexOfPath(path);
        if (row != -1)
            emit queueRequested(row);
    });
    return contextMenu;
}

void SearchDialog::showContextMenu(const QPoint &pos)
{
    // The request comes from the list's viewport, so pos is in its coordinates.
    const QModelIndex hit = resultList->indexAt(pos);
    if (!hit.isValid())
        return;

    QPointer<QMenu> contextMenu = createContextMenu(hitModel->recordAt(hit.row()));
    if (!contextMenu)
        return;
    contextMenu->exec(resultList->viewport()->mapToGlobal(pos));
    delete contextMenu.data();
}
