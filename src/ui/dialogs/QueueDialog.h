#pragma once

#include <QColor>
#include <QDialog>
#include <QSize>

class QPushButton;
class QueueWidget;

/** The "Play Queue" dialog: shows the queue and turns the user's edits into requests. */
class QueueDialog : public QDialog {
    Q_OBJECT

public:
    explicit QueueDialog(QWidget *parent = nullptr);

    /** Refills the list, keeping the selected track selected if it is still queued. */
    void setQueue(const QStringList &paths, const QStringList &displayNames);
    /** Tints the four path buttons with @p color and the clear button with @p red. */
    void setIcons(QColor color, QColor red, QSize size);

signals:
    void moveUpRequested(const QString &path);
    void moveDownRequested(const QString &path);
    void removeRequested(const QString &path);
    void jumpQueueRequested(const QString &path);
    void clearRequested();
    void reordered(const QStringList &newOrder);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void setupLayout();
    void setupConnections();

    QueueWidget *queueWidget;
    QPushButton *moveUpButton;
    QPushButton *moveDownButton;
    QPushButton *removeButton;
    QPushButton *jumpButton;
    QPushButton *clearButton;
};
