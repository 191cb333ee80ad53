#include "PlayQueue.h"
#include "TestSupport.h"

#include <QtTest>

class TestPlayQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void operations_data();
    void operations();
    void activeFlagOnlyChangedBySetActive();
    void nextTakesFrontInOrder();
};

void TestPlayQueue::initTestCase()
{
    TestSupport::isolateSettings();
}

// Each operation is "name" or "name:path"; the queue starts from "initial"
// built with add().
void TestPlayQueue::operations_data()
{
    QTest::addColumn<QStringList>("initial");
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<QStringList>("expected");

    const QStringList abc{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"};
    const QString a = "/m/a.mp3", b = "/m/b.mp3", c = "/m/c.mp3";

    QTest::newRow("add appends") << QStringList{a} << QStringList{"add:" + b} << QStringList{a, b};
    QTest::newRow("add keeps duplicates")
        << QStringList{a, b} << QStringList{"add:" + a} << QStringList{a, b, a};
    QTest::newRow("up of front stays") << abc << QStringList{"moveUp:" + a} << abc;
    QTest::newRow("down of last stays") << abc << QStringList{"moveDown:" + c} << abc;
    QTest::newRow("down of front swaps") << abc << QStringList{"moveDown:" + a}
                                         << QStringList{b, a, c};
    QTest::newRow("down then front")
        << abc << QStringList{"moveDown:" + a, "moveToFront:" + c} << QStringList{c, b, a};
    QTest::newRow("up of middle swaps") << abc << QStringList{"moveUp:" + b}
                                        << QStringList{b, a, c};
    QTest::newRow("up of absent") << abc << QStringList{"moveUp:/m/x.mp3"} << abc;
    QTest::newRow("down of absent") << abc << QStringList{"moveDown:/m/x.mp3"} << abc;
    QTest::newRow("front of absent is not added")
        << abc << QStringList{"moveToFront:/m/x.mp3"} << abc;
    QTest::newRow("front of front") << abc << QStringList{"moveToFront:" + a} << abc;
    QTest::newRow("remove middle") << abc << QStringList{"remove:" + b} << QStringList{a, c};
    QTest::newRow("remove absent") << abc << QStringList{"remove:/m/x.mp3"} << abc;
    QTest::newRow("remove every duplicate")
        << QStringList{a, b, a} << QStringList{"remove:" + a} << QStringList{b};
    QTest::newRow("front collapses duplicates")
        << QStringList{a, b, a} << QStringList{"moveToFront:" + a} << QStringList{a, b};
    QTest::newRow("front of later duplicate")
        << QStringList{b, a, c, a} << QStringList{"moveToFront:" + a} << QStringList{a, b, c};
    QTest::newRow("up moves first duplicate only")
        << QStringList{b, a, a} << QStringList{"moveUp:" + a} << QStringList{a, b, a};
    QTest::newRow("down moves first duplicate only")
        << QStringList{a, b, a} << QStringList{"moveDown:" + a} << QStringList{b, a, a};
    QTest::newRow("case differs: two entries")
        << QStringList{a} << QStringList{"add:/m/A.mp3"} << QStringList{a, "/m/A.mp3"};
    QTest::newRow("case differs: remove leaves the other")
        << QStringList{a, "/m/A.mp3"} << QStringList{"remove:/m/A.mp3"} << QStringList{a};
    QTest::newRow("case differs: up ignores near match")
        << QStringList{b, a} << QStringList{"moveUp:/m/A.mp3"} << QStringList{b, a};
    QTest::newRow("case differs: front ignores near match")
        << abc << QStringList{"moveToFront:/m/C.mp3"} << abc;
    QTest::newRow("next takes front") << abc << QStringList{"next"} << QStringList{b, c};
    QTest::newRow("clear") << abc << QStringList{"clear"} << QStringList{};
    QTest::newRow("clear then add") << abc << QStringList{"clear", "add:" + b}
                                    << QStringList{b};
}

void TestPlayQueue::operations()
{
    QFETCH(QStringList, initial);
    QFETCH(QStringList, operations);
    QFETCH(QStringList, expected);

    PlayQueue queue;
    for (const QString &path : initial)
        queue.add(path);

    for (const QString &operation : operations) {
        const QString name = operation.section(':', 0, 0);
        const QString path = operation.section(':', 1);
        if (name == "add")
            queue.add(path);
        else if (name == "remove")
            queue.remove(path);
        else if (name == "moveUp")
            queue.moveUp(path);
        else if (name == "moveDown")
            queue.moveDown(path);
        else if (name == "moveToFront")
            queue.moveToFront(path);
        else if (name == "clear")
            queue.clear();
        else if (name == "next")
            queue.next();
        else
            QFAIL(qPrintable("unknown operation " + name));
    }

    QCOMPARE(queue.getList(), expected);
    QCOMPARE(queue.isEmpty(), expected.isEmpty());
    for (const QString &path : expected)
        QVERIFY(queue.contains(path));
    // Nothing in the table touches the flag.
    QVERIFY(!queue.isActive());
}

void TestPlayQueue::activeFlagOnlyChangedBySetActive()
{
    PlayQueue queue;
    QVERIFY(queue.isEmpty());
    QVERIFY(!queue.contains(QString()));
    queue.add("/m/a.mp3");
    QVERIFY(!queue.isActive());
    queue.setActive(true);
    QVERIFY(queue.isActive());

    // Emptying the queue in any way leaves it active.
    queue.add("/m/b.mp3");
    queue.remove("/m/b.mp3");
    queue.moveUp("/m/a.mp3");
    queue.moveDown("/m/a.mp3");
    queue.moveToFront("/m/a.mp3");
    QCOMPARE(queue.next(), QString("/m/a.mp3"));
    QVERIFY(queue.isEmpty());
    QVERIFY(queue.isActive());

    queue.add("/m/c.mp3");
    queue.clear();
    QVERIFY(queue.isEmpty());
    QVERIFY(queue.isActive());

    queue.setActive(false);
    QVERIFY(!queue.isActive());
    queue.add("/m/d.mp3");
    QVERIFY(!queue.isActive());
}

void TestPlayQueue::nextTakesFrontInOrder()
{
    PlayQueue queue;
    queue.add("/m/a.mp3");
    queue.add("/m/b.mp3");
    queue.add("/m/a.mp3");
    QCOMPARE(queue.next(), QString("/m/a.mp3"));
    QCOMPARE(queue.next(), QString("/m/b.mp3"));
    QVERIFY(queue.contains("/m/a.mp3"));
    QCOMPARE(queue.next(), QString("/m/a.mp3"));
    QVERIFY(queue.isEmpty());
}

QTEST_APPLESS_MAIN(TestPlayQueue)
#include "test_playqueue.moc"
