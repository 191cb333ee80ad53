// The play-next queue: its rules, the queue dialog, the queue in the window, and the search dialog.

#include "PlayQueue.h"
#include "QueueDialog.h"
#include "QueueWidget.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

using namespace TestSupport;

class TestQueue : public QObject
{
    Q_OBJECT

    QTemporaryDir libraryDir, windowDir;
    QList<CacheEntry> records; // path, artist, title, album, duration
    Playlist library;
    std::unique_ptr<PlayerWindow> window;
    int windows = 0;

    QString name(int i) const { return library.getTracks().at(i).displayName; }
    QString path(int i) const { return window->mediaList->at(i).toLocalFile(); }
    QString text(int i) const { return window->mediaList->textAt(i); }
    QStringList shown() const { return rowTexts(window->playlistWidget) << window->statusLabel->text(); }

    /** A shown window on t0.mp3... of @p durations and an untagged "[01] Intro.mp3", as a second start. */
    void openWindow(const QStringList &durations)
    {
        const QString folder = windowDir.filePath(QString::number(++windows));
        QList<CacheEntry> tracks;
        for (int i = 0; i < durations.size(); ++i)
            tracks.append({copyFixture("tone.mp3", QString("%1/t%2.mp3").arg(folder).arg(i)),
                           QString("Artist %1").arg(i), "Song", "", durations.at(i)});
        tracks.append({copyFixture("tone.mp3", folder + "/[01] Intro.mp3")}); // its own name looks marked
        writeCache(folder + "/playlist_cache.json", tracks);
        store().setValue("musicFolder", folder);
        window = freshWindow(), window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE_WITH_TIMEOUT(shown().last(), QString("Playlist updated."), 60000);
    }
    /** Chooses the one entry of row @p row's context menu; returns its text. */
    QString toggle(int row)
    {
        QListWidget *list = window->playlistWidget;
        std::unique_ptr<QMenu> menu(window->createPlaylistContextMenu(list->visualItemRect(list->item(row)).center()));
        QAction *action = menu && menu->actions().size() == 1 ? menu->actions().first() : nullptr;
        return action ? (action->trigger(), action->text()) : "no menu";
    }
    /** The track list's texts with queue marks (row to position), then the status line. */
    QStringList marked(const QMap<int, int> &marks, const QString &status) const
    {
        QStringList texts = window->mediaList->getList();
        for (auto it = marks.cbegin(); it != marks.cend(); ++it)
            texts[it.key()] = QString("[%1] ").arg(it.value()) + texts[it.key()];
        return texts << status;
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
        const QList<QStringList> tags{{"Nina", "Blue", "", "3:07", "blue.mp3"},
            {"Arvo", "Spiegel im Spiegel", "Alina", "10:12", "spiegel.flac"}, {"", "", "", "", "[01] Intro.ogg"},
            {"The Blue Notes", "Night", "Blue Album", "4:10", "night.mp3"}, {"Ψάλτης", "Σίσυφος", "", "2:00", "sisyfos.wav"},
            {"Kora", "Song Five", "Ensemble", "5:05", "five.mp3"}};
        for (const QStringList &r : tags)
            records.append(QStringList{copyFixture("tone.mp3", libraryDir.filePath(r[4]))} + r.mid(0, 4));
        writeCache(libraryDir.filePath("cache.json"), records);
        QVERIFY(library.loadFromCache(libraryDir.filePath("cache.json")));
    }
    void init() { clearStore(); }
    void cleanup() { window.reset(), finishBackgroundWork(); }

    void operations_data()
    {
        columns<QStringList, QStringList>("steps", "result"); // "op:path"; "next:x" must return x; "on" sets the flag
        using L = QStringList;
        const L abc{"add:a", "add:b", "add:c"};
        QTest::newRow("add keeps duplicates") << L{"add:a", "add:b", "add:a"} << L{"a", "b", "a"};
        QTest::newRow("up at the front stays, else swaps") << abc + L{"up:a", "up:c"} << L{"a", "c", "b"};
        QTest::newRow("down at the end stays, else swaps") << abc + L{"down:c", "down:b"} << L{"a", "c", "b"};
        QTest::newRow("moves take the first copy") << L{"add:b", "add:a", "add:a", "up:a", "down:b"} << L{"a", "a", "b"};
        QTest::newRow("absent paths change nothing") << abc + L{"up:x", "down:x", "remove:x", "front:x"} << L{"a", "b", "c"};
        QTest::newRow("front collapses copies") << abc + L{"add:a", "front:a"} << L{"a", "b", "c"};
        QTest::newRow("remove takes every copy") << L{"add:a", "add:b", "add:a", "remove:a"} << L{"b"};
        QTest::newRow("next takes the front") << abc + L{"add:a", "next:a", "next:b"} << L{"c", "a"};
        QTest::newRow("emptied queue stays on") << abc + L{"on", "next:a", "remove:b", "clear", "add:c"} << L{"c"};
    }
    void operations()
    {
        QFETCH(QStringList, steps);
        const QMap<QString, void (PlayQueue::*)(const QString &)> ops{{"add", &PlayQueue::add},
            {"up", &PlayQueue::moveUp}, {"down", &PlayQueue::moveDown}, {"front", &PlayQueue::moveToFront},
            {"remove", &PlayQueue::remove}};
        PlayQueue queue;
        for (const QString &step : steps) {
            const QString op = step.section(':', 0, 0), p = step.section(':', 1);
            if (ops.contains(op)) (queue.*ops.value(op))(p);
            else if (op == "next") QCOMPARE(queue.next(), p);
            else op == "clear" ? queue.clear() : queue.setActive(true);
        }
        QTEST(queue.getList(), "result");
        QCOMPARE(queue.isActive(), steps.contains("on"));
        QVERIFY(queue.isEmpty() != queue.contains(queue.getList().value(0, "x")));
    }

    void queueDialog()
    {
        QueueDialog dialog;
        QStringList log;
        const auto as = [&log](const char *name) { return [&log, name](const QString &p) { log << name + (':' + p); }; };
        connect(&dialog, &QueueDialog::moveUpRequested, this, as("up"));
        connect(&dialog, &QueueDialog::moveDownRequested, this, as("down"));
        connect(&dialog, &QueueDialog::removeRequested, this, as("remove"));
        connect(&dialog, &QueueDialog::jumpQueueRequested, this, as("jump"));
        connect(&dialog, &QueueDialog::clearRequested, this, [&log] { log << "clear"; });
        connect(&dialog, &QueueDialog::reordered, this, [&log](const QStringList &o) { log << o.join(','); });
        QueueWidget *list = dialog.queueWidget;
        dialog.setQueue({"/a", "/m/b", "/m/c.mp3", "/d"}, {"A", "B"}); // the rest left the library
        QCOMPARE(rowTexts(list), (QStringList{"A", "B", "c.mp3", "d"}));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // No drag loop runs headless: take the third row's data, move it to the top, drop the data there.
        std::unique_ptr<QMimeData> mime(list->model()->mimeData({list->model()->index(2, 0)}));
        QVERIFY(list->model()->moveRow(QModelIndex(), 2, QModelIndex(), 0));
        QDropEvent drop(list->visualItemRect(list->item(0)).topLeft() + QPointF(4, 1), Qt::MoveAction, mime.get(),
                        Qt::LeftButton, Qt::NoModifier);
        list->dropEvent(&drop);
        std::unique_ptr<QMenu> menu(list->createContextMenu("/m/b"));
        for (QAction *action : menu->actions())
            log << action->text(), action->trigger();
        // Buttons and keys act on the selected row; Return must not, Escape closes.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        for (QPushButton *b : {dialog.moveUpButton, dialog.moveDownButton, dialog.removeButton, dialog.jumpButton,
                               dialog.clearButton})
            QTest::mouseClick(b, Qt::LeftButton);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::keyClick(&dialog, Qt::Key_J); // the list keeps letters for its own search
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(log, (QStringList{"/m/c.mp3,/a,/m/b,/d", "Move Up", "up:/m/b", "Move Down", "down:/m/b",
                                   "Remove from Queue", "remove:/m/b", "Play next", "jump:/m/b", "Clear Queue", "clear",
                                   "up:/m/b", "down:/m/b", "remove:/m/b", "jump:/m/b", "clear", "remove:/m/b", "jump:/m/b"}));
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(dialog.isHidden());
    }

    void queueDuration()
    {
        // Malformed texts count 0:00; the sum does not fit 32 bits.
        openWindow({"3:07", "4:10", "57:55", "1:02:03", "abc", "x:30", "-1:30", "2:75", "99999999:00"});
        const QStringList totals = QStringList{"3:07", "7:17"} + QStringList(6, "1:05:12")
                                   + QStringList(2, "1666667:44:12");
        for (int row = 0; row < totals.size(); ++row) {
            QCOMPARE(toggle(row), QString("Add to Queue"));
            QCOMPARE(shown().last(), QString("10 tracks, %1 in queue (%2)").arg(row + 1).arg(totals.at(row)));
        }
    }

    void queueInWindow()
    {
        openWindow({"3:07", "4:10", "1:00", "2:00"});
        for (int row : {1, 4, 3})
            QCOMPARE(toggle(row), QString("Add to Queue"));
        QCOMPARE(shown(), marked({{1, 1}, {4, 2}, {3, 3}}, "5 tracks, 3 in queue (6:10)"));
        QCOMPARE(toggle(1) + toggle(4), QString("Remove from Queue").repeated(2));
        QCOMPARE(shown(), marked({{3, 1}}, "5 tracks, 1 in queue (2:00)"));

        // The dialog's requests change the queue; the marks and the count follow at once.
        toggle(0), toggle(2);
        QueueDialog *dialog = window->queueDialog;
        QueueWidget *queued = dialog->queueWidget;
        window->showQueueAction->trigger();
        QCOMPARE(rowTexts(queued), (QStringList{text(3), text(0), text(2)}));
        queued->selectItemByPath(path(2));
        dialog->jumpButton->click();
        QCOMPARE(shown(), marked({{2, 1}, {3, 2}, {0, 3}}, "Moved to front of queue"));
        dialog->moveDownButton->click(); // the moved track stays selected
        dialog->moveDownButton->click();
        dialog->moveUpButton->click();
        QCOMPARE(shown(), marked({{3, 1}, {2, 2}, {0, 3}}, "Moved to front of queue"));
        dialog->moveDownButton->click();
        dialog->close();
        QCOMPARE(shown(), marked({{3, 1}, {0, 2}, {2, 3}}, "5 tracks, 3 in queue (6:07)"));
        emit queued->reordered({path(0), path(2), path(3)});
        QCOMPARE(shown(), marked({{0, 1}, {2, 2}, {3, 3}}, "Queue updated."));
        queued->selectItemByPath(path(2));
        dialog->removeButton->click();
        QCOMPARE(shown(), marked({{0, 1}, {3, 2}}, "5 tracks, 2 in queue (5:07)"));
        dialog->clearButton->click();
        QCOMPARE(shown() << rowTexts(queued), marked({}, "5 tracks"));

        // From the search dialog: queue, select in the list, play.
        SearchDialog *search = window->searchDialog;
        search->searchInput->setText("artist 1");
        search->resultList->setCurrentRow(0);
        for (QPushButton *button : {search->queueButton, search->jumpButton, search->playButton})
            button->click();
        QCOMPARE(shown() << rowTexts(search->resultList),
                 marked({{1, 1}}, "5 tracks, 1 in queue (4:10)") << "[1] " + text(1));
        QVERIFY(window->playlistWidget->currentRow() == 1 && window->player->source() == QUrl::fromLocalFile(path(1)));
        window->clearQueueAction->trigger();
        QCOMPARE(shown(), marked({}, "Queue cleared."));
        QVERIFY(!window->queue->isActive());

        // A queued file vanishes: an update keeps the marks; playback reaching the file drops it.
        toggle(0), toggle(1);
        const QString second = text(1);
        QVERIFY(QFile::remove(path(0)));
        window->updateAction->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(shown().last(), QString("Playlist updated."), 60000);
        QCOMPARE(shown() << rowTexts(queued), marked({{0, 2}}, "Playlist updated.") << "t0.mp3" << second);
        window->forward->click();
        QCOMPARE(shown() << rowTexts(queued), marked({{0, 1}}, "4 tracks, 1 in queue (4:10)") << second);
        window->player->stop();
    }

    void search()
    {
        PlayQueue queue;
        queue.add(library.at(5).toLocalFile());
        queue.add(library.at(1).toLocalFile());
        SearchDialog dialog(&library, &queue);
        QListWidget *hits = dialog.resultList;
        const QList<QPair<QString, QList<int>>> queries{{"  BLUE ", {0, 3}}, {"ΣΊΣΥΦΟΣ", {4}}, {"nina blue", {0}},
            {"blue nina", {}}, {"alina", {1}}, {"intro.ogg", {2}}, {"[01]", {2}}, {"blue  blue.mp3", {0}}, {"", {}}};
        for (const auto &[query, found] : queries) { // case folded; an empty album leaves two blanks
            dialog.searchInput->setText("e"); // typed over an earlier query
            dialog.searchInput->setText(query);
            QStringList texts, want;
            for (int row = 0; row < hits->count(); ++row)
                texts << hits->item(row)->data(Qt::UserRole).toString() + ' ' + hits->item(row)->text();
            for (int i : found)
                want << QString::number(i) + (i == 1 ? " [2] " : i == 5 ? " [1] " : " ") + name(i);
            QCOMPARE(texts, want);
            const QString label = found.size() == 1 ? "1 track found" : QString("%1 tracks found").arg(found.size());
            QCOMPARE(dialog.resultLabel->text(), label);
        }

        QStringList log;
        const auto as = [&log](const char *what) { return [&log, what](int i) { log << what + QString::number(i); }; };
        connect(&dialog, &SearchDialog::playRequested, this, as("play "));
        connect(&dialog, &SearchDialog::queueRequested, this, as("queue "));
        connect(&dialog, &SearchDialog::jumpRequested, this, as("jump "));
        dialog.searchInput->setText("e");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        queue.remove(library.at(5).toLocalFile());
        dialog.updateQueueIndicators();
        QCOMPARE(rowTexts(hits), (QStringList{name(0), "[1] " + name(1), name(3), name(5)}));
        QTest::keyClick(dialog.searchInput, Qt::Key_Down); // to the first hit
        QTest::keyClick(hits, Qt::Key_Down);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Q, Qt::Key_C})
            QTest::keyClick(hits, key);
        const QPoint first = hits->visualItemRect(hits->item(0)).center();
        QTest::mouseClick(hits->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseDClick(hits->viewport(), Qt::LeftButton, {}, first);
        std::unique_ptr<QMenu> menu(dialog.createContextMenu(1));
        QCOMPARE(menu->actions().first()->text(), QString("Remove from queue"));
        menu->actions().first()->trigger();

        // A new library puts other records at the hits' indices; the chosen hit stays chosen.
        hits->setCurrentRow(1);
        const QString added = copyFixture("tone.mp3", libraryDir.filePath("new.mp3"));
        writeCache(libraryDir.filePath("grown.json"), QList<CacheEntry>{{added, "Eve", "Eden"}} + records);
        QVERIFY(library.loadFromCache(libraryDir.filePath("grown.json")));
        dialog.refreshResults();
        QVERIFY(hits->currentItem()->isSelected());
        QCOMPARE(hits->currentItem()->text(), "[1] " + name(2));
        QTest::keyClick(hits, Qt::Key_Return);
        QCOMPARE(log, (QStringList{"play 1", "play 1", "queue 1", "jump 1", "play 0",
                                   "queue 1", "play 2"}));
    }
};

QTEST_MAIN(TestQueue)
#include "test_queue.moc"
