// The update scan's rule, with no disk: which records stay, which are read again, which are new
// and which are gone.

#include "TestSupport.h"
#include "library/scan/UpdateMerge.h"

#include <QtTest>

using Record = TrackTable::Record;

namespace {

/** "path [mtime [size]]", each number -1 when left out or "-". */
std::tuple<QString, qint64, qint64> parse(const QString &text)
{
    const QStringList parts = text.split(' ');
    const auto number = [&parts](int i) {
        return i < parts.size() && parts[i] != "-" ? parts[i].toLongLong() : -1;
    };
    return {parts[0], number(1), number(2)};
}

/** A file as the walk or a look at it finds it: regular when it has an mtime. */
UpdateMerge::Found found(const QString &text)
{
    const auto [path, mtime, size] = parse(text);
    return {path, FileState{mtime >= 0, mtime, mtime >= 0 ? size : -1}};
}

/** How @p state is written in the table. */
QString stateText(const QString &path, const FileState &state)
{
    return QString("%1 %2 %3").arg(path).arg(state.mtime).arg(state.size);
}

} // namespace

class TestMerge : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestSupport::isolateSettings();
    }

    void merge_data()
    {
        // records: "path mtime size" in place, "-" or nothing for unknown. walked: what the walk
        // found, in walk order; elsewhere: unwalked paths that still exist (a regular file when
        // it has an mtime). The result: its rows ("path?" to be read, else the record kept with
        // its mtime and size), the reads ("path mtime size @rows"), the paths gone, whether the
        // records in place stay as they are, and which paths had to be looked at.
        TestSupport::columns<QStringList, QStringList, QStringList, QStringList, QStringList,
            QStringList, bool, QStringList>(
            "records", "walked", "elsewhere", "rows", "reads", "gone", "same", "unwalked");
        const QStringList none;
        QTest::newRow("all kept: same")
            << QStringList{"a 1 10", "b 2 20"} << QStringList{"b 2 20", "a 1 10"} << none
            << QStringList{"a 1 10", "b 2 20"} << none << none << true << none;
        QTest::newRow("changed by size")
            << QStringList{"a 1 10", "b 2 20"} << QStringList{"a 1 11", "b 2 20"} << none
            << QStringList{"a?", "b 2 20"} << QStringList{"a 1 11 @0"} << none << false << none;
        QTest::newRow("changed by mtime")
            << QStringList{"a 1 10", "b 2 20"} << QStringList{"a 1 10", "b 3 20"} << none
            << QStringList{"a 1 10", "b?"} << QStringList{"b 3 20 @1"} << none << false << none;
        QTest::newRow("without mtime or size: trusted, takes the file's")
            << QStringList{"a", "b - 20", "c 3 -"} << QStringList{"a 1 10", "b 2 20", "c 3 30"}
            << none << QStringList{"a 1 10", "b 2 20", "c 3 30"} << none << none << false << none;
        QTest::newRow("without mtime or size, not a regular file: same")
            << QStringList{"a"} << QStringList{"a"} << none << QStringList{"a -1 -1"} << none
            << none << true << none;
        QTest::newRow("no longer a regular file: kept as it was")
            << QStringList{"a 1 10"} << QStringList{"a"} << none << QStringList{"a 1 10"} << none
            << none << true << none;
        QTest::newRow("new files appended in walk order")
            << QStringList{"m 1 1"} << QStringList{"z 2 2", "m 1 1", "a 3 3"} << none
            << QStringList{"m 1 1", "z?", "a?"} << QStringList{"z 2 2 @1", "a 3 3 @2"} << none
            << false << none;
        QTest::newRow("changed read before new, in library order")
            << QStringList{"b 1 1", "a 1 1"} << QStringList{"n 5 5", "a 2 1", "b 2 1"} << none
            << QStringList{"b?", "a?", "n?"} << QStringList{"b 2 1 @0", "a 2 1 @1", "n 5 5 @2"}
            << none << false << none;
        QTest::newRow("gone dropped")
            << QStringList{"a 1 1", "b 1 1", "c 1 1"} << QStringList{"c 1 1"} << none
            << QStringList{"c 1 1"} << none << QStringList{"a", "b"} << false
            << QStringList{"a", "b"};
        QTest::newRow("not walked but there: kept, and judged by its file")
            << QStringList{"/x 1 1", "/y 1 1", "/z"} << QStringList{"n 1 1"}
            << QStringList{"/x 1 1", "/y 2 1", "/z 3 3"}
            << QStringList{"/x 1 1", "/y?", "/z 3 3", "n?"} << QStringList{"/y 2 1 @1", "n 1 1 @3"}
            << none << false << QStringList{"/x", "/y", "/z"};
        QTest::newRow("not walked, there and the same: same")
            << QStringList{"/x 1 1", "a 1 1"} << QStringList{"a 1 1"} << QStringList{"/x 1 1"}
            << QStringList{"/x 1 1", "a 1 1"} << none << none << true << QStringList{"/x"};
        QTest::newRow("a path twice is read once")
            << QStringList{"a 1 1", "b 1 1", "a 1 1"} << QStringList{"a 2 1", "b 1 1"} << none
            << QStringList{"a?", "b 1 1", "a?"} << QStringList{"a 2 1 @0,2"} << none << false
            << none;
        QTest::newRow("a path twice, not walked, looked at once")
            << QStringList{"a 1 1", "a 1 1"} << none << QStringList{"a 1 1"}
            << QStringList{"a 1 1", "a 1 1"} << none << none << true << QStringList{"a"};
        QTest::newRow("nothing at all: same")
            << none << none << none << none << none << none << true << none;
    }
    void merge()
    {
        QFETCH(QStringList, records);
        QFETCH(QStringList, walked);
        QFETCH(QStringList, elsewhere);
        QList<Record> inPlace;
        for (const QString &text : records) {
            const auto [path, mtime, size] = parse(text);
            inPlace.append({path, "Artist", "Title " + path, "", "", "1:00", mtime, size});
        }
        const TrackTable base(inPlace);
        QList<UpdateMerge::Found> walk;
        for (const QString &text : walked)
            walk.append(found(text));
        QHash<QString, FileState> there;
        for (const QString &text : elsewhere)
            there.insert(found(text).path, found(text).state);

        const UpdateMerge merge(base, walk);
        QTEST(merge.unwalked(), "unwalked");
        const UpdateMerge::Result result = merge.result(there);
        QStringList rows;
        for (const Record &record : result.records) {
            if (record.title.isEmpty()) {
                rows << record.path + '?';
                continue;
            }
            // A kept record is the one in place, its tags untouched.
            QCOMPARE(record.title, "Title " + record.path);
            rows << stateText(record.path, {true, record.mtime, record.size});
        }
        QTEST(rows, "rows");
        QStringList reads;
        for (const UpdateMerge::Read &read : result.reads) {
            QStringList at;
            for (int row : read.rows)
                at << QString::number(row);
            reads << stateText(read.path, read.state) + " @" + at.join(',');
        }
        QTEST(reads, "reads");
        QTEST(result.gone, "gone");
        QTEST(result.same, "same");
    }
};

QTEST_MAIN(TestMerge)
#include "test_merge.moc"
