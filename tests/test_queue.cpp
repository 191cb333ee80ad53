// The play-next queue: its operations, the queue dialog and its list, the
// queue as the window shows it, and the search dialog that feeds it.

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

namespace {

const QStringList paths{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/d.mp3"};

// Every request of @p dialog as "name:argument", in the order they came.
void record(QueueDialog *dialog, QStringList *log)
{
    const auto as = [log](const char *name) { return [log, name](const QString &p) { *log << name + (':' + p); }; };
    QObject::connect(dialog, &QueueDialog::moveUpRequested, dialog, as("up"));
    QObject::connect(dialog, &QueueDialog::moveDownRequested, dialog, as("down"));
    QObject::connect(dialog, &QueueDialog::removeRequested, dialog, as("remove"));
    QObject::connect(dialog, &QueueDialog::jumpQueueRequested, dialog, as("jump"));
    QObject::connect(dialog, &QueueDialog::clearRequested, dialog, [log] { *log << "clear"; });
    QObject::connect(dialog, &QueueDialog::reordered, dialog, [log](const QStringList &o) { *log << "order:" + o.join(','); });
}

void clickRow(QListWidget *list, int row, bool twice = false)
{
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// Search records: artist, title, album, duration, file name.
const QList<QStringList> records{{"Nina", "Blue", "", "3:07", "blue.mp3"},
                                 {"Arvo", "Spiegel im Spiegel", "Alina", "10:12", "spiegel.flac"},
                                 {"", "", "", "", "01 Intro.ogg"},
                                 {"The Blue Notes", "Night", "Blue Album", "4:10", "night.mp3"},
                                 {"Ψάλτης", "Σίσυφος", "", "2:00", "sisyfos.wav"},
                                 {"Kora", "Song Five", "Ensemble", "5:05", "five.mp3"}};

} // namespace

class TestQueue : public QObject
{
    Q_OBJECT

    QTemporaryDir libraryDir;
    Playlist library;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<PlayerWindow> window;

    QString name(int i) const { return library.getTracks().at(i).displayName; }
    QString path(int i) const { return window->mediaList->at(i).toLocalFile(); }
    QString status() const { return window->statusLabel->text(); }

    /** A shown window whose library is one track per duration, loaded from the cache as a second start does. */
    void openWindow(const QStringList &durations)
    {
        dir = std::make_unique<QTemporaryDir>();
        QList<CacheEntry> entries;
        for (int i = 0; i < durations.size(); ++i)
            entries.append({copyFixture("tone.mp3", dir->filePath(QString("t%1.mp3").arg(i))),
                            QString("Artist %1").arg(i), "Song", "", durations.at(i)});
        writeCache(dir->filePath("playlist_cache.json"), entries);
        store().setValue("musicFolder", dir->path());
        window = freshWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist updated."), 30000);
    }

    /** Chooses the one entry of row @p row's context menu; returns its text. */
    QString toggle(int row)
    {
        QListWidget *list = window->playlistWidget;
        std::unique_ptr<QMenu> menu(window->createPlaylistContextMenu(list->visualItemRect(list->item(row)).center()));
        if (!menu || menu->actions().size() != 1)
            return "no menu";
        menu->actions().first()->trigger();
        return menu->actions().first()->text();
    }

    /** The track list's texts with the queue marks @p marks (row to position). */
    QStringList marked(const QMap<int, int> &marks) const
    {
        QStringList texts = window->mediaList->getList();
        for (auto it = marks.cbegin(); it != marks.cend(); ++it)
            texts[it.key()] = QString("[%1] ").arg(it.value()) + texts[it.key()];
        return texts;
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
        QList<CacheEntry> entries;
        for (const QStringList &r : records)
            entries.append({copyFixture("tone.mp3", libraryDir.filePath(r[4])), r[0], r[1], r[2], r[3]});
        writeCache(libraryDir.filePath("cache.json"), entries);
        QVERIFY(library.loadFromCache(libraryDir.filePath("cache.json")));
        QCOMPARE(library.count(), records.size());
    }
    void init() { clearStore(); }
    void cleanup()
    {
        window.reset();
        finishBackgroundWork();
    }

    void operations_data()
    {
        QTest::addColumn<QStringList>("start");
        QTest::addColumn<QStringList>("steps"); // "op:path"; "next:x" must return x; "on" sets the flag
        QTest::addColumn<QStringList>("result");
        QTest::addColumn<bool>("active");
        const QStringList abc{"a", "b", "c"};
        const auto row = [](const char *name, QStringList start, QStringList steps, QStringList result, bool on = false) {
            QTest::newRow(name) << start << steps << result << on;
        };
        row("add appends a duplicate", {"a", "b"}, {"add:a"}, {"a", "b", "a"});
        row("up of front stays", abc, {"up:a"}, abc);
        row("up of middle swaps", abc, {"up:b"}, {"b", "a", "c"});
        row("up moves the first duplicate", {"b", "a", "a"}, {"up:a"}, {"a", "b", "a"});
        row("down of last stays", abc, {"down:c"}, abc);
        row("down of front swaps", abc, {"down:a"}, {"b", "a", "c"});
        row("down moves the first duplicate", {"a", "b", "a"}, {"down:a"}, {"b", "a", "a"});
        row("moves of absent paths", abc, {"up:x", "down:x", "front:x", "remove:x"}, abc);
        row("front of last", abc, {"front:c"}, {"c", "a", "b"});
        row("front collapses duplicates", {"b", "a", "c", "a"}, {"front:a"}, {"a", "b", "c"});
        row("remove takes every copy", {"a", "b", "a"}, {"remove:a"}, {"b"});
        row("case counts", {"a", "A"}, {"remove:A", "up:A", "front:B"}, {"a"});
        row("next takes the front", {"a", "b", "a"}, {"next:a", "next:b"}, {"a"});
        row("emptied queue stays active", abc, {"on", "next:a", "remove:b", "clear", "add:c"}, {"c"}, true);
    }
    void operations()
    {
        QFETCH(QStringList, start);
        QFETCH(QStringList, steps);
        PlayQueue queue;
        for (const QString &p : start)
            queue.add(p);
        for (const QString &step : steps) {
            const QString op = step.section(':', 0, 0), p = step.section(':', 1);
            if (op == "add") queue.add(p);
            else if (op == "up") queue.moveUp(p);
            else if (op == "down") queue.moveDown(p);
            else if (op == "front") queue.moveToFront(p);
            else if (op == "remove") queue.remove(p);
            else if (op == "clear") queue.clear();
            else if (op == "on") queue.setActive(true);
            else QCOMPARE(queue.next(), p);
        }
        QTEST(queue.getList(), "result");
        QTEST(queue.isActive(), "active");
        QCOMPARE(queue.isEmpty(), queue.getList().isEmpty());
        QVERIFY(!queue.contains("x") && (queue.isEmpty() || queue.contains(queue.getList().last())));
    }

    void listDragAndMenu()
    {
        QueueDialog dialog;
        QStringList log;
        record(&dialog, &log);
        QueueWidget *list = dialog.queueWidget;
        // Files that left the library have no name: their rows show the file name.
        dialog.setQueue(paths, {"A", "B"});
        QCOMPARE(rowTexts(list), (QStringList{"A", "B", "c.mp3", "d.mp3"}));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        // No drag loop runs headless: press the third row, move it to the top, drop its data there.
        clickRow(list, 2);
        std::unique_ptr<QMimeData> mime(list->model()->mimeData({list->currentIndex()}));
        QVERIFY(list->model()->moveRow(QModelIndex(), 2, QModelIndex(), 0));
        QDropEvent drop(list->visualItemRect(list->item(0)).topLeft() + QPointF(4, 1), Qt::MoveAction, mime.get(),
                        Qt::LeftButton, Qt::NoModifier);
        list->dropEvent(&drop);
        QCOMPARE(log, QStringList{"order:/m/c.mp3,/m/a.mp3,/m/b.mp3,/m/d.mp3"});
        QCOMPARE(rowTexts(list), (QStringList{"c.mp3", "A", "B", "d.mp3"}));

        log.clear();
        std::unique_ptr<QMenu> menu(list->createContextMenu("/m/b.mp3"));
        for (QAction *action : menu->actions()) {
            log << action->text();
            action->trigger();
        }
        QCOMPARE(log, (QStringList{"Move Up", "up:/m/b.mp3", "Move Down", "down:/m/b.mp3", "Remove from Queue",
                                   "remove:/m/b.mp3", "Play next", "jump:/m/b.mp3", "Clear Queue", "clear"}));
    }

    void dialogButtonsAndKeys_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("request");
        for (const char *c : {"up", "down", "remove", "jump"})
            QTest::newRow(c) << QString(c) << QString(c) + ":/m/b.mp3";
        QTest::newRow("clear") << "clear" << "clear";
        QTest::newRow("Delete key") << "Delete" << "remove:/m/b.mp3";
        QTest::newRow("J key") << "J" << "jump:/m/b.mp3";
        QTest::newRow("Return does nothing") << "Return" << "";
        QTest::newRow("Escape closes") << "Escape" << "";
    }
    void dialogButtonsAndKeys()
    {
        QFETCH(QString, control);
        QueueDialog dialog;
        QStringList log;
        record(&dialog, &log);
        dialog.setQueue(paths.mid(0, 3), {});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        clickRow(dialog.queueWidget, 1);
        const QMap<QString, QPushButton *> buttons{{"up", dialog.moveUpButton}, {"down", dialog.moveDownButton},
                                                   {"remove", dialog.removeButton}, {"jump", dialog.jumpButton},
                                                   {"clear", dialog.clearButton}};
        const QMap<QString, Qt::Key> keys{{"Delete", Qt::Key_Delete}, {"J", Qt::Key_J},
                                          {"Return", Qt::Key_Return}, {"Escape", Qt::Key_Escape}};
        if (buttons.contains(control))
            QTest::mouseClick(buttons.value(control), Qt::LeftButton);
        else // with the focus on the list, which keeps letters for itself
            QTest::keyClick(control == "J" ? static_cast<QWidget *>(&dialog) : dialog.queueWidget, keys.value(control));
        QTEST(log.join(' '), "request");
        QCOMPARE(dialog.isVisible(), control != "Escape");
    }

    void queueDuration_data()
    {
        QTest::addColumn<QStringList>("durations");
        QTest::addColumn<QString>("total");
        QTest::newRow("minutes and seconds") << QStringList{"3:07", "4:10"} << "7:17";
        QTest::newRow("an hour and more") << QStringList{"60:00", "2:05"} << "1:02:05";
        QTest::newRow("exactly an hour") << QStringList{"20:00", "20:00", "20:00"} << "1:00:00";
        QTest::newRow("unusable texts count nothing") << QStringList{"1:02:03", "abc", "", "x:30", "2:30"} << "3:00";
    }
    void queueDuration()
    {
        QFETCH(QStringList, durations);
        QFETCH(QString, total);
        openWindow(durations);
        for (int row = 0; row < durations.size(); ++row)
            QCOMPARE(toggle(row), QString("Add to Queue"));
        QCOMPARE(status(), QString("%1 tracks, %1 in queue (%2)").arg(durations.size()).arg(total));
    }

    void queueInWindow()
    {
        openWindow({"3:07", "4:10", "1:00", "2:00"});
        QListWidget *list = window->playlistWidget;
        QCOMPARE(toggle(1), QString("Add to Queue"));
        QCOMPARE(toggle(3), QString("Add to Queue"));
        QCOMPARE(rowTexts(list), marked({{1, 1}, {3, 2}}));
        QCOMPARE(status(), QString("4 tracks, 2 in queue (6:10)"));
        QCOMPARE(toggle(1), QString("Remove from Queue"));
        QCOMPARE(rowTexts(list), marked({{3, 1}}));
        QCOMPARE(status(), QString("4 tracks, 1 in queue (2:00)"));

        // The dialog's requests change the queue; the track list follows when it closes.
        toggle(0);
        toggle(2);
        QueueDialog *dialog = window->queueDialog;
        QueueWidget *queued = dialog->queueWidget;
        const auto text = [this](int i) { return window->mediaList->textAt(i); };
        window->showQueueAction->trigger();
        QVERIFY(dialog->isVisible());
        QCOMPARE(rowTexts(queued), (QStringList{text(3), text(0), text(2)}));
        queued->selectItemByPath(path(2));
        dialog->jumpButton->click();
        QCOMPARE(status(), QString("Moved to front of queue"));
        dialog->moveDownButton->click(); // the selection stays on the moved track
        dialog->moveDownButton->click();
        QCOMPARE(window->queue->getList(), (QStringList{path(3), path(0), path(2)}));
        QCOMPARE(rowTexts(queued), (QStringList{text(3), text(0), text(2)}));
        dialog->close();
        QCOMPARE(rowTexts(list), marked({{3, 1}, {0, 2}, {2, 3}}));
        QCOMPARE(status(), QString("4 tracks, 3 in queue (6:07)"));

        window->showQueueDialog();
        emit queued->reordered({path(0), path(2), path(3)});
        QCOMPARE(rowTexts(list), marked({{0, 1}, {2, 2}, {3, 3}}));
        QCOMPARE(status(), QString("Queue updated."));
        queued->selectItemByPath(path(2));
        dialog->removeButton->click();
        QCOMPARE(rowTexts(queued), (QStringList{text(0), text(3)}));
        dialog->close();
        QCOMPARE(rowTexts(list), marked({{0, 1}, {3, 2}}));
        QCOMPARE(status(), QString("4 tracks, 2 in queue (5:07)"));

        window->showQueueDialog();
        dialog->clearButton->click();
        QCOMPARE(queued->count(), 0);
        dialog->close();
        QCOMPARE(rowTexts(list), marked({}));
        QCOMPARE(status(), QString("4 tracks"));
        QVERIFY(!window->queue->isActive());

        // From the search dialog: queue, select in the list, play.
        SearchDialog *search = window->searchDialog;
        window->showSearchDialog();
        search->searchInput->setText("artist 1");
        search->resultList->setCurrentRow(0);
        search->queueButton->click();
        QCOMPARE(rowTexts(search->resultList), QStringList{"[1] " + text(1)});
        QCOMPARE(rowTexts(list), marked({{1, 1}}));
        search->jumpButton->click();
        QCOMPARE(list->currentRow(), 1);
        QVERIFY(window->player->source().isEmpty());
        search->playButton->click();
        QCOMPARE(window->player->source(), QUrl::fromLocalFile(path(1)));
        window->player->stop();

        window->clearQueueAction->trigger();
        QCOMPARE(rowTexts(list), marked({}));
        QCOMPARE(status(), QString("Queue cleared."));
        QVERIFY(window->queue->isEmpty() && !window->queue->isActive());
    }

    void search_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QList<int>>("hits");
        QTest::addColumn<QString>("label");
        using L = QList<int>;
        QTest::newRow("case folded") << "BLUE" << L{0, 3} << "2 tracks found";
        QTest::newRow("blanks around dropped") << "  nIGHT " << L{3} << "1 track found";
        QTest::newRow("folding, not lower-casing") << "ΣΊΣΥΦΟΣ" << L{4} << "1 track found";
        QTest::newRow("artist then title") << "nina blue" << L{0} << "1 track found";
        QTest::newRow("title then artist") << "blue nina" << L{} << "0 tracks found";
        QTest::newRow("album") << "alina" << L{1} << "1 track found";
        QTest::newRow("empty album leaves two blanks") << "blue  blue.mp3" << L{0} << "1 track found";
        QTest::newRow("file name") << "intro.ogg" << L{2} << "1 track found";
        QTest::newRow("extension") << ".mp3" << L{0, 3, 5} << "3 tracks found";
        QTest::newRow("none") << "zzz" << L{} << "0 tracks found";
        QTest::newRow("blanks only") << "   " << L{} << "0 tracks found";
        QTest::newRow("emptied") << "" << L{} << "0 tracks found";
    }
    void search()
    {
        QFETCH(QList<int>, hits);
        PlayQueue queue;
        SearchDialog dialog(&library, &queue);
        dialog.searchInput->setText("blue"); // typed over an earlier query
        QFETCH(QString, query);
        dialog.searchInput->setText(query);
        QStringList texts;
        for (int i : hits)
            texts << name(i);
        QCOMPARE(rowTexts(dialog.resultList), texts);
        for (int row = 0; row < hits.size(); ++row)
            QCOMPARE(dialog.resultList->item(row)->data(Qt::UserRole).toInt(), hits.at(row));
        QTEST(dialog.resultLabel->text(), "label");
    }

    void searchDialog()
    {
        PlayQueue queue;
        queue.add(library.at(1).toLocalFile());
        queue.add(library.at(5).toLocalFile());
        SearchDialog dialog(&library, &queue);
        QStringList log;
        connect(&dialog, &SearchDialog::playRequested, this, [&log](int i) { log << QString("play %1").arg(i); });
        connect(&dialog, &SearchDialog::queueRequested, this, [&log](int i) { log << QString("queue %1").arg(i); });
        connect(&dialog, &SearchDialog::jumpRequested, this, [&log](int i) { log << QString("jump %1").arg(i); });
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClicks(dialog.searchInput, "e");
        QListWidget *hits = dialog.resultList;
        QCOMPARE(rowTexts(hits), (QStringList{name(0), "[1] " + name(1), name(3), "[2] " + name(5)}));
        queue.remove(library.at(1).toLocalFile());
        dialog.updateQueueIndicators();
        QCOMPARE(rowTexts(hits), (QStringList{name(0), name(1), name(3), "[1] " + name(5)}));

        for (QPushButton *button : {dialog.playButton, dialog.queueButton, dialog.jumpButton})
            button->click(); // no hit chosen: nothing asked
        QTest::keyClick(dialog.searchInput, Qt::Key_Down);
        QVERIFY(hits->hasFocus());
        QTest::keyClick(hits, Qt::Key_Down);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Q, Qt::Key_C})
            QTest::keyClick(hits, key);
        hits->setCurrentRow(3);
        for (QPushButton *button : {dialog.playButton, dialog.queueButton, dialog.jumpButton})
            button->click();
        clickRow(hits, 0, true);
        std::unique_ptr<QMenu> menu(dialog.createContextMenu(5));
        QCOMPARE(menu->actions().first()->text(), QString("Remove from queue"));
        menu->actions().first()->trigger();
        QCOMPARE(log, (QStringList{"play 1", "play 1", "queue 1", "jump 1", "play 5", "queue 5", "jump 5", "play 0",
                                   "queue 5"}));

        QTest::keyClick(hits, Qt::Key_Escape);
        QVERIFY(dialog.isHidden());
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QVERIFY(dialog.searchInput->hasFocus());
        QCOMPARE(dialog.searchInput->text(), QString("e"));
        QCOMPARE(dialog.resultLabel->text(), QString("4 tracks found"));
    }
};

QTEST_MAIN(TestQueue)
#include "test_queue.moc"
