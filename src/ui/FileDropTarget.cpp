#include "ui/FileDropTarget.h"

#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace {

Qt::DropAction openAction(const QDropEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return Qt::IgnoreAction;
    if (event->possibleActions() & Qt::CopyAction)
        return Qt::CopyAction;
    return event->possibleActions() & Qt::LinkAction ? Qt::LinkAction : Qt::IgnoreAction;
}

} // namespace

FileDropTarget::FileDropTarget(QWidget *target)
    : QObject(target)
{
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

bool FileDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::DragEnter && event->type() != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    // Both are taken here: the widget's own handlers would ignore them.
    auto *drop = static_cast<QDropEvent *>(event);
    const Qt::DropAction action = openAction(drop);
    if (action == Qt::IgnoreAction) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(action);
    drop->accept();
    if (event->type() == QEvent::Drop)
        emit dropped(drop->mimeData()->urls());
    return true;
}
