// The update scan's rule, with no disk: which records stay, which are read again, which are new,
// which are gone and which were renamed.

#include "TestSupport.h"
#include "library/scan/UpdateMerge.h"

#include <QtTest>

using Record = TrackTable::Record;

namespace {

/** "path [mtime [size [ctime]]]", each number -1 when left out or "-". */
std::tuple<QString, qint64, qint64, qint64> parse(const QString &text)
{
    const QStringList parts = text.split(' ');
    const auto number = [&parts](int i) {
        return i < parts.size() && parts[i] != "-" ? parts[i].toLongLong() : -1;
    };
    return {parts[0], number(1), number(2), number(3)};
}

/** A file as the walk finds it: regular when it has an mtime. */
UpdateMerge::Found found(const QString &text)
{
    const auto [path, mtime, size, ctime] = parse(text);
    return {path, FileState{mtime >= 0, mtime, mtime >= 0 ? size : -1, ctime}};
}

/** How @p state is written in the table: "path mtime size", then the ctime where known. */
QString stateText(const QString &path, const FileState &state)
{
    QString text = QString("%1 %2 %3").arg(path).arg(state.mtime).arg(state.size);
    return state.ctime < 0 ? text : text + ' ' + QString::number(state.ctime);
}

using List = QStringList;

void row(const char *name, const List &records, const List &walked, const List &moves,
    const List &rows, const List &reads, const List &gone, bool same, const List &moved = {},
    const List &scope = {})
{
    QTest::newRow(name) << records << walked << moves << rows << reads << gone << same << moved
                        << scope;
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
        // records: "path mtime size ctime" in place, "-" or nothing for unknown. walked: what the
        // walk found, in walk order (a regular file when it has an mtime); moves: "from>to", the
        // renames the watcher saw. The result: its rows ("path?" to be read, else the record kept
        // with its state), the reads ("path mtime size ctime @rows"), the paths dropped, whether
        // the records in place stay as they are, and the records found under a new path. scope:
        // the paths the walk covered, none for the whole folder.
        TestSupport::columns<List, List, List, List, List, List, bool, List, List>(
            "records", "walked", "moves", "rows", "reads", "gone", "same", "moved", "scope");
        row("all kept: same", {"a 1 10", "b 2 20 5"}, {"b 2 20 5", "a 1 10"}, {},
            {"a 1 10", "b 2 20 5"}, {}, {}, true);
        row("changed by size", {"a 1 10", "b 2 20"}, {"a 1 11", "b 2 20"}, {}, {"a?", "b 2 20"},
            {"a 1 11 @0"}, {}, false);
        row("changed by mtime", {"a 1 10", "b 2 20"}, {"a 1 10", "b 3 20"}, {}, {"a 1 10", "b?"},
            {"b 3 20 @1"}, {}, false);
        row("changed by change time alone", {"a 1 10 5", "b 1 10 5"}, {"a 1 10 6", "b 1 10 5"}, {},
            {"a?", "b 1 10 5"}, {"a 1 10 6 @0"}, {}, false);
        row("no change time where the system keeps none: same", {"a 1 10 5"}, {"a 1 10"}, {},
            {"a 1 10 5"}, {}, {}, true);
        row("without mtime, size or change time: trusted, takes the file's",
            {"a", "b - 20", "c 3 -", "d 4 40"}, {"a 1 10", "b 2 20", "c 3 30", "d 4 40 9"}, {},
            {"a 1 10", "b 2 20", "c 3 30", "d 4 40 9"}, {}, {}, false);
        row("without mtime or size, not a regular file: same", {"a"}, {"a"}, {}, {"a -1 -1"}, {},
            {}, true);
        row("no longer a regular file: kept as it was", {"a 1 10"}, {"a"}, {}, {"a 1 10"}, {}, {},
            true);
        row("new files appended in walk order", {"m 1 1"}, {"z 2 2", "m 1 1", "a 3 3"}, {},
            {"m 1 1", "z?", "a?"}, {"z 2 2 @1", "a 3 3 @2"}, {}, false);
        row("changed read before new, in library order", {"b 1 1", "a 1 1"},
            {"n 5 5", "a 2 1", "b 2 1"}, {}, {"b?", "a?", "n?"},
            {"b 2 1 @0", "a 2 1 @1", "n 5 5 @2"}, {}, false);
        row("gone dropped", {"a 1 1", "b 1 1", "c 1 1"}, {"c 1 1"}, {}, {"c 1 1"}, {}, {"a", "b"},
            false);
        // Whether an unwalked path still leads to a file does not count: another copy of the
        // music, or the old spelling on a drive that ignores case.
        row("not walked: gone, whatever its path leads to", {"/copy/a 1 1", "M/Song 1 1"},
            {"M/song 1 1"}, {}, {"M/song?"}, {"M/song 1 1 @0"}, {"/copy/a", "M/Song"}, false);
        row("a path twice: once", {"a 1 1", "b 1 1", "a 1 1"}, {"a 2 1", "b 1 1"}, {},
            {"a?", "b 1 1"}, {"a 2 1 @0"}, {"a"}, false);
        row("a folder renamed: its records keep their rows",
            {"M/A/1 1 1", "M/B/2 1 1", "M/A/3 1 1"}, {"M/B/2 1 1", "M/Z/1 1 1", "M/Z/3 1 1"},
            {"M/A>M/Z"}, {"M/Z/1 1 1", "M/B/2 1 1", "M/Z/3 1 1"}, {}, {}, false,
            {"M/A/1>M/Z/1", "M/A/3>M/Z/3"});
        row("a file renamed twice, its change time new: read in its row", {"a 1 1 1", "m 1 1"},
            {"m 1 1", "c 1 1 2"}, {"a>b", "b>c"}, {"c?", "m 1 1"}, {"c 1 1 2 @0"}, {}, false,
            {"a>c"});
        row("the case of a name changed", {"M/Song 1 1", "M/b 1 1"}, {"M/b 1 1", "M/song 1 1"},
            {"M/Song>M/song"}, {"M/song 1 1", "M/b 1 1"}, {}, {}, false, {"M/Song>M/song"});
        row("renamed to what the walk does not find: gone", {"a 1 1"}, {}, {"a>x"}, {}, {}, {"a"},
            false);
        row("a folder whose name begins another's", {"M/Album_2/x 1 1"},
            {"M/B/x 1 1", "M/C_2/x 1 1"}, {"M/Album>M/C", "M/Album_2>M/B"},
            {"M/B/x 1 1", "M/C_2/x?"}, {"M/C_2/x 1 1 @1"}, {}, false, {"M/Album_2/x>M/B/x"});
        row("nothing at all: same", {}, {}, {}, {}, {}, {}, true);
        row("in a scope: records outside it kept unwalked", {"M/A/1 1 1", "M/B/2 1 1", "M/B/3 1 1"},
            {"M/B/2 1 1"}, {}, {"M/A/1 1 1", "M/B/2 1 1"}, {}, {"M/B/3"}, false, {}, {"M/B"});
        row("in a scope: a folder whose name begins a scope's is outside it",
            {"M/Al/x 1 1", "M/Al_b/y 1 1", "M/z 1 1"}, {"M/z 2 1", "M/Al/n 1 1"}, {},
            {"M/Al_b/y 1 1", "M/z?", "M/Al/n?"}, {"M/z 2 1 @1", "M/Al/n 1 1 @2"}, {"M/Al/x"}, false,
            {}, {"M/Al", "M/z"});
        row("in a scope, nothing changed there: same", {"a/x 1 1", "b/y 1 1"}, {"b/y 1 1"}, {},
            {"a/x 1 1", "b/y 1 1"}, {}, {}, true, {}, {"b"});
    }
    void merge()
    {
        QFETCH(List, records);
        QFETCH(List, walked);
        QFETCH(List, moves);
        QList<Record> inPlace;
        for (const QString &text : records) {
            const auto [path, mtime, size, ctime] = parse(text);
            inPlace.append({path, "Artist", "Title " + path, "", "", "1:00", mtime, size, ctime});
        }
        const TrackTable base(inPlace);
        QList<UpdateMerge::Found> walk;
        for (const QString &text : walked)
            walk.append(found(text));
        QList<UpdateMerge::Move> renames;
        for (const QString &text : moves)
            renames.append({text.section('>', 0, 0), text.section('>', 1)});

        QFETCH(List, scope);
        const UpdateMerge::Result result = UpdateMerge(base, walk, renames, scope).result();
        QStringList rows;
        for (const Record &record : result.records) {
            if (record.title.isEmpty()) {
                rows << record.path + '?';
                continue;
            }
            // A kept record is the one in place, its tags untouched, under its path now.
            const QString was = result.moved.key(record.path, record.path);
            QCOMPARE(record.title, "Title " + was);
            rows << stateText(record.path, {true, record.mtime, record.size, record.ctime});
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
        QStringList moved;
        for (auto it = result.moved.cbegin(); it != result.moved.cend(); ++it)
            moved << it.key() + '>' + it.value();
        moved.sort();
        QTEST(moved, "moved");
    }
};

QTEST_MAIN(TestMerge)
#include "test_merge.moc"
