// The time texts: a track's length as the library stores it and reads it back, the position
// display and the queue's total, at the edges of each unit.

#include "library/TimeText.h"

#include <QtTest>

#include <limits>

class TestTimeText : public QObject {
    Q_OBJECT

private slots:
    void lengthAndPosition_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("position");
        QTest::addColumn<qint64>("readBack"); // lengthSeconds() of the length text
        const auto row
            = [](const char *name, qint64 ms, const char *length, const char *position,
                  qint64 readBack) { QTest::newRow(name) << ms << length << position << readBack; };
        row("zero", 0, "0:00", "00:00", 0);
        row("under a second", 999, "0:00", "00:00", 0);
        row("59.999 s cut, not rounded", 59999, "0:59", "00:59", 59);
        row("a minute", 60000, "1:00", "01:00", 60);
        row("62 min 5 s, no hours", 3725000, "62:05", "62:05", 3725);
        row("10 h 1 min 1 s", 36061000, "601:01", "601:01", 36061);
        row("negative: past a length", -61000, "0:00", "00:00", 0);
        // 15 digits of minutes: more than a cache entry may carry, read back as 0.
        row("largest count", std::numeric_limits<qint64>::max(), "153722867280912:55",
            "153722867280912:55", 0);
    }
    void lengthAndPosition()
    {
        QFETCH(qint64, ms);
        QTEST(TimeText::length(ms), "length");
        QTEST(TimeText::position(ms), "position");
        QTEST(TimeText::lengthSeconds(TimeText::length(ms)), "readBack");
    }

    void total_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << qint64(0) << "0:00";
        QTest::newRow("under a minute") << qint64(59) << "0:59";
        QTest::newRow("under an hour") << qint64(3599) << "59:59";
        QTest::newRow("62 min 5 s") << qint64(3725) << "1:02:05";
        QTest::newRow("10 h 1 min 1 s") << qint64(36061) << "10:01:01";
        QTest::newRow("largest count, no days")
            << std::numeric_limits<qint64>::max() << "2562047788015215:30:07";
    }
    void total()
    {
        QFETCH(qint64, seconds);
        QTEST(TimeText::total(seconds), "text");
    }
};

QTEST_MAIN(TestTimeText)
#include "test_timetext.moc"
