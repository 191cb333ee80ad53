// The play-next queue through the controller the views share; the queue and search dialogs.

#include "TestSupport.h"
#include "playback/QueueController.h"
#include "ui/dialogs/QueueDialog.h"
#include "ui/dialogs/SearchDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>

using namespace TestSupport;

class TestQueue : public QObject {
    Q_OBJECT

    QTemporaryDir libraryDir;
    QList<CacheEntry> records; // path, artist, title, album, duration
    Playlist library;

    /** The paths of library rows @p ids ("1,0"); a word names a file outside the library. */
    QStringList pathsOf(const QString &ids) const
    {
        QStringList paths;
        for (const QString &id : ids.split(','))
            paths << (id.front().isDigit() ? library.at(id.toInt()).toLocalFile()
                                           : libraryDir.filePath(id + ".mp3"));
        return paths;
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
        // Artist|title|album|duration|file; rows 6-14, untagged: an hour, damaged, the limit.
        QStringList tags{"Nina|Blue||3:07|blue.mp3", "Arvo|Spiegel|Alina|10:12|sp.flac",
            "||||[01] Intro.ogg", "The Blue Notes|Night|Blue Album|4:10|night.mp3",
            "Ψάλτης|Σίσυφος||2:00|s.wav", "Cora|Five|Ensemble|5:05|five.mp3"};
        for (const char *duration : {"59:54", "0:05", "0:01", "1:02:03", "+1:30", "2:60", "3:7",
                 "1000000000:00", "999999999:59"})
            tags << QString("|||%1|t%2.mp3").arg(duration).arg(tags.size());
        for (const QString &tag : tags)
            records.append(
                QStringList{copyFixture("tone.mp3", libraryDir.filePath(tag.section('|', 4)))}
                + tag.split('|').mid(0, 4));
        writeCache(libraryDir.filePath("cache.json"), records);
        QVERIFY(library.loadFromCache(libraryDir.filePath("cache.json")));
    }

    void controller_data()
    {
        // Steps on library rows or outside files ("Blue": row 0's in other case); "next:n" returns
        // n. Then on or off and the changed() signals | each entry's row:mark | summary.
        columns<QString, QString>("steps", "result");
        const QList<QStringList> rows{
            {"inactive; clear", "order:2,0 next:-1 toggle:1 clear", "off 3 |  | 15 tracks"},
            {"toggle on, again off", "toggle:3 toggle:1 toggle:3 toggle:4",
                "on 4 | 1:1 4:2 | 15 tracks, 2 in queue (12:12)"},
            {"no change, no signal", "toggle:0 toggle:1 up:0 down:1 up:x front:x remove:Blue",
                "on 2 | 0:1 1:2 | 15 tracks, 2 in queue (13:19)"},
            {"moves take the first copy", "toggle:5 order:1,0,0 up:0 down:1",
                "on 4 | 0:1 0:1 1:3 | 15 tracks, 3 in queue (16:26)"},
            {"front makes one, remove takes all", "toggle:5 order:1,0,2,0,1 front:0 remove:1",
                "on 4 | 0:1 2:2 | 15 tracks, 2 in queue (3:07)"},
            {"front taken: the rest renumbered", "toggle:3 toggle:1 toggle:5 next:3",
                "on 4 | 1:1 5:2 | 15 tracks, 2 in queue (15:17)"},
            {"files that left", "toggle:x toggle:4 next:-1 toggle:y toggle:5 next:4",
                "on 6 | -1:0 5:2 | 15 tracks, 2 in queue (5:05)"},
            {"damaged count 0:00; h:mm:ss from an hour", "order:9,10,11,12,13,6,7 toggle:8",
                "on 2 | 9:1 10:2 11:3 12:4 13:5 6:6 7:7 8:8 | 15 tracks, 8 in queue (1:00:00)"},
            {"beyond 32 bits", "toggle:14 toggle:6 toggle:7 toggle:8",
                "on 4 | 14:1 6:2 7:3 8:4 | 15 tracks, 4 in queue (16666667:39:59)"}};
        for (const QStringList &row : rows)
            QTest::newRow(qPrintable(row[0])) << row[1] << row[2];
    }
    void controller()
    {
        QFETCH(QString, steps);
        const QMap<QString, void (QueueController::*)(const QString &)> ops{
            {"toggle", &QueueController::toggle}, {"up", &QueueController::moveUp},
            {"down", &QueueController::moveDown}, {"front", &QueueController::moveToFront},
            {"remove", &QueueController::remove}};
        QueueController queue(&library);
        QSignalSpy changed(&queue, &QueueController::changed);
        for (const QString &step : steps.split(' ')) {
            const QStringList op = step.split(':'); // the operation and its argument
            if (ops.contains(op[0]))
                (queue.*ops.value(op[0]))(pathsOf(op[1]).first());
            else if (op[0] == "next")
                QCOMPARE(queue.takeNext(), op[1].toInt());
            else if (op[0] == "clear")
                queue.clear();
            else
                queue.setOrder(pathsOf(op[1]));
        }
        QStringList entries;
        QStringList names; // the track's text, or the file name of a file that left
        const QHash<int, int> marks = queue.marksByRow();
        for (const QString &path : queue.paths()) {
            const int row = library.indexOf(QUrl::fromLocalFile(path));
            entries << QString("%1:%2").arg(row).arg(marks.value(row));
            names << (row < 0 ? QFileInfo(path).fileName() : library.textAt(row));
        }
        QCOMPARE(queue.names(), names);
        const QString state = QString(queue.isActive() ? "on %1" : "off %1").arg(changed.count());
        QTEST(QString("%1 | %2 | %3").arg(state, entries.join(' '), queue.summary()), "result");
    }

    void queueDialog()
    {
        QueueDialog dialog;
        QStringList log;
        for (const auto &[request, name] : {std::pair{&QueueDialog::moveUpRequested, "up:"},
                 {&QueueDialog::moveDownRequested, "down:"},
                 {&QueueDialog::removeRequested, "remove:"},
                 {&QueueDialog::jumpQueueRequested, "jump:"}})
            connect(&dialog, request, this,
                [&log, name = name](const QString &path) { log << name + path; });
        connect(&dialog, &QueueDialog::clearRequested, this, [&log] { log << "clear"; });
        auto *list = dialog.findChild<QListWidget *>("queueList");
        dialog.setQueue({"/a", "/b", "/m/c.mp3", "/d"}, {"A", "B"}); // the rest left
        QCOMPARE(rowTexts(list), (QStringList{"A", "B", "c.mp3", "d"}));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        list->setCurrentRow(1); // buttons and keys act on it; Return must not
        for (const char *button :
            {"moveUpButton", "moveDownButton", "removeButton", "moveToFrontButton", "clearButton"})
            QTest::mouseClick(dialog.findChild<QPushButton *>(button), Qt::LeftButton);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::keyClick(&dialog, Qt::Key_J); // the list keeps letters for its own search
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(log.join(' '), "up:/b down:/b remove:/b jump:/b clear remove:/b jump:/b");
        dialog.setQueue({"/d", "/a", "/b"}, {"D", "A", "B"});
        QCOMPARE(list->currentRow(), 2); // the selected track, moved
    }

    void search_data()
    {
        // Typed one after another ("n|ni"): narrowed or widened, the hits of a fresh search. What a
        // query matches is test_library.cpp's.
        columns<QString, QString>("typed", "hits");
        const QList<QStringList> rows{{"case folded, trimmed", "  BLUE ", "0 3 2 tracks found"},
            {"album, file name", "alina sp.flac", "1 1 track found"},
            {"narrowed", "b|bl|BLUE", "0 3 2 tracks found"},
            {"narrowed, then widened", "n|ni|n", "0 1 2 3 5 5 tracks found"},
            {"blank query", "blue|  ", "0 tracks found"}};
        for (const QStringList &row : rows)
            QTest::newRow(qPrintable(row[0])) << row[1] << row[2];
    }
    void search()
    {
        QFETCH(QString, typed);
        QueueController queue(&library);
        SearchDialog dialog(&library, &queue);
        for (const QString &query : typed.split('|'))
            dialog.findChild<QLineEdit *>("searchInput")->setText(query);
        QStringList hits = rowTexts(dialog.findChild<QListView *>("searchResults"), Qt::UserRole);
        hits << dialog.findChild<QLabel *>("hitCount")->text();
        QTEST(hits.join(' '), "hits");
    }

    void searchRequests()
    {
        Playlist tracks;
        QVERIFY(tracks.loadFromCache(libraryDir.filePath("cache.json")));
        QueueController queue(&tracks);
        queue.setOrder(pathsOf("5,2,1"));
        SearchDialog dialog(&tracks, &queue);
        auto *list = dialog.findChild<QListView *>("searchResults");
        auto *input = dialog.findChild<QLineEdit *>("searchInput");
        QStringList log;
        for (const auto &[request, name] :
            {std::pair{&SearchDialog::playRequested, "play "},
                {&SearchDialog::queueRequested, "queue "}, {&SearchDialog::jumpRequested, "jump "}})
            connect(&dialog, request, this,
                [&log, name = name](int i) { log << name + QString::number(i); });
        input->setText("n");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        queue.toggle(pathsOf("5").first()); // renumbered; a file name's "[01]" stays
        QCOMPARE(rowTexts(list),
            (QStringList{tracks.textAt(0), "[2] " + tracks.textAt(1), "[1] [01] Intro.ogg",
                tracks.textAt(3), tracks.textAt(5)}));
        QTest::keyClick(input, Qt::Key_Down); // to the first hit
        // C selects the hit in the track list and is used up: the list's type-ahead must not move
        // the chosen hit to "Cora", so the last Return plays the same hit.
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Q, Qt::Key_C, Qt::Key_Return})
            QTest::keyClick(list, key);
        const QPoint first = list->visualRect(list->model()->index(0, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first);
        writeCache(libraryDir.filePath("reversed.json"), {records.crbegin(), records.crend()});
        QVERIFY(tracks.loadFromCache(libraryDir.filePath("reversed.json")));
        dialog.refreshResults(); // records at new rows: Nina stays the chosen hit, marks move
        QCOMPARE(rowTexts(list).mid(2, 2),
            (QStringList{"[1] [01] Intro.ogg", "[2] " + tracks.textAt(13)}));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(log.join(", "), "play 0, play 0, queue 0, jump 0, play 0, play 0, play 14");
    }
};

QTEST_MAIN(TestQueue)
#include "test_queue.moc"
