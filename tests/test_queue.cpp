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

namespace {

const QStringList paths{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/d.mp3"};

// Every request of @p dialog as "name:argument", in order.
void record(QueueDialog *d, QStringList *log)
{
    const auto as = [log](const char *name) { return [log, name](const QString &p) { *log << name + (':' + p); }; };
    QObject::connect(d, &QueueDialog::moveUpRequested, d, as("up"));
    QObject::connect(d, &QueueDialog::moveDownRequested, d, as("down"));
    QObject::connect(d, &QueueDialog::removeRequested, d, as("remove"));
    QObject::connect(d, &QueueDialog::jumpQueueRequested, d, as("jump"));
    QObject::connect(d, &QueueDialog::clearRequested, d, [log] { *log << "clear"; });
    QObject::connect(d, &QueueDialog::reordered, d, [log](const QStringList &o) { *log << "order:" + o.join(','); });
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

    QTemporaryDir libraryDir, windowDir;
    Playlist library;
    std::unique_ptr<PlayerWindow> window;
    int windows = 0;

    QString name(int i) const { return library.getTracks().at(i).displayName; }
    QString path(int i) const { return window->mediaList->at(i).toLocalFile(); }
    QString status() const { return window->statusLabel->text(); }

    /** A shown window on one track per duration, loaded from the cache as a second start does. */
    void openWindow(const QStringList &durations)
    {
        const QString folder = windowDir.filePath(QString::number(++windows));
        QList<CacheEntry> entries;
        for (int i = 0; i < durations.size(); ++i)
            entries.append({copyFixture("tone.mp3", QString("%1/t%2.mp3").arg(folder).arg(i)), QString("Artist %1").arg(i),
                            "Song", "", durations.at(i)});
        writeCache(folder + "/playlist_cache.json", entries);
        store().setValue("musicFolder", folder);
        window = freshWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist updated."), 60000);
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
    /** The track list's texts with queue marks (row to position). */
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
        row("add keeps duplicates", {"a", "b"}, {"add:a"}, {"a", "b", "a"});
        row("up at the front stays, else swaps", abc, {"up:a", "up:c"}, {"a", "c", "b"});
        row("down at the end stays, else swaps", abc, {"down:c", "down:b"}, {"a", "c", "b"});
        row("moves take the first copy", {"b", "a", "a"}, {"up:a", "down:b"}, {"a", "a", "b"});
        row("absent paths change nothing", abc, {"up:x", "down:x", "front:x", "remove:x", "front:B"}, abc);
        row("front collapses copies", {"b", "a", "c", "a"}, {"front:a"}, {"a", "b", "c"});
        row("remove takes every copy", {"a", "b", "a"}, {"remove:a"}, {"b"});
        row("next takes the front", {"a", "b", "a"}, {"next:a", "next:b"}, {"a"});
        row("emptied queue stays active", abc, {"on", "next:a", "remove:b", "clear", "add:c"}, {"c"}, true);
    }
    void operations()
    {
        QFETCH(QStringList, start);
        QFETCH(QStringList, steps);
        const QMap<QString, void (PlayQueue::*)(const QString &)> ops{
            {"add", &PlayQueue::add}, {"up", &PlayQueue::moveUp}, {"down", &PlayQueue::moveDown},
            {"front", &PlayQueue::moveToFront}, {"remove", &PlayQueue::remove}};
        PlayQueue queue;
        for (const QString &p : start)
            queue.add(p);
        for (const QString &step : steps) {
            const QString op = step.section(':', 0, 0), p = step.section(':', 1);
            if (ops.contains(op)) (queue.*ops.value(op))(p);
            else if (op == "clear") queue.clear();
            else if (op == "on") queue.setActive(true);
            else QCOMPARE(queue.next(), p);
        }
        QTEST(queue.getList(), "result");
        QTEST(queue.isActive(), "active");
        QVERIFY(queue.isEmpty() != queue.contains(queue.getList().value(0, "x")));
    }

    void listDragAndMenu()
    {
        QueueDialog dialog;
        QStringList log;
        record(&dialog, &log);
        QueueWidget *list = dialog.queueWidget;
        dialog.setQueue(paths, {"A", "B"}); // files that left the library show their file name
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
        log.clear();
        std::unique_ptr<QMenu> menu(list->createContextMenu("/m/b.mp3"));
        for (QAction *action : menu->actions())
            log << action->text(), action->trigger();
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
        QueueDialog d;
        QStringList log;
        record(&d, &log);
        d.setQueue(paths.mid(0, 3), {});
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        clickRow(d.queueWidget, 1);
        const QMap<QString, QPushButton *> buttons{{"up", d.moveUpButton}, {"down", d.moveDownButton},
            {"remove", d.removeButton}, {"jump", d.jumpButton}, {"clear", d.clearButton}};
        const QMap<QString, Qt::Key> keys{{"Delete", Qt::Key_Delete}, {"J", Qt::Key_J}, {"Return", Qt::Key_Return},
                                          {"Escape", Qt::Key_Escape}};
        if (buttons.contains(control))
            QTest::mouseClick(buttons.value(control), Qt::LeftButton);
        else // the list keeps letters for its own search
            QTest::keyClick(control == "J" ? static_cast<QWidget *>(&d) : d.queueWidget, keys.value(control));
        QTEST(log.join(' '), "request");
        QCOMPARE(d.isVisible(), control != "Escape");
    }

    void queueDuration_data()
    {
        QTest::addColumn<QStringList>("durations");
        QTest::addColumn<QString>("total");
        QTest::newRow("minutes") << QStringList{"3:07", "4:10"} << "7:17";
        QTest::newRow("hours") << QStringList{"60:00", "2:05"} << "1:02:05";
        QTest::newRow("unusable texts count nothing") << QStringList{"1:02:03", "abc", "", "x:30", "2:30"} << "3:00";
    }
    void queueDuration()
    {
        QFETCH(QStringList, durations);
        openWindow(durations);
        for (int row = 0; row < durations.size(); ++row)
            QCOMPARE(toggle(row), QString("Add to Queue"));
        QFETCH(QString, total);
        QCOMPARE(status(), QString("%1 tracks, %1 in queue (%2)").arg(durations.size()).arg(total));
    }

    void queueInWindow()
    {
        openWindow({"3:07", "4:10", "1:00", "2:00"});
        QListWidget *list = window->playlistWidget;
        QCOMPARE(toggle(1), QString("Add to Queue"));
        QCOMPARE(toggle(3), QString("Add to Queue"));
        QCOMPARE(rowTexts(list), marked({{1, 1}, {3, 2}}));
        QCOMPARE(toggle(1), QString("Remove from Queue"));
        QCOMPARE(rowTexts(list), marked({{3, 1}}));
        QCOMPARE(status(), QString("4 tracks, 1 in queue (2:00)"));

        // The dialog's requests change the queue; the track list follows when it closes.
        toggle(0);
        toggle(2);
        QueueDialog *dialog = window->queueDialog;
        QueueWidget *queued = dialog->queueWidget;
        window->showQueueAction->trigger();
        const auto text = [this](int i) { return window->mediaList->textAt(i); };
        QCOMPARE(rowTexts(queued), (QStringList{text(3), text(0), text(2)}));
        queued->selectItemByPath(path(2));
        dialog->jumpButton->click();
        QCOMPARE(status(), QString("Moved to front of queue"));
        dialog->moveDownButton->click(); // the moved track stays selected
        dialog->moveDownButton->click();
        dialog->close();
        QCOMPARE(rowTexts(list), marked({{3, 1}, {0, 2}, {2, 3}}));
        QCOMPARE(status(), QString("4 tracks, 3 in queue (6:07)"));
        window->showQueueDialog();
        emit queued->reordered({path(0), path(2), path(3)});
        QCOMPARE(rowTexts(list), marked({{0, 1}, {2, 2}, {3, 3}}));
        QCOMPARE(status(), QString("Queue updated."));
        queued->selectItemByPath(path(2));
        dialog->removeButton->click();
        dialog->close();
        QCOMPARE(rowTexts(list), marked({{0, 1}, {3, 2}}));
        window->showQueueDialog();
        dialog->clearButton->click();
        dialog->close();
        QCOMPARE(rowTexts(list) << status(), marked({}) << "4 tracks");

        // From the search dialog: queue, select in the list, play.
        SearchDialog *search = window->searchDialog;
        search->searchInput->setText("artist 1");
        search->resultList->setCurrentRow(0);
        search->queueButton->click();
        QCOMPARE(rowTexts(search->resultList), QStringList{"[1] " + text(1)});
        QCOMPARE(rowTexts(list), marked({{1, 1}}));
        search->jumpButton->click();
        QCOMPARE(list->currentRow(), 1);
        search->playButton->click();
        QCOMPARE(window->player->source(), QUrl::fromLocalFile(path(1)));
        window->player->stop();
        window->clearQueueAction->trigger();
        QCOMPARE(rowTexts(list) << status(), marked({}) << "Queue cleared.");
        QVERIFY(!window->queue->isActive());
    }

    void search_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QList<int>>("hits");
        QTest::newRow("case folded, blanks dropped") << "  BLUE " << QList<int>{0, 3};
        QTest::newRow("folding, not lower-casing") << "ΣΊΣΥΦΟΣ" << QList<int>{4};
        QTest::newRow("artist then title") << "nina blue" << QList<int>{0};
        QTest::newRow("title then artist") << "blue nina" << QList<int>{};
        QTest::newRow("album") << "alina" << QList<int>{1};
        QTest::newRow("file name") << "intro.ogg" << QList<int>{2};
        QTest::newRow("empty album leaves two blanks") << "blue  blue.mp3" << QList<int>{0};
        QTest::newRow("emptied") << "" << QList<int>{};
    }
    void search()
    {
        QFETCH(QString, query);
        QFETCH(QList<int>, hits);
        SearchDialog dialog(&library, nullptr);
        dialog.searchInput->setText("e"); // typed over an earlier query
        dialog.searchInput->setText(query);
        QStringList texts;
        QList<int> indices;
        for (int row = 0; row < dialog.resultList->count(); ++row)
            indices << dialog.resultList->item(row)->data(Qt::UserRole).toInt(), texts << name(indices.last());
        QCOMPARE(indices, hits);
        QCOMPARE(rowTexts(dialog.resultList), texts);
        QCOMPARE(dialog.resultLabel->text(), QString(hits.size() == 1 ? "1 track found" : "%1 tracks found").arg(hits.size()));
    }

    void searchDialog()
    {
        PlayQueue queue;
        queue.add(library.at(1).toLocalFile());
        queue.add(library.at(5).toLocalFile());
        SearchDialog dialog(&library, &queue);
        QStringList log;
        const auto as = [&log](const char *what) { return [&log, what](int i) { log << what + QString::number(i); }; };
        connect(&dialog, &SearchDialog::playRequested, this, as("play "));
        connect(&dialog, &SearchDialog::queueRequested, this, as("queue "));
        connect(&dialog, &SearchDialog::jumpRequested, this, as("jump "));
        for (int round = 0; round < 2; ++round) { // Escape closes; reopening keeps the query
            dialog.show();
            dialog.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QVERIFY(dialog.searchInput->hasFocus());
            if (round == 0)
                QTest::keyClicks(dialog.searchInput, "e");
            QCOMPARE(rowTexts(dialog.resultList), (QStringList{name(0), "[1] " + name(1), name(3), "[2] " + name(5)}));
            if (round == 0) {
                QTest::keyClick(dialog.searchInput, Qt::Key_Escape);
                QVERIFY(dialog.isHidden());
            }
        }
        QVERIFY(dialog.isVisible());
        queue.remove(library.at(1).toLocalFile());
        dialog.updateQueueIndicators();
        QListWidget *hits = dialog.resultList;
        QCOMPARE(rowTexts(hits), (QStringList{name(0), name(1), name(3), "[1] " + name(5)}));

        const QList<QPushButton *> buttons{dialog.playButton, dialog.queueButton, dialog.jumpButton};
        for (QPushButton *button : buttons)
            button->click(); // no hit chosen: nothing asked
        QTest::keyClick(dialog.searchInput, Qt::Key_Down); // to the first hit
        QTest::keyClick(hits, Qt::Key_Down);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Q, Qt::Key_C})
            QTest::keyClick(hits, key);
        hits->setCurrentRow(3);
        for (QPushButton *button : buttons)
            button->click();
        clickRow(hits, 0, true);
        std::unique_ptr<QMenu> menu(dialog.createContextMenu(5));
        QCOMPARE(menu->actions().first()->text(), QString("Remove from queue"));
        menu->actions().first()->trigger();
        QCOMPARE(log, (QStringList{"play 1", "play 1", "queue 1", "jump 1", "play 5", "queue 5", "jump 5", "play 0",
                                   "queue 5"}));
    }
};

QTEST_MAIN(TestQueue)
#include "test_queue.moc"
