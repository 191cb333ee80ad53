// The queue dialog: its layout, buttons, keys and the requests it passes on,
// with a real queue standing in for the main window.

#include "PlayQueue.h"
#include "QueueDialog.h"
#include "QueueWidget.h"
#include "TestSupport.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QStringList kPaths{"/music/one.mp3", "/music/two.flac", "/music/three.ogg"};
const QStringList kNames{"A - One (1:00)", "B - Two (2:00)", "C - Three (3:00)"};

void clickRow(QueueWidget *list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
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
    void widgetSignalsForwarded_data();
    void widgetSignalsForwarded();

private:
    // Shows @p dialog playing the main window's part: each request is carried
    // out on @p queue, which starts as kPaths, and the dialog refilled.
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
    const auto handle = [&dialog, &queue, refill](auto signal, void (PlayQueue::*operation)(const QString &)) {
        connect(&dialog, signal, &dialog, [&queue, refill, operation](const QString &path) {
            (queue.*operation)(path);
            refill();
        });
    };
    handle(&QueueDialog::moveUpRequested, &PlayQueue::moveUp);
    handle(&QueueDialog::moveDownRequested, &PlayQueue::moveDown);
    handle(&QueueDialog::jumpQueueRequested, &PlayQueue::moveToFront);
    handle(&QueueDialog::removeRequested, &PlayQueue::remove);
    connect(&dialog, &QueueDialog::clearRequested, &dialog, [&queue, refill] {
        queue.clear();
        refill();
    });
    for (const QString &path : kPaths)
        queue.add(path);
    refill();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
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
    const QHash<QString, QSignalSpy *> spies{{"moveUpRequested", &up}, {"moveDownRequested", &down},
                                             {"removeRequested", &remove}, {"jumpQueueRequested", &jump}};

    clickRow(dialog.queueWidget, 1);
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

    // Removing the selected track leaves no current row.
    QueueWidget *list = dialog.queueWidget;
    clickRow(list, 1);
    QTest::mouseClick(dialog.removeButton, Qt::LeftButton);
    QCOMPARE(list->currentRow(), -1);
    QVERIFY(list->getSelectedItemPath().isEmpty());
    const QStringList left = queue.getList();
    QCOMPARE(left.size(), 2);

    QSignalSpy up(&dialog, &QueueDialog::moveUpRequested);
    QSignalSpy down(&dialog, &QueueDialog::moveDownRequested);
    QSignalSpy remove(&dialog, &QueueDialog::removeRequested);
    QSignalSpy jump(&dialog, &QueueDialog::jumpQueueRequested);
    for (QPushButton *button : {dialog.removeButton, dialog.moveUpButton, dialog.moveDownButton, dialog.jumpButton})
        QTest::mouseClick(button, Qt::LeftButton);

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
    QSignalSpy clear(&dialog, &QueueDialog::clearRequested);

    // No confirmation first.
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
    QSignalSpy remove(&dialog, &QueueDialog::removeRequested);

    clickRow(dialog.queueWidget, 1);
    QTest::keyClick(dialog.queueWidget, Qt::Key_Delete);

    QCOMPARE(remove.count(), 1);
    QCOMPARE(remove.at(0).at(0).toString(), kPaths.at(1));
    QCOMPARE(queue.getList(), (QStringList{kPaths.at(0), kPaths.at(2)}));
    QCOMPARE(dialog.queueWidget->count(), 2);
}

void TestQueueDialog::jKeyMovesSelectedToFront()
{
    QueueDialog dialog;
    PlayQueue queue;
    attachQueue(dialog, queue);
    QSignalSpy jump(&dialog, &QueueDialog::jumpQueueRequested);

    QueueWidget *list = dialog.queueWidget;
    clickRow(list, 2);
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

    QueueWidget *list = dialog.queueWidget;
    clickRow(list, 1);
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

void TestQueueDialog::widgetSignalsForwarded_data()
{
    QTest::addColumn<QString>("signal");
    for (const char *name : {"moveUpRequested", "moveDownRequested", "removeRequested", "jumpQueueRequested",
                             "clearRequested", "reordered"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestQueueDialog::widgetSignalsForwarded()
{
    // The list's own requests (its context menu, a drop) reach the dialog's
    // owner as the dialog's signals, each exactly once.
    QFETCH(QString, signal);

    QueueDialog dialog;
    dialog.setQueue(kPaths, kNames);
    QueueWidget *list = dialog.queueWidget;
    QSignalSpy up(&dialog, &QueueDialog::moveUpRequested);
    QSignalSpy down(&dialog, &QueueDialog::moveDownRequested);
    QSignalSpy remove(&dialog, &QueueDialog::removeRequested);
    QSignalSpy jump(&dialog, &QueueDialog::jumpQueueRequested);
    QSignalSpy clear(&dialog, &QueueDialog::clearRequested);
    QSignalSpy reordered(&dialog, &QueueDialog::reordered);
    const QHash<QString, QSignalSpy *> spies{{"moveUpRequested", &up},       {"moveDownRequested", &down},
                                             {"removeRequested", &remove},   {"jumpQueueRequested", &jump},
                                             {"clearRequested", &clear},     {"reordered", &reordered}};

    const QString path = kPaths.at(2);
    const QStringList order{kPaths.at(2), kPaths.at(0), kPaths.at(1)};
    if (signal == "moveUpRequested")
        emit list->moveUpRequested(path);
    else if (signal == "moveDownRequested")
        emit list->moveDownRequested(path);
    else if (signal == "removeRequested")
        emit list->removeRequested(path);
    else if (signal == "jumpQueueRequested")
        emit list->jumpQueueRequested(path);
    else if (signal == "clearRequested")
        emit list->clearRequested();
    else
        emit list->reordered(order);

    for (auto it = spies.cbegin(); it != spies.cend(); ++it)
        QCOMPARE(it.value()->count(), it.key() == signal ? 1 : 0);
    if (signal == "reordered")
        QCOMPARE(reordered.at(0).at(0).toStringList(), order);
    else if (signal != "clearRequested")
        QCOMPARE(spies.value(signal)->at(0).at(0).toString(), path);
}

QTEST_MAIN(TestQueueDialog)
#include "test_queuedialog.moc"
