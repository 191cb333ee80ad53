#include "ui/widgets/QueueWidget.h"

#include <QAction>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>

QueueWidget::QueueWidget(QWidget *parent)
    : QListWidget(parent)
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QListWidget::customContextMenuRequested, this, &QueueWidget::showContextMenu);

    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
}

void QueueWidget::setQueue(const QStringList &paths, const QStringList &displayNames)
{
    clear();
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString &path = paths.at(i);
        // The window leaves queued files that left the library out of the
        // names, so the list may run short; such rows show their file name.
        const QString text
            = i < displayNames.size() ? displayNames.at(i) : QFileInfo(path).fileName();
        auto *item = new QListWidgetItem(text);
        item->setData(Qt::UserRole, path);
        addItem(item);
    }
}

void QueueWidget::selectItemByPath(const QString &path)
{
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem *candidate = item(row);
        if (candidate->data(Qt::UserRole).toString() == path) {
            setCurrentItem(candidate);
            return;
        }
    }
}

QString QueueWidget::getSelectedItemPath() const
{
    const QListWidgetItem *current = currentItem();
    return current ? current->data(Qt::UserRole).toString() : QString();
}

void QueueWidget::dropEvent(QDropEvent *event)
{
    QListWidget::dropEvent(event);

    QStringList newOrder;
    newOrder.reserve(count());
    for (int row = 0; row < count(); ++row)
        newOrder.append(item(row)->data(Qt::UserRole).toString());
    emit reordered(newOrder);
}

QMenu *QueueWidget::createContextMenu(const QString &path)
{
    auto *menu = new QMenu(this);
    // The path is captured now: the owner refills the list while handling a
    // request, which deletes the row that was clicked.
    connect(menu->addAction(tr("Move Up")), &QAction::triggered, this,
        [this, path] { emit moveUpRequested(path); });
    connect(menu->addAction(tr("Move Down")), &QAction::triggered, this,
        [this, path] { emit moveDownRequested(path); });
    connect(menu->addAction(tr("Remove from Queue")), &QAction::triggered, this,
        [this, path] { emit removeRequested(path); });
    connect(menu->addAction(tr("Play next")), &QAction::triggered, this,
        [this, path] { emit jumpQueueRequested(path); });
    connect(menu->addAction(tr("Clear Queue")), &QAction::triggered, this,
        [this] { emit clearRequested(); });
    return menu;
}

void QueueWidget::showContextMenu(const QPoint &pos)
{
    // The request comes from the viewport, so pos is in viewport coordinates.
    const QListWidgetItem *clicked = itemAt(pos);
    if (!clicked)
        return;

    QPointer<QMenu> menu = createContextMenu(clicked->data(Qt::UserRole).toString());
    menu->exec(viewport()->mapToGlobal(pos));
    delete menu.data();
}
