#include "ui/dialogs/QueueDialog.h"

#include "ui/SvgIcon.h"
#include "ui/widgets/QueueWidget.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

QueueDialog::QueueDialog(QWidget *parent)
    : QDialog(parent)
{
    queueWidget = new QueueWidget(this);
    // The layouts make the buttons children of the dialog.
    moveUpButton = new QPushButton;
    moveDownButton = new QPushButton;
    removeButton = new QPushButton;
    clearButton = new QPushButton;
    jumpButton = new QPushButton;

    const QList<std::pair<QObject *, const char *>> names
        = {{queueWidget, "queueList"}, {moveUpButton, "moveUpButton"},
            {moveDownButton, "moveDownButton"}, {removeButton, "removeButton"},
            {clearButton, "clearButton"}, {jumpButton, "moveToFrontButton"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QLatin1String(name));

    setupLayout();
    setupConnections();
    setWindowTitle(tr("Play Queue"));
    resize(400, 300);
}

void QueueDialog::setQueue(const QStringList &paths, const QStringList &displayNames)
{
    // Keep the selection on the same track, so the up and down buttons can be
    // pressed repeatedly.
    const QString selectedPath = queueWidget->getSelectedItemPath();
    queueWidget->setQueue(paths, displayNames);
    queueWidget->selectItemByPath(selectedPath);
}

void QueueDialog::setIcons(QColor color, QColor red, QSize size)
{
    SvgIcon::setColoredIcon(moveUpButton, QStringLiteral(":/icons/arrow-up.svg"), color, size);
    SvgIcon::setColoredIcon(moveDownButton, QStringLiteral(":/icons/arrow-down.svg"), color, size);
    SvgIcon::setColoredIcon(removeButton, QStringLiteral(":/icons/x.svg"), color, size);
    SvgIcon::setColoredIcon(jumpButton, QStringLiteral(":/icons/list-start.svg"), color, size);
    SvgIcon::setColoredIcon(clearButton, QStringLiteral(":/icons/trash-2.svg"), red, size);
}

void QueueDialog::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        break;
    case Qt::Key_Delete:
        removeButton->click();
        break;
    case Qt::Key_J:
        jumpButton->click();
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void QueueDialog::setupLayout()
{
    jumpButton->setToolTip(tr("Move to front of queue"));
    removeButton->setToolTip(tr("Remove from queue"));
    clearButton->setToolTip(tr("Clear the queue"));
    queueWidget->setAccessibleName(tr("Play queue"));
    moveUpButton->setAccessibleName(tr("Move up"));
    moveUpButton->setAccessibleDescription(tr("Move the selected track up the queue"));
    moveDownButton->setAccessibleName(tr("Move down"));
    moveDownButton->setAccessibleDescription(tr("Move the selected track down the queue"));
    removeButton->setAccessibleName(tr("Remove"));
    removeButton->setAccessibleDescription(tr("Remove the selected track from the queue"));
    jumpButton->setAccessibleName(tr("Move to front"));
    jumpButton->setAccessibleDescription(tr("Move the selected track to the front of the queue"));
    clearButton->setAccessibleName(tr("Clear queue"));
    clearButton->setAccessibleDescription(tr("Remove every track from the queue"));
    // No default button: Return must not move or clear queue entries.
    for (QPushButton *button :
        {moveUpButton, moveDownButton, removeButton, jumpButton, clearButton})
        button->setAutoDefault(false);

    auto *sideLayout = new QVBoxLayout;
    sideLayout->addWidget(moveUpButton);
    sideLayout->addStretch();
    sideLayout->addWidget(moveDownButton);

    auto *queueRowLayout = new QHBoxLayout;
    queueRowLayout->addWidget(queueWidget);
    queueRowLayout->addLayout(sideLayout);

    // Clear stays apart from the per-track buttons.
    auto *bottomLayout = new QHBoxLayout;
    bottomLayout->addWidget(clearButton);
    bottomLayout->addStretch();
    bottomLayout->addWidget(removeButton);
    bottomLayout->addWidget(jumpButton);

    auto *mainLayout = new QVBoxLayout(this);
    mainLayout->addLayout(queueRowLayout);
    mainLayout->addLayout(bottomLayout);

    // Tab follows the reading order, not the order the buttons were made in.
    setTabOrder(queueWidget, moveUpButton);
    setTabOrder(moveUpButton, moveDownButton);
    setTabOrder(moveDownButton, clearButton);
    setTabOrder(clearButton, removeButton);
    setTabOrder(removeButton, jumpButton);
}

void QueueDialog::setupConnections()
{
    connect(moveUpButton, &QPushButton::clicked, this,
        [this] { emit moveUpRequested(queueWidget->getSelectedItemPath()); });
    connect(moveDownButton, &QPushButton::clicked, this,
        [this] { emit moveDownRequested(queueWidget->getSelectedItemPath()); });
    connect(removeButton, &QPushButton::clicked, this,
        [this] { emit removeRequested(queueWidget->getSelectedItemPath()); });
    connect(jumpButton, &QPushButton::clicked, this,
        [this] { emit jumpQueueRequested(queueWidget->getSelectedItemPath()); });
    connect(clearButton, &QPushButton::clicked, this, &QueueDialog::clearRequested);

    connect(queueWidget, &QueueWidget::moveUpRequested, this, &QueueDialog::moveUpRequested);
    connect(queueWidget, &QueueWidget::moveDownRequested, this, &QueueDialog::moveDownRequested);
    connect(queueWidget, &QueueWidget::removeRequested, this, &QueueDialog::removeRequested);
    connect(queueWidget, &QueueWidget::jumpQueueRequested, this, &QueueDialog::jumpQueueRequested);
    connect(queueWidget, &QueueWidget::clearRequested, this, &QueueDialog::clearRequested);
    connect(queueWidget, &QueueWidget::reordered, this, &QueueDialog::reordered);
}
