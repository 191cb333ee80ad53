// Which row plays next: the loop modes, shuffle and its history, the restored track, moved rows.

#include "TestSupport.h"
#include "playback/PlayOrder.h"

#include <QtTest>

namespace {

/** Runs one step on @p order; returns what it returned (bools as 0 and 1, nothing as 0). */
int run(PlayOrder &order, QString &answers, const QString &step)
{
    const QString verb = step.section(' ', 0, 0);
    const QString arg = step.section(' ', 1, 1);
    if (verb == "next")
        return order.advance(PlayOrder::Reason::Next);
    if (verb == "end")
        return order.advance(PlayOrder::Reason::EndOfTrack);
    if (verb == "prev")
        return order.previous();
    if (verb == "set")
        return order.setCurrent(arg.toInt());
    if (verb == "shuffle")
        return order.setShuffle(arg == "1");
    if (verb == "loop")
        return order.setLoopMode(arg.toInt());
    if (verb == "cycle")
        return PlayOrder::nextLoopMode(order.loopMode());
    if (verb == "outside")
        order.playingOutside();
    else if (verb == "restore")
        order.restore(arg.toInt(), step.section(' ', 2, 2));
    else if (verb == "lib")
        order.setLibrary(arg.split(QString(), Qt::SkipEmptyParts)); // "abc" is {"a", "b", "c"}
    else if (verb == "random")
        answers = arg;
    else
        qFatal("unknown step %s", qPrintable(step));
    return 0;
}

} // namespace

class TestPlayOrder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestSupport::isolateSettings();
    }

    void steps_data()
    {
        // Steps (see run(); "random 24" makes the random source answer 2, then 4) on the library
        // "abcde", then "PATH@ROW RESULT [HISTORY]" with the last step's RESULT, and " resume".
        QTest::addColumn<QString>("steps");

        QTest::newRow("next: row below") << "set 1, next -> c@2 2 [1]";
        QTest::newRow("next: last row, list") << "loop 1, set 4, next -> e@4 -1 []";
        QTest::newRow("next: shuffle draws again")
            << "shuffle 1, set 2, random 224, next -> e@4 4 [2]";
        QTest::newRow("next: shuffle, one row")
            << "lib a, shuffle 1, set 0, random 0, next -> a@0 0 [0]";
        QTest::newRow("next: shuffle, track")
            << "shuffle 1, loop 2, set 1, random 3, next -> d@3 3 [1]";
        QTest::newRow("next: empty, shuffle") << "lib, shuffle 1, next -> @-1 -1 []";
        QTest::newRow("end: track") << "loop 2, set 2, end -> c@2 2 []";
        QTest::newRow("end: track, shuffle") << "shuffle 1, loop 2, set 2, end -> c@2 2 []";
        QTest::newRow("end: shuffle, off") << "shuffle 1, set 4, random 1, end -> b@1 1 [4]";
        QTest::newRow("end: row below") << "loop 1, set 3, end -> e@4 4 [3]";
        QTest::newRow("end: last row, list wraps") << "loop 1, set 4, end -> a@0 0 []";
        QTest::newRow("end: last row, off") << "set 4, end -> e@4 -1 []";
        QTest::newRow("end: empty, list") << "lib, loop 1, end -> @-1 -1 []";
        QTest::newRow("prev: history back")
            << "shuffle 1, set 0, random 31, next, next, prev, prev -> a@0 0 []";
        QTest::newRow("prev: no history") << "shuffle 1, set 2, prev -> c@2 -1 []";
        QTest::newRow("prev: row above") << "set 2, prev -> b@1 1 []";
        QTest::newRow("prev: row 0") << "set 0, prev -> a@0 -1 []";
        QTest::newRow("prev: history kept") << "set 1, next, prev -> b@1 1 [1]";
        QTest::newRow("shuffle off keeps history")
            << "shuffle 1, set 1, random 3, next, shuffle 0 -> d@3 1 [1]";
        QTest::newRow("shuffle unchanged") << "shuffle 1, set 1, shuffle 1 -> b@1 0 []";
        QTest::newRow("restore: moved") << "restore 1 d -> d@3 0 [] resume";
        QTest::newRow("restore: no path") << "restore 2 -> c@2 0 [] resume";
        QTest::newRow("restore: unknown path") << "restore 1 z -> z@1 0 [] resume";
        QTest::newRow("set -1") << "restore 1 b, set -1 -> b@1 0 [] resume";
        QTest::newRow("set count") << "restore 1 b, set 5 -> b@1 0 [] resume";
        QTest::newRow("set last") << "restore 1 b, set 4 -> e@4 1 []";
        QTest::newRow("outside") << "restore 1 b, outside -> b@1 0 []";
        QTest::newRow("lib: current moved") << "set 1, lib xab -> b@2 0 []";
        QTest::newRow("lib: current left") << "set 1, lib acd -> b@1 0 []";
        QTest::newRow("lib: history moved") << "set 0, next, next, lib bxca -> c@2 0 [3 0]";
        QTest::newRow("lib: history left") << "set 0, next, next, lib bc -> c@1 0 [0]";
        QTest::newRow("lib: restored path") << "lib, restore 0 c, lib abc -> c@2 0 [] resume";
        QTest::newRow("lib: row pins path")
            << "lib, restore 2, lib abcde, lib xabcde -> c@3 0 [] resume";
        QTest::newRow("loop: off to list") << "loop 1 -> @-1 1 []";
        QTest::newRow("loop: unchanged") << "loop 1, loop 1 -> @-1 0 []";
        QTest::newRow("loop: list cycles to track") << "loop 1, cycle -> @-1 2 []";
        QTest::newRow("loop: track cycles to off") << "loop 2, cycle -> @-1 0 []";
        QTest::newRow("loop: 3 reads as off") << "loop 2, loop 3, cycle -> @-1 1 []";
        QTest::newRow("loop: 3 when off") << "loop 3 -> @-1 0 []";
        QTest::newRow("loop: -1 reads as off") << "loop 1, loop -1, cycle -> @-1 1 []";
    }
    void steps()
    {
        QFETCH(QString, steps);
        QString answers;
        QList<int> bounds; // of each random draw
        PlayOrder order([&](int bound) {
            bounds.append(bound);
            return answers.mid(bounds.size() - 1, 1).toInt();
        });
        run(order, answers, "lib abcde");
        int result = 0;
        for (const QString &step : steps.section(" -> ", 0, 0).split(", "))
            result = run(order, answers, step);

        QStringList history;
        for (const int row : order.history())
            history.append(QString::number(row));
        QCOMPARE(order.currentPath() + "@" + QString::number(order.currentRow()) + " "
                + QString::number(result) + " [" + history.join(' ') + "]"
                + (order.resumePending() ? " resume" : ""),
            steps.section(" -> ", 1));
        QCOMPARE(bounds, QList<int>(answers.size(), order.count())); // one draw per answer
    }
};

QTEST_MAIN(TestPlayOrder)
#include "test_playorder.moc"
