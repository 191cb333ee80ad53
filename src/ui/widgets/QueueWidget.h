#pragma once

#include <QListWidget>

class QMenu;

/**
 * The list inside the queue dialog: one row per queued track, the file path
 * under Qt::UserRole. It never changes the queue; it reports requests.
 */
class QueueWidget : public QListWidget {
    Q_OBJECT

public:
    explicit QueueWidget(QWidget *parent = nullptr);

    /** Replaces the rows: row i shows @p displayNames[i] (or the file name) and holds @p paths[i].
     */
    void setQueue(const QStringList &paths, const QStringList &displayNames);
    /** Makes the first row holding @p path current. */
    void selectItemByPath(const QString &path);
    /** The path of the current row, or an empty string. */
    QString getSelectedItemPath() const;
    /** The five-entry menu for the row holding @p path; each entry emits its request. */
    QMenu *createContextMenu(const QString &path);

signals:
    /** "Remove from Queue" was chosen for @p path. */
    void removeRequested(const QString &path);
    /** "Move Up" was chosen for @p path. */
    void moveUpRequested(const QString &path);
    /** "Move Down" was chosen for @p path. */
    void moveDownRequested(const QString &path);
    /** "Clear Queue" was chosen. */
    void clearRequested();
    /** "Play next" was chosen for @p path. */
    void jumpQueueRequested(const QString &path);
    /** Emitted after every drop with the paths in their new order. */
    void reordered(const QStringList &newOrder);

protected:
    void dropEvent(QDropEvent *event) override;

private:
    void showContextMenu(const QPoint &pos);
};
