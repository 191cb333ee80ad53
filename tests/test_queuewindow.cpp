// The play queue as the main window shows and handles it: the track list's
// context menu, the position marks on rows, the status line's queue summary,
// and the queue and search dialogs' requests. Queued tracks playing first is
// TestPlayback's (queueComesFirst) and the end-to-end walk's.

#include "PlayQueue.h"
#include "PlayerWindow.h"
#include "Playlist.h"
#include "QueueDialog.h"
#include "QueueWidget.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace TestSupport;

namespace {

struct Track {
    QString file;
    QString artist;
    QString title;
    QString duration;
};

// Four tracks whose display texts and lengths the tests can name.
const QList<Track> fourTracks = {
    {"t1.mp3", "Alpha", "One", "3:07"},
    {"t2.mp3", "Beta", "Two", "4:10"},
    {"t3.mp3", "Gamma", "Three", "1:00"},
    {"t4.mp3", "Delta", "Four", "2:00"},
};

QString textOf(const Track &track)
{
    return QStringLiteral("%1 - %2 (%3)").arg(track.artist, track.title, track.duration);
}

} // namespace

class TestQueueWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<PlayerWindow> window;

    QString pathOf(const QString &file) const { return dir->filePath(file); }

    /**
     * A shown window whose library is @p tracks, loaded from a cache the way
     * a second start loads it. Each file is a real, playable copy of a fixture.
     */
    void openWindow(const QList<Track> &tracks)
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QList<CacheEntry> entries;
        for (const Track &track : tracks) {
            QVERIFY(copyFixture("tone.mp3", pathOf(track.file)));
            entries.append({pathOf(track.file), track.artist, track.title, QString(), track.duration});
        }
        writeCache(dir->path(), entries);
        storeMusicFolder(dir->path());

        window = std::make_unique<PlayerWindow>();
        window->resize(900, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // The start-up update rebuilds the list once more; wait for it so it
        // cannot wipe marks in the middle of a test.
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist updated."), 30000);
        QCOMPARE(window->playlistWidget->count(), tracks.size());
    }

    QString status() const { return window->statusLabel->text(); }
    QString row(int i) const { return window->playlistWidget->item(i)->text(); }
    QPoint rowCenter(int i) const
    {
        QListWidget *list = window->playlistWidget;
        return list->visualItemRect(list->item(i)).center();
    }

    /** Chooses the one entry of row @p i's context menu and returns its text. */
    QString toggleFromMenu(int i)
    {
        std::unique_ptr<QMenu> menu(window->createPlaylistContextMenu(rowCenter(i)));
        if (!menu || menu->actions().size() != 1)
            return QString();
        QAction *action = menu->actions().first();
        const QString text = action->text();
        action->trigger();
        return text;
    }

    QueueWidget *queueList() const { return window->queueDialog->findChild<QueueWidget *>(); }

    /** Selects @p path in the open queue dialog and presses @p button. */
    void pressFor(const QString &path, QPushButton *button)
    {
        queueList()->selectItemByPath(path);
        QCOMPARE(queueList()->getSelectedItemPath(), path);
        button->click();
    }

private slots:
    void initTestCase() { TestSupport::isolateSettings(); }
    void init() { TestSupport::clearPlayerSettings(); }

    void cleanup()
    {
        if (window)
            window->player->stop();
        window.reset();
        dir.reset();
    }

    void contextMenuTogglesAndRenumbers()
    {
        openWindow(fourTracks);

        QCOMPARE(toggleFromMenu(1), QString("Add to Queue"));
        QCOMPARE(row(1), "[1] " + textOf(fourTracks[1]));
        QCOMPARE(status(), QString("4 tracks, 1 in queue (4:10)"));
        QVERIFY(window->queue->isActive());

        QCOMPARE(toggleFromMenu(3), QString("Add to Queue"));
        QCOMPARE(row(3), "[2] " + textOf(fourTracks[3]));
        QCOMPARE(status(), QString("4 tracks, 2 in queue (6:10)"));

        QCOMPARE(toggleFromMenu(1), QString("Remove from Queue"));
        QCOMPARE(row(1), textOf(fourTracks[1]));
        QCOMPARE(row(3), "[1] " + textOf(fourTracks[3]));
        QCOMPARE(status(), QString("4 tracks, 1 in queue (2:00)"));

        // Emptied by removal, the queue stays active but the suffix goes.
        QCOMPARE(toggleFromMenu(3), QString("Remove from Queue"));
        QCOMPARE(rowTexts(window->playlistWidget), window->mediaList->getList());
        QCOMPARE(status(), QString("4 tracks"));
        QVERIFY(window->queue->isActive());
    }

    void rightClickOpensMenuOnRowsOnly()
    {
        openWindow(fourTracks);
        QListWidget *list = window->playlistWidget;

        QCOMPARE(answerMenu(list, rowCenter(2), "Add to Queue"), QStringList{"Add to Queue"});
        QCOMPARE(row(2), "[1] " + textOf(fourTracks[2]));

        const QRect last = list->visualItemRect(list->item(list->count() - 1));
        const QPoint below(last.center().x(), last.bottom() + 20);
        QVERIFY(list->viewport()->rect().contains(below));
        QVERIFY(!list->itemAt(below));
        QVERIFY(!window->createPlaylistContextMenu(below));
        QCOMPARE(answerMenu(list, below, "Add to Queue"), QStringList());
        QCOMPARE(window->queue->getList(), QStringList{pathOf("t3.mp3")});
    }

    void namesThatLookMarkedStayWhole()
    {
        // An untagged file shows its name, and this one begins like a mark.
        openWindow(fourTracks + QList<Track>{{"[01] Intro.mp3", "", "", "0:01"}});
        QCOMPARE(row(4), QString("[01] Intro.mp3"));

        QCOMPARE(toggleFromMenu(0), QString("Add to Queue"));
        QCOMPARE(row(4), QString("[01] Intro.mp3"));
        QCOMPARE(toggleFromMenu(4), QString("Add to Queue"));
        QCOMPARE(row(4), QString("[2] [01] Intro.mp3"));
        QCOMPARE(toggleFromMenu(0), QString("Remove from Queue"));
        QCOMPARE(row(4), QString("[1] [01] Intro.mp3"));
        QCOMPARE(toggleFromMenu(4), QString("Remove from Queue"));
        QCOMPARE(rowTexts(window->playlistWidget), window->mediaList->getList());
    }

    void missingFileStillCounts()
    {
        openWindow(fourTracks);
        QCOMPARE(toggleFromMenu(0), QString("Add to Queue"));
        QCOMPARE(toggleFromMenu(1), QString("Add to Queue"));

        // The first queued file disappears; the next update drops it from
        // the library, but not from the queue.
        QVERIFY(QFile::remove(pathOf("t1.mp3")));
        window->statusLabel->clear();
        window->updateAction->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist updated."), 30000);
        QCOMPARE(window->playlistWidget->count(), 3);
        QCOMPARE(row(0), "[2] " + textOf(fourTracks[1]));

        window->showQueueDialog();
        QCOMPARE(rowPaths(queueList()), (QStringList{pathOf("t1.mp3"), pathOf("t2.mp3")}));
        QCOMPARE(rowTexts(queueList()), (QStringList{"t1.mp3", textOf(fourTracks[1])}));
        QCOMPARE(window->queueDisplayNames(), QStringList{textOf(fourTracks[1])});
        window->queueDialog->close();

        QCOMPARE(row(1), textOf(fourTracks[2]));
        QCOMPARE(status(), QString("3 tracks, 2 in queue (4:10)"));

        // Playback reaches the missing file and drops it.
        window->forward->click();
        QCOMPARE(window->queue->getList(), QStringList{pathOf("t2.mp3")});
        QCOMPARE(row(0), "[1] " + textOf(fourTracks[1]));
        QCOMPARE(status(), QString("3 tracks, 1 in queue (4:10)"));
    }

    void queueDuration_data()
    {
        QTest::addColumn<QStringList>("durations");
        QTest::addColumn<QString>("total");
        QTest::newRow("minutes and seconds") << QStringList{"3:07", "4:10"} << "7:17";
        QTest::newRow("3725 seconds") << QStringList{"60:00", "2:05"} << "1:02:05";
        QTest::newRow("one track over an hour") << QStringList{"62:05"} << "1:02:05";
        QTest::newRow("exactly one hour") << QStringList{"20:00", "20:00", "20:00"} << "1:00:00";
        QTest::newRow("all zero") << QStringList{"0:00", "0:00"} << "0:00";
        QTest::newRow("unusable texts") << QStringList{"1:02:03", "abc", "", "x:30", "-1:30", "2:75", "2:30"} << "2:30";
        // Beyond a 32-bit count of seconds.
        QTest::newRow("damaged minutes") << QStringList{"99999999:00", "2:30"} << "1666666:41:30";
    }

    void queueDuration()
    {
        QFETCH(QStringList, durations);
        QFETCH(QString, total);

        QList<Track> tracks;
        for (int i = 0; i < durations.size(); ++i)
            tracks.append({QString("d%1.mp3").arg(i), "Artist", QString("Song %1").arg(i), durations.at(i)});
        openWindow(tracks);

        for (int i = 0; i < tracks.size(); ++i)
            QCOMPARE(toggleFromMenu(i), QString("Add to Queue"));

        QCOMPARE(window->getQueueDuration(), total);
        QCOMPARE(status(), QString("%1 tracks, %2 in queue (%3)").arg(tracks.size()).arg(tracks.size()).arg(total));
    }

    void clearFromMenu()
    {
        openWindow(fourTracks);
        toggleFromMenu(0);
        toggleFromMenu(2);

        window->clearQueueAction->trigger();
        QCOMPARE(rowTexts(window->playlistWidget), window->mediaList->getList());
        QCOMPARE(status(), QString("Queue cleared."));
        QVERIFY(window->queue->isEmpty());
        QVERIFY(!window->queue->isActive());
        QCOMPARE(queueList()->count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("4 tracks"), 9000);
    }

    void clearFromDialog()
    {
        openWindow(fourTracks);
        toggleFromMenu(0);
        toggleFromMenu(2);

        window->showQueueDialog();
        QCOMPARE(queueList()->count(), 2);
        window->queueDialog->clearButton->click();
        QCOMPARE(queueList()->count(), 0);
        QVERIFY(window->queue->isEmpty());
        QVERIFY(!window->queue->isActive());
        QCOMPARE(rowTexts(window->playlistWidget), window->mediaList->getList());
        QCOMPARE(status(), QString("4 tracks"));
    }

    void queueDialogRequests()
    {
        openWindow(fourTracks);
        const QString t1 = pathOf("t1.mp3");
        const QString t2 = pathOf("t2.mp3");
        const QString t3 = pathOf("t3.mp3");
        toggleFromMenu(0);
        toggleFromMenu(1);
        toggleFromMenu(2);
        QCOMPARE(row(0), "[1] " + textOf(fourTracks[0]));
        QCOMPARE(row(1), "[2] " + textOf(fourTracks[1]));
        QCOMPARE(row(2), "[3] " + textOf(fourTracks[2]));

        QueueDialog *dialog = window->queueDialog;
        window->showQueueDialog();
        QVERIFY(dialog->isVisible());
        QCOMPARE(rowPaths(queueList()), (QStringList{t1, t2, t3}));
        QCOMPARE(rowTexts(queueList()), (QStringList{textOf(fourTracks[0]), textOf(fourTracks[1]),
                                                 textOf(fourTracks[2])}));

        // To the front: the dialog and the track list follow at once.
        pressFor(t3, dialog->jumpButton);
        QCOMPARE(status(), QString("Moved to front of queue"));
        QCOMPARE(window->queue->getList(), (QStringList{t3, t1, t2}));
        QCOMPARE(rowPaths(queueList()), (QStringList{t3, t1, t2}));
        QCOMPARE(row(0), "[2] " + textOf(fourTracks[0]));
        QCOMPARE(row(1), "[3] " + textOf(fourTracks[1]));
        QCOMPARE(row(2), "[1] " + textOf(fourTracks[2]));
        dialog->close();
        QCOMPARE(status(), QString("4 tracks, 3 in queue (8:17)"));

        // Up and down keep the moved track selected, so presses can repeat.
        window->showQueueDialog();
        pressFor(t2, dialog->moveUpButton);
        QCOMPARE(queueList()->getSelectedItemPath(), t2);
        dialog->moveUpButton->click();
        QCOMPARE(window->queue->getList(), (QStringList{t2, t3, t1}));
        QCOMPARE(rowPaths(queueList()), (QStringList{t2, t3, t1}));
        dialog->moveDownButton->click();
        QCOMPARE(window->queue->getList(), (QStringList{t3, t2, t1}));
        QCOMPARE(queueList()->getSelectedItemPath(), t2);
        QCOMPARE(row(0), "[3] " + textOf(fourTracks[0]));
        QCOMPARE(row(1), "[2] " + textOf(fourTracks[1]));
        QCOMPARE(row(2), "[1] " + textOf(fourTracks[2]));

        // A drop hands over the new order; the marks follow at once.
        window->showQueueDialog();
        emit queueList()->reordered({t1, t2, t3});
        QCOMPARE(window->queue->getList(), (QStringList{t1, t2, t3}));
        QCOMPARE(rowPaths(queueList()), (QStringList{t1, t2, t3}));
        QCOMPARE(row(0), "[1] " + textOf(fourTracks[0]));
        QCOMPARE(row(1), "[2] " + textOf(fourTracks[1]));
        QCOMPARE(row(2), "[3] " + textOf(fourTracks[2]));
        QCOMPARE(status(), QString("Queue updated."));

        pressFor(t2, dialog->removeButton);
        QCOMPARE(window->queue->getList(), (QStringList{t1, t3}));
        QCOMPARE(rowPaths(queueList()), (QStringList{t1, t3}));
        QCOMPARE(row(1), textOf(fourTracks[1]));
        QCOMPARE(row(2), "[2] " + textOf(fourTracks[2]));
        QCOMPARE(status(), QString("4 tracks, 2 in queue (4:07)"));
        dialog->close();
        QVERIFY(window->queue->isActive());
    }

    void dialogClosingRefreshesOnce()
    {
        openWindow(fourTracks);
        const QString t1 = pathOf("t1.mp3");
        const QString t2 = pathOf("t2.mp3");
        toggleFromMenu(0);
        toggleFromMenu(1);

        window->showQueueDialog();
        // A probe connected after the first opening runs after the window's
        // own closing handler. Were the handler connected again by the later
        // openings, a copy of it would run after the probe and overwrite its text.
        connect(window->queueDialog, &QDialog::finished, window.get(),
                [this] { window->statusLabel->setText("probe"); });
        window->showQueueDialog();
        window->showQueueDialog();

        pressFor(t2, window->queueDialog->jumpButton);
        window->queueDialog->close();

        QCOMPARE(row(0), "[2] " + textOf(fourTracks[0]));
        QCOMPARE(row(1), "[1] " + textOf(fourTracks[1]));
        QCOMPARE(status(), QString("probe"));
        QCOMPARE(window->queue->getList(), (QStringList{t2, t1}));
    }

    void searchDialogRequests()
    {
        openWindow(fourTracks);
        window->showSearchDialog();
        SearchDialog *search = window->searchDialog;
        QTest::keyClicks(search->searchInput, "beta");
        QCOMPARE(rowTexts(search->resultList), QStringList{textOf(fourTracks[1])});
        search->resultList->setCurrentRow(0);

        search->queueButton->click();
        QCOMPARE(window->queue->getList(), QStringList{pathOf("t2.mp3")});
        QCOMPARE(row(1), "[1] " + textOf(fourTracks[1]));
        QCOMPARE(search->resultList->item(0)->text(), "[1] " + textOf(fourTracks[1]));
        QCOMPARE(status(), QString("4 tracks, 1 in queue (4:10)"));

        search->queueButton->click();
        QVERIFY(window->queue->isEmpty());
        QCOMPARE(row(1), textOf(fourTracks[1]));
        QCOMPARE(search->resultList->item(0)->text(), textOf(fourTracks[1]));

        // Jump selects the row and plays nothing.
        search->resultList->setCurrentRow(0);
        search->jumpButton->click();
        QCOMPARE(window->playlistWidget->currentRow(), 1);
        QVERIFY(window->playlistWidget->currentItem()->isSelected());
        QVERIFY(window->player->source().isEmpty());

        search->playButton->click();
        QCOMPARE(window->player->source(), QUrl::fromLocalFile(pathOf("t2.mp3")));
        QCOMPARE(window->windowTitle(), textOf(fourTracks[1]));
    }
};

QTEST_MAIN(TestQueueWindow)
#include "test_queuewindow.moc"
