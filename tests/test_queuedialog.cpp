#include "PlayQueue.h"
#include "QueueDialog.h"
#include "QueueWidget.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

const QStringList kPaths{"/music/one.mp3", "/music/two.flac", "/music/three.ogg"};
const QStringList kNames{"A - One (1:00)", "B - Two (2:00)", "C - Three (3:00)"};

// Whether the button's icon is drawn, and drawn in @p colour only: every
// clearly visible pixel, with the rounding of partly covered edges allowed for.
bool iconTintedWith(const QPushButton *button, const QColor &colour)
{
    const QImage image = button->icon().pixmap(button->iconSize()).toImage().convertToFormat(
        QImage::Format_ARGB32);
    int visible = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 128)
                continue;
            ++visible;
            if (qAbs(pixel.red() - colour.red()) > 2 || qAbs(pixel.green() - colour.green()) > 2
                || qAbs(pixel.blue() - colour.blue()) > 2)
                return false;
        }
    }
    return visible > 0;
}

} // namespace

class TestQueueDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layoutAndTexts();
    void buttonsEmitSelectedPath_data();
    void buttonsEmitSelectedPath();
    void buttonsEmitEmptyPathWithoutSelection();
    void clearButtonEmitsAtOnce();
    void escapeClosesDialog();
    void deleteKeyRemovesSelected();
    void jKeyMovesSelectedToFront();
    void selectionKeptAcrossRefills();
    void selectionDroppedWhenTrackLeaves();
    void widgetSignalsForwarded_data();
    void widgetSignalsForwarded();
    void reorderForwarded();
    void iconsTintedWithTrashInRed();

private:
    // Plays the main window's part: carries out a request on a real queue and refills.
    void attachQueue(QueueDialog &dialog, PlayQueue &queue);
};

void TestQueueDialog::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestQueueDialog::attachQueue(QueueDialog &dialog, PlayQueue &queue)
{
    const auto refill = [&dialog, &queue] {
        QStringList names;
        for (const QString &path : queue.getList())
            names << kNames.at(kPaths.indexOf(path));
        dialog.setQueue(queue.getList(), names);
    };
    connect(&dialog, &QueueDialog::moveUpRequested, &dialog, [&queue, refill](const QString &p) {
        queue.moveUp(p);
        refill();
    });
    connect(&dialog, &QueueDialog::moveDownRequested, &dialog,
            [&queue, refill](const QString &p) {
                queue.moveDown(p);
                refill();
            });
    connect(&dialog, &QueueDialog::jumpQueueRequested, &dialog,
            [&queue, refill](const QString &p) {
                queue.moveToFront(p);
                refill();
            });
    connect(&dialog, &QueueDialog::removeRequested, &dialog, [&queue, refill](const QString &p) {
        queue.remove(p);
        refill();
    });
    connect(&dialog, &QueueDialog::clearRequested, &dialog, [&queue, refill] {
        queue.clear();
        refill();
    });
    for (const QString &path : kPaths)
        queue.add(path);
    refill();
}

void TestQueueDialog::layoutAndTexts()
{
    QueueDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("Play Queue"));
    QCOMPARE(dialog.size(), QSize(400, 300));
    QCOMPARE(dialog.queueWidget->parent(), &dialog);
    for (QPushButton *button : {dialog.moveUpButton, dialog.moveDownButton, dialog.removeButton,
                                dialog.jumpButton, dialog.clearButton}) {
        QCOMPARE(button->parent(), &dialog);
        QVERIFY(button->text().isEmpty());
    }
    QVERIFY(dialog.moveUpButton->toolTip().isEmpty());
    QVERIFY(dialog.moveDownButton->toolTip().isEmpty());
    QCOMPARE(dialog.removeButton->toolTip(), QString("Remove from queue"));
    QCOMPARE(dialog.jumpButton->toolTip(), QString("Move to front of queue"));
    QCOMPARE(dialog.clearButton->toolTip(), QString("Clear the queue"));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // Up at the top of the list, down at its bottom, both to its right;
    // clear alone at the left under the list, remove and jump at the right.
    const QRect list = dialog.queueWidget->geometry();
    QVERIFY(dialog.moveUpButton->geometry().left() > list.right());
    QVERIFY(dialog.moveDownButton->geometry().top() > dialog.moveUpButton->geometry().bottom());
    QVERIFY(dialog.clearButton->geometry().top() > list.bottom());
    QVERIFY(dialog.clearButton->geometry().right() < dialog.removeButton->geometry().left());
    QVERIFY(dialog.removeButton->geometry().right() < dialog.jumpButton->geometry().left());
}

void TestQueueDialog::buttonsEmitSelectedPath_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("signal");
    QTest::newRow("up") << "moveUpButton" << "moveUpRequested";
    QTest::newRow("down") << "moveDownButton" << "moveDownRequested";
    QTest::newRow("remove") << "removeButton" << "removeRequested";
    QTest::newRow("jump") << "jumpButton" << "jumpQueueRequested";
}

void TestQueueDialog::buttonsEmitSelectedPath()
{
    QFETCH(QString, button);
    QFETCH(QString, signal);

    QueueDialog dialog;
    dialog.setQueue(kPaths, kNames);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QHash<QString, QPushButton *> buttons{{"moveUpButton", dialog.moveUpButton},
                                                {"moveDownButton", dialog.moveDownButton},
                                                {"removeButton", dialog.removeButton},
                                                {"jumpButton", dialog.jumpButton}};
    QSignalSpy up(&dialog, &QueueDialog::moveUpRequested);
    QSignalSpy down(&dialog, &QueueDialog::moveDownRequested);
    QSignalSpy remove(&dialog, &QueueDialog::removeRequested);
    QSignalSpy jump(&dialog, &QueueDialog::jumpQueueRequested);
    const QHash<QString, QSignalSpy *> spies{{"moveUpRequested", &up},
                                             {"moveDownRequested", &down},
                                             {"removeRequested", &remove},
                                             {"jumpQueueRequested", &jump}};

    QueueWidget *list = dialog.queueWidget;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    QTest::mouseClick(buttons.value(button), Qt::LeftButton);

    for (auto it = spies.cbegin(); it != spies.cend(); ++it)
        QCOMPARE(it.value()->count(), it.key() == signal ? 1 : 0);
    QCOMPARE(spies.value(signal)->at(0).at(0).toString(), kPaths.at(1));
}

void TestQueueDialog::buttonsEmitEmptyPathWithoutSelection()
{
    QueueDialog dialog;
    PlayQueue queue;
    attachQueue(dialog, queue);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // Removing the selected track leaves no current row.
    QueueWidget *list = dialog.queueWidget;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    QTest::mouseClick(dialog.removeButton, Qt::LeftButton);
    QCOMPARE(list->currentRow(), -1);
    const QStringList left = queue.getList();
    QCOMPARE(left.size(), 2);

    QSignalSpy up(&dialog, &QueueDialog::moveUpRequested);
    QSignalSpy down(&dialog, &QueueDialog::moveDownRequested);
    QSignalSpy remove(&dialog, &QueueDialog::removeRequested);
    QSignalSpy jump(&dialog, &QueueDialog::jumpQueueRequested);
    QTest::mouseClick(dialog.removeButton, Qt::LeftButton);
    QTest::mouseClick(dialog.moveUpButton, Qt::LeftButton);
    QTest::mouseClick(dialog.moveDownButton, Qt::LeftButton);
    QTest::mouseClick(dialog.jumpButton, Qt::LeftButton);

    for (QSignalSpy *spy : {&up, &down, &remove, &jump}) {
        QCOMPARE(spy->count(), 1);
        QVERIFY(spy->at(0).at(0).toString().isEmpty());
    }
    QCOMPARE(queue.getList(), left);
    QCOMPARE(list->count(), 2);
}

void TestQueueDialog::clearButtonEmitsAtOnce()
{
    QueueDialog dialog;
    PlayQueue queue;
    attachQueue(dialog, queue);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy clear(&dialog, &QueueDialog::clearRequested);

    QTest::mouseClick(dialog.clearButton, Qt::LeftButton);
    QCOMPARE(clear.count(), 1);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(dialog.queueWidget->count(), 0);
}

void TestQueueDialog::escapeClosesDialog()
{
    QueueDialog dialog;
    dialog.setQueue(kPaths, kNames);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy finished(&dialog, &QDialog::finished);

    QTest::keyClick(dialog.queueWidget, Qt::Key_Escape);
    QVERIFY(dialog.isHidden());
    QVERIFY(finished.count() >= 1);

    // Closing only hides: the list is still there on reopening.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.queueWidget->count(), 3);
    QTest::keyClick(dialog.jumpButton, Qt::Key_Escape);
    QVERIFY(dialog.isHidden());
}

void TestQueueDialog::deleteKeyRemovesSelected()
{
    QueueDialog dialog;
    PlayQueue queue;
    attachQueue(dialog, queue);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy remove(&dialog, &QueueDialog::removeRequested);

    QueueWidget *list = dialog.queueWidget;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    QTest::keyClick(list, Qt::Key_Delete);

    QCOMPARE(remove.count(), 1);
    QCOMPARE(remove.at(0).at(0).toString(), kPaths.at(1));
    QCOMPARE(queue.getList(), (QStringList{kPaths.at(0), kPaths.at(2)}));
    QCOMPARE(list->count(), 2);
}

void TestQueueDialog::jKeyMovesSelectedToFront()
{
    QueueDialog dialog;
    PlayQueue queue;
    attachQueue(dialog, queue);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy jump(&dialog, &QueueDialog::jumpQueueRequested);

    QueueWidget *list = dialog.queueWidget;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(2)).center());
    // With the focus on a button the letter reaches the dialog.
    dialog.removeButton->setFocus();
    QTest::keyClick(dialog.removeButton, Qt::Key_J);

    QCOMPARE(jump.count(), 1);
    QCOMPARE(jump.at(0).at(0).toString(), kPaths.at(2));
    QCOMPARE(queue.getList(), (QStringList{kPaths.at(2), kPaths.at(0), kPaths.at(1)}));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(list->getSelectedItemPath(), kPaths.at(2));
}

void TestQueueDialog::selectionKeptAcrossRefills()
{
    QueueDialog dialog;
    PlayQueue queue;
    attachQueue(dialog, queue);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QueueWidget *list = dialog.queueWidget;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    QTest::mouseClick(dialog.moveUpButton, Qt::LeftButton);
    QCOMPARE(queue.getList(), (QStringList{kPaths.at(1), kPaths.at(0), kPaths.at(2)}));
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(list->item(0)->isSelected());
    QCOMPARE(list->getSelectedItemPath(), kPaths.at(1));

    // The same track can be pushed down step by step.
    QTest::mouseClick(dialog.moveDownButton, Qt::LeftButton);
    QTest::mouseClick(dialog.moveDownButton, Qt::LeftButton);
    QCOMPARE(queue.getList(), (QStringList{kPaths.at(0), kPaths.at(2), kPaths.at(1)}));
    QCOMPARE(list->currentRow(), 2);
    QCOMPARE(list->getSelectedItemPath(), kPaths.at(1));
}

void TestQueueDialog::selectionDroppedWhenTrackLeaves()
{
    QueueDialog dialog;
    PlayQueue queue;
    attachQueue(dialog, queue);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QueueWidget *list = dialog.queueWidget;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    QTest::mouseClick(dialog.removeButton, Qt::LeftButton);
    QCOMPARE(list->count(), 2);
    QVERIFY(list->getSelectedItemPath().isEmpty());
}

void TestQueueDialog::widgetSignalsForwarded_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("signal");
    QTest::newRow("move up") << "Move Up" << "moveUpRequested";
    QTest::newRow("move down") << "Move Down" << "moveDownRequested";
    QTest::newRow("remove") << "Remove from Queue" << "removeRequested";
    QTest::newRow("play next") << "Play next" << "jumpQueueRequested";
    QTest::newRow("clear") << "Clear Queue" << "clearRequested";
}

void TestQueueDialog::widgetSignalsForwarded()
{
    QFETCH(QString, entry);
    QFETCH(QString, signal);

    QueueDialog dialog;
    dialog.setQueue(kPaths, kNames);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy up(&dialog, &QueueDialog::moveUpRequested);
    QSignalSpy down(&dialog, &QueueDialog::moveDownRequested);
    QSignalSpy remove(&dialog, &QueueDialog::removeRequested);
    QSignalSpy jump(&dialog, &QueueDialog::jumpQueueRequested);
    QSignalSpy clear(&dialog, &QueueDialog::clearRequested);
    const QHash<QString, QSignalSpy *> spies{{"moveUpRequested", &up},
                                             {"moveDownRequested", &down},
                                             {"removeRequested", &remove},
                                             {"jumpQueueRequested", &jump},
                                             {"clearRequested", &clear}};

    // Right-click the last row and pick the entry from the menu.
    bool opened = false;
    QTimer::singleShot(0, &dialog, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        opened = true;
        for (QAction *action : menu->actions()) {
            if (action->text() == entry)
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QueueWidget *list = dialog.queueWidget;
    const QPoint pos = list->visualItemRect(list->item(2)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);

    QVERIFY(opened);
    for (auto it = spies.cbegin(); it != spies.cend(); ++it)
        QCOMPARE(it.value()->count(), it.key() == signal ? 1 : 0);
    if (signal != "clearRequested")
        QCOMPARE(spies.value(signal)->at(0).at(0).toString(), kPaths.at(2));
}

void TestQueueDialog::reorderForwarded()
{
    QueueDialog dialog;
    dialog.setQueue(kPaths, kNames);
    QSignalSpy reordered(&dialog, &QueueDialog::reordered);
    const QStringList order{kPaths.at(2), kPaths.at(0), kPaths.at(1)};
    emit dialog.queueWidget->reordered(order);
    QCOMPARE(reordered.count(), 1);
    QCOMPARE(reordered.at(0).at(0).toStringList(), order);
}

void TestQueueDialog::iconsTintedWithTrashInRed()
{
    QueueDialog dialog;
    const QColor theme("#3366ff");
    const QColor red("#e81123");
    const QSize size(24, 24);
    dialog.setIcons(theme, red, size);

    for (QPushButton *button :
         {dialog.moveUpButton, dialog.moveDownButton, dialog.removeButton, dialog.jumpButton}) {
        QCOMPARE(button->iconSize(), size);
        QVERIFY(iconTintedWith(button, theme));
    }
    QCOMPARE(dialog.clearButton->iconSize(), size);
    QVERIFY(iconTintedWith(dialog.clearButton, red));

    // A new theme colour leaves the trash red.
    const QColor green("#22aa44");
    dialog.setIcons(green, red, QSize(32, 32));
    QVERIFY(iconTintedWith(dialog.moveUpButton, green));
    QVERIFY(iconTintedWith(dialog.clearButton, red));
    QCOMPARE(dialog.clearButton->iconSize(), QSize(32, 32));
}

QTEST_MAIN(TestQueueDialog)
#include "test_queuedialog.moc"
