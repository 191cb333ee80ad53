#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class QWidget;

/**
 * Takes drops of files and folders on a widget and everything in it that
 * takes none itself, and reports what was dropped. A drop is taken as a copy,
 * or a link: a drop the source took for a move could delete the files there.
 */
class FileDropTarget : public QObject {
    Q_OBJECT

public:
    /** Makes @p target, which becomes the parent, take drops. */
    explicit FileDropTarget(QWidget *target);

signals:
    /** @p urls were dropped. */
    void dropped(const QList<QUrl> &urls);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
