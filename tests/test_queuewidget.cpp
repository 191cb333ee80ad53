// The queue's list: rows and their paths, the context menu of a row, drag
// and drop, and selection by path.

#include "QueueWidget.h"
#include "TestSupport.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

using namespace TestSupport;

namespace {

const QStringList kPaths{"/music/one.mp3", "/music/two.flac", "/music/three.ogg", "/music/four.wav"};
const QStringList kNames{"A - One (1:00)", "B - Two (2:00)", "C - Three (3:00)", "D - Four (4:00)"};

QPoint rowCenter(const QueueWidget &widget, int row)
{
    return widget.visualItemRect(widget.item(row)).center();
}

} // namespace

class TestQueueWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void setupForDragAndContextMenu();
    void setQueuePairsByPosition();
    void setQueueWithShorterNamesUsesFileNames();
    void setQueueReplacesRows();
    void contextMenuOnEmptySpaceOpensNothing();
    void contextMenuEntriesAndDismissal();
    void contextMenuActionsEmitRightClickedPath_data();
    void contextMenuActionsEmitRightClickedPath();
    void contextMenuSurvivesRefillDuringRequest();
    void dragThirdRowToTopEmitsNewOrder();
    void dropEmitsEvenWithoutMove();
    void selectItemByPath();
    void selectedPathEmptyWithoutCurrentRow();

private:
    // A shown widget holding kPaths and kNames.
    void show(QueueWidget &widget);
};

void TestQueueWidget::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestQueueWidget::show(QueueWidget &widget)
{
    widget.setQueue(kPaths, kNames);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
}

void TestQueueWidget::setupForDragAndContextMenu()
{
    QueueWidget widget;
    QCOMPARE(widget.contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(widget.dragEnabled());
    QVERIFY(widget.acceptDrops());
    QVERIFY(widget.showDropIndicator());
    QCOMPARE(widget.dragDropMode(), QAbstractItemView::InternalMove);
    QCOMPARE(widget.selectionMode(), QAbstractItemView::SingleSelection);
}

void TestQueueWidget::setQueuePairsByPosition()
{
    QueueWidget widget;
    widget.setQueue(kPaths, kNames);
    QCOMPARE(rowTexts(&widget), kNames);
    QCOMPARE(rowPaths(&widget), kPaths);
}

void TestQueueWidget::setQueueWithShorterNamesUsesFileNames()
{
    QueueWidget widget;
    widget.setQueue(kPaths, kNames.mid(0, 2));
    QCOMPARE(rowTexts(&widget), (QStringList{"A - One (1:00)", "B - Two (2:00)", "three.ogg", "four.wav"}));
    QCOMPARE(rowPaths(&widget), kPaths);

    widget.setQueue(kPaths, {});
    QCOMPARE(rowTexts(&widget), (QStringList{"one.mp3", "two.flac", "three.ogg", "four.wav"}));
    QCOMPARE(rowPaths(&widget), kPaths);

    // Surplus names have no row.
    widget.setQueue(kPaths.mid(0, 1), kNames);
    QCOMPARE(rowTexts(&widget), QStringList{"A - One (1:00)"});
}

void TestQueueWidget::setQueueReplacesRows()
{
    QueueWidget widget;
    widget.setQueue(kPaths, kNames);
    widget.setCurrentRow(1);
    widget.setQueue(kPaths.mid(2), kNames.mid(2));
    QCOMPARE(rowPaths(&widget), kPaths.mid(2));
    widget.setQueue({}, {});
    QCOMPARE(widget.count(), 0);
    QVERIFY(widget.getSelectedItemPath().isEmpty());
}

void TestQueueWidget::contextMenuOnEmptySpaceOpensNothing()
{
    QueueWidget widget;
    widget.resize(300, 300);
    widget.setQueue(kPaths.mid(0, 2), kNames.mid(0, 2));
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QSignalSpy clear(&widget, &QueueWidget::clearRequested);

    const QRect last = widget.visualItemRect(widget.item(1));
    QCOMPARE(answerMenu(&widget, QPoint(last.center().x(), last.bottom() + 40), "Clear Queue"), QStringList());
    QVERIFY(!QApplication::activePopupWidget());
    QCOMPARE(clear.count(), 0);
}

void TestQueueWidget::contextMenuEntriesAndDismissal()
{
    QueueWidget widget;
    show(widget);
    QSignalSpy up(&widget, &QueueWidget::moveUpRequested);
    QSignalSpy remove(&widget, &QueueWidget::removeRequested);
    QSignalSpy clear(&widget, &QueueWidget::clearRequested);

    // On the top row "Move Up" is still offered and enabled; Escape picks nothing.
    QCOMPARE(answerMenu(&widget, rowCenter(widget, 0), QString()),
             (QStringList{"Move Up", "Move Down", "Remove from Queue", "Play next", "Clear Queue"}));
    QScopedPointer<QMenu> menu(widget.createContextMenu(kPaths.at(0)));
    for (QAction *action : menu->actions())
        QVERIFY(action->isEnabled());
    QCOMPARE(up.count() + remove.count() + clear.count(), 0);
}

void TestQueueWidget::contextMenuActionsEmitRightClickedPath_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expectedSignal");

    QTest::newRow("move up") << "Move Up" << "moveUpRequested";
    QTest::newRow("move down") << "Move Down" << "moveDownRequested";
    QTest::newRow("remove") << "Remove from Queue" << "removeRequested";
    QTest::newRow("play next") << "Play next" << "jumpQueueRequested";
    QTest::newRow("clear") << "Clear Queue" << "clearRequested";
}

void TestQueueWidget::contextMenuActionsEmitRightClickedPath()
{
    QFETCH(QString, entry);
    QFETCH(QString, expectedSignal);

    QueueWidget widget;
    show(widget);
    widget.setCurrentRow(0);
    QSignalSpy up(&widget, &QueueWidget::moveUpRequested);
    QSignalSpy down(&widget, &QueueWidget::moveDownRequested);
    QSignalSpy remove(&widget, &QueueWidget::removeRequested);
    QSignalSpy jump(&widget, &QueueWidget::jumpQueueRequested);
    QSignalSpy clear(&widget, &QueueWidget::clearRequested);
    const QHash<QString, QSignalSpy *> spies{{"moveUpRequested", &up},       {"moveDownRequested", &down},
                                             {"removeRequested", &remove},   {"jumpQueueRequested", &jump},
                                             {"clearRequested", &clear}};

    // Right-click the third row while the first one is current.
    QVERIFY(!answerMenu(&widget, rowCenter(widget, 2), entry).isEmpty());

    for (auto it = spies.cbegin(); it != spies.cend(); ++it)
        QCOMPARE(it.value()->count(), it.key() == expectedSignal ? 1 : 0);
    if (expectedSignal != "clearRequested")
        QCOMPARE(spies.value(expectedSignal)->at(0).at(0).toString(), kPaths.at(2));
    // The request does not change the list or the current row.
    QCOMPARE(rowPaths(&widget), kPaths);
    QCOMPARE(widget.currentRow(), 0);
}

void TestQueueWidget::contextMenuSurvivesRefillDuringRequest()
{
    QueueWidget widget;
    show(widget);

    // The owner refills the list from the queue while handling the request.
    QStringList received;
    connect(&widget, &QueueWidget::removeRequested, &widget, [&](const QString &path) {
        received << path;
        QStringList paths = kPaths;
        QStringList names = kNames;
        names.removeAt(paths.indexOf(path));
        paths.removeAll(path);
        widget.setQueue(paths, names);
    });
    answerMenu(&widget, rowCenter(widget, 3), "Remove from Queue");
    QCOMPARE(received, QStringList{kPaths.at(3)});
    QCOMPARE(rowPaths(&widget), kPaths.mid(0, 3));
}

void TestQueueWidget::dragThirdRowToTopEmitsNewOrder()
{
    QueueWidget widget;
    show(widget);
    QSignalSpy reordered(&widget, &QueueWidget::reordered);

    // The headless platform runs no drag loop, so play the drag's parts: the
    // press selects the third row, the list's internal move takes it to the
    // top, and the drop of its data lands on the top row.
    QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, rowCenter(widget, 2));
    QCOMPARE(widget.currentRow(), 2);
    QScopedPointer<QMimeData> mime(widget.model()->mimeData({widget.currentIndex()}));
    QVERIFY(widget.model()->moveRow(QModelIndex(), 2, QModelIndex(), 0));
    QDropEvent drop(widget.visualItemRect(widget.item(0)).topLeft() + QPointF(4, 1), Qt::MoveAction, mime.data(),
                    Qt::LeftButton, Qt::NoModifier);
    widget.dropEvent(&drop);

    QCOMPARE(reordered.count(), 1);
    const QStringList expected{kPaths.at(2), kPaths.at(0), kPaths.at(1), kPaths.at(3)};
    QCOMPARE(reordered.at(0).at(0).toStringList(), expected);
    QCOMPARE(rowPaths(&widget), expected);
    QCOMPARE(widget.item(0)->text(), kNames.at(2));
}

void TestQueueWidget::dropEmitsEvenWithoutMove()
{
    QueueWidget widget;
    show(widget);
    QSignalSpy reordered(&widget, &QueueWidget::reordered);

    // A drop that did not come from this list moves nothing, but still reports the order.
    widget.setCurrentRow(1);
    QScopedPointer<QMimeData> mime(widget.model()->mimeData({widget.currentIndex()}));
    QDropEvent drop(rowCenter(widget, 0), Qt::MoveAction, mime.data(), Qt::LeftButton, Qt::NoModifier);
    widget.dropEvent(&drop);

    QCOMPARE(reordered.count(), 1);
    QCOMPARE(reordered.at(0).at(0).toStringList(), kPaths);
    QCOMPARE(rowPaths(&widget), kPaths);
}

void TestQueueWidget::selectItemByPath()
{
    QueueWidget widget;
    widget.setQueue({"/m/a.mp3", "/m/b.mp3", "/m/a.mp3"}, {"A", "B", "A again"});
    // Of two equal paths the upper row is taken.
    widget.setCurrentRow(2);
    widget.selectItemByPath("/m/a.mp3");
    QCOMPARE(widget.currentRow(), 0);
    QVERIFY(widget.item(0)->isSelected());
    QCOMPARE(widget.getSelectedItemPath(), QString("/m/a.mp3"));
    widget.selectItemByPath("/m/b.mp3");
    QCOMPARE(widget.getSelectedItemPath(), QString("/m/b.mp3"));

    // No match, an empty path or one differing in case: the current row stays.
    widget.setQueue(kPaths, kNames);
    widget.selectItemByPath(QString());
    QCOMPARE(widget.currentRow(), -1);
    widget.selectItemByPath("/music/ONE.mp3");
    QCOMPARE(widget.currentRow(), -1);
    widget.setCurrentRow(3);
    widget.selectItemByPath("/music/gone.mp3");
    QCOMPARE(widget.currentRow(), 3);
}

void TestQueueWidget::selectedPathEmptyWithoutCurrentRow()
{
    QueueWidget widget;
    QVERIFY(widget.getSelectedItemPath().isEmpty());
    widget.setQueue(kPaths, kNames);
    QCOMPARE(widget.currentRow(), -1);
    QVERIFY(widget.getSelectedItemPath().isEmpty());
    widget.setCurrentRow(1);
    QCOMPARE(widget.getSelectedItemPath(), kPaths.at(1));
}

QTEST_MAIN(TestQueueWidget)
#include "test_queuewidget.moc"
