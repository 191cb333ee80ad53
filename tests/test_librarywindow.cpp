// The window's side of the library: choosing a folder, the full refresh with
// its batched fill, the quick start from the cache, the status line's timed
// messages, and what happens when scans overlap.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QAction>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <memory>

using namespace TestSupport;

namespace {

const QString cacheName = QStringLiteral("/playlist_cache.json");

// Scans of a handful of files take milliseconds; the margin is for loaded CI machines.
constexpr int scanTimeout = 30000;
// A timed status message lasts 5 s; wait clearly longer for the summary.
constexpr int summaryTimeout = 9000;

/** Copies the named fixtures into @p dir under the given relative paths. */
void populate(const QTemporaryDir &dir, const QList<QPair<QString, QString>> &files)
{
    for (const auto &file : files)
        QVERIFY(TestSupport::copyFixture(file.first, dir.filePath(file.second)));
}

/** The "path" members of the cache in @p folder, in file order; empty if unreadable. */
QStringList cachedPaths(const QString &folder)
{
    QStringList paths;
    const QJsonDocument cache = QJsonDocument::fromJson(readAll(folder + cacheName));
    for (const QJsonValue &track : cache.object().value("tracks").toArray())
        paths.append(track.toObject().value("path").toString());
    return paths;
}

/** Lets running scans end and their hand-backs arrive, so a late result would show. */
void settle()
{
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(300);
}

QStringList names(int count, const QString &prefix)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(prefix + QString::number(i));
    return list;
}

} // namespace

class TestLibraryWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::isolateSettings(); }
    void init() { TestSupport::clearPlayerSettings(); }

    void chosenFolderIsScannedInFull()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        populate(dir, {{"tone.mp3", "tone.mp3"},
                       {"tone.ogg", "tone.ogg"},
                       {"tone.flac", "tone.flac"},
                       {"tone.wav", "deeper/tone.wav"},
                       {"untagged.mp3", "deeper/still/untagged.mp3"},
                       {"tone.mp3", "notes.txt"}});
        // A stale cache must not be consulted for a newly chosen folder.
        writeCache(dir.path(), {{dir.filePath("tone.mp3"), "Stale", "Cached", "", "9:59"}});

        PlayerWindow window;
        window.setMusicFolder(dir.path());

        QCOMPARE(window.playlistWidget->count(), 0);
        QCOMPARE(store().value("musicFolder").toString(), dir.path());

        const QStringList seen = recordLabel(window.statusLabel, "5 tracks", scanTimeout + summaryTimeout);
        QCOMPARE(seen, (QStringList{"Refreshing playlist...", "5 tracks found...", "Playlist refreshed.",
                                    "5 tracks"}));

        const QStringList expectedPaths = iteratorOrder(dir.path());
        QCOMPARE(expectedPaths.size(), 5);
        QCOMPARE(window.mediaList->knownFilePaths(), expectedPaths);
        QCOMPARE(rowTexts(window.playlistWidget), window.mediaList->getList());
        QVERIFY(!rowTexts(window.playlistWidget).contains("Stale - Cached (9:59)"));
        QVERIFY(rowTexts(window.playlistWidget).contains("untagged.mp3"));
        QVERIFY(window.playlistWidget->updatesEnabled());
        QCOMPARE(window.windowTitle(), QString("Corvel Media Player"));
        QCOMPARE(cachedPaths(dir.path()), expectedPaths);
    }

    void fillAddsHundredRowsPerTick()
    {
        PlayerWindow window;
        const QStringList pending = names(250, "Track ");
        window.startFillPlaylist(pending);

        QCOMPARE(window.playlistWidget->count(), 0);
        QVERIFY(!window.playlistWidget->updatesEnabled());
        QVERIFY(window.fillTimer.isActive());
        QCOMPARE(window.fillTimer.interval(), 0);

        QVERIFY(fire(&window.fillTimer));
        QCOMPARE(window.playlistWidget->count(), 100);
        QCOMPARE(window.statusLabel->text(), QString("100 / 250 tracks loaded..."));
        QVERIFY(!window.playlistWidget->updatesEnabled());

        QVERIFY(fire(&window.fillTimer));
        QCOMPARE(window.playlistWidget->count(), 200);
        QCOMPARE(window.statusLabel->text(), QString("200 / 250 tracks loaded..."));
        QVERIFY(!window.playlistWidget->updatesEnabled());

        QVERIFY(fire(&window.fillTimer));
        QCOMPARE(rowTexts(window.playlistWidget), pending);
        QCOMPARE(window.statusLabel->text(), QString("Playlist refreshed."));
        QVERIFY(!window.fillTimer.isActive());
        QVERIFY(window.playlistWidget->updatesEnabled());
    }

    void emptyFillFinishesInOneTick()
    {
        PlayerWindow window;
        window.playlistWidget->addItem("left over");
        window.startFillPlaylist({});
        QCOMPARE(window.playlistWidget->count(), 0);

        QVERIFY(fire(&window.fillTimer));
        QCOMPARE(window.playlistWidget->count(), 0);
        QCOMPARE(window.statusLabel->text(), QString("Playlist refreshed."));
        QVERIFY(!window.fillTimer.isActive());
        QVERIFY(window.playlistWidget->updatesEnabled());
    }

    void newFillReplacesRunningOne()
    {
        PlayerWindow window;
        window.startFillPlaylist(names(250, "Old "));
        QVERIFY(fire(&window.fillTimer));
        QCOMPARE(window.playlistWidget->count(), 100);

        const QStringList fresh = names(150, "New ");
        window.startFillPlaylist(fresh);
        QCOMPARE(window.playlistWidget->count(), 0);

        // One tick adds one batch: the old fill's tick is no longer connected.
        QVERIFY(fire(&window.fillTimer));
        QCOMPARE(window.playlistWidget->count(), 100);
        QCOMPARE(window.statusLabel->text(), QString("100 / 150 tracks loaded..."));

        QVERIFY(fire(&window.fillTimer));
        QCOMPARE(rowTexts(window.playlistWidget), fresh);
        QCOMPARE(window.statusLabel->text(), QString("Playlist refreshed."));
        QVERIFY(window.playlistWidget->updatesEnabled());
    }

    void startUpShowsCacheThenAddsOnlyNewFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        populate(dir, {{"tone.mp3", "tone.mp3"}, {"tone.ogg", "new/tone.ogg"}, {"tone.flac", "tone.flac"}});
        // Cached tags win over the file's own: only new files are read.
        writeCache(dir.path(), {{dir.filePath("tone.mp3"), "Cached Artist", "Cached Title", "", "9:59"}});
        storeMusicFolder(dir.path());

        PlayerWindow window;
        QCOMPARE(rowTexts(window.playlistWidget), QStringList{"Cached Artist - Cached Title (9:59)"});
        QCOMPARE(window.statusLabel->text(), QString("Checking for new tracks..."));

        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist updated."), scanTimeout);
        const QStringList paths = window.mediaList->knownFilePaths();
        QCOMPARE(paths.size(), 3);
        QCOMPARE(paths.first(), dir.filePath("tone.mp3"));
        QCOMPARE(QSet<QString>(paths.cbegin() + 1, paths.cend()),
                 (QSet<QString>{dir.filePath("new/tone.ogg"), dir.filePath("tone.flac")}));
        QCOMPARE(rowTexts(window.playlistWidget), window.mediaList->getList());
        QCOMPARE(window.playlistWidget->item(0)->text(), QString("Cached Artist - Cached Title (9:59)"));
        QCOMPARE(cachedPaths(dir.path()), paths);

        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("3 tracks"), summaryTimeout);
    }

    void updateKeepsOneRowPerRecord()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        populate(dir, {{"tone.mp3", "tone.mp3"}, {"tone.ogg", "tone.ogg"}, {"tone.wav", "tone.wav"}});
        writeCache(dir.path(), {{dir.filePath("tone.mp3"), "A", "One", "", "0:01"},
                                {dir.filePath("tone.ogg"), "B", "Two", "", "0:01"}});
        storeMusicFolder(dir.path());

        PlayerWindow window;
        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist updated."), scanTimeout);
        QCOMPARE(window.playlistWidget->count(), 3);

        // Two updates in a row: the file found new by both is added once.
        window.statusLabel->clear();
        window.updateAction->trigger();
        window.updateAction->trigger();
        QCOMPARE(window.playlistWidget->count(), 3);
        QCOMPARE(window.statusLabel->text(), QString("Checking for new tracks..."));
        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist updated."), scanTimeout);
        settle();

        const QStringList paths = window.mediaList->knownFilePaths();
        QCOMPARE(paths.size(), 3);
        QCOMPARE(QSet<QString>(paths.cbegin(), paths.cend()).size(), 3);
        QCOMPARE(rowTexts(window.playlistWidget), window.mediaList->getList());
        QCOMPARE(cachedPaths(dir.path()), paths);
    }

    void unusableCacheFallsBackToFullRefresh_data()
    {
        QTest::addColumn<QByteArray>("cache");
        QTest::addColumn<bool>("writeCacheFile");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("{ this is not json") << true;
        QTest::newRow("array at the top") << QByteArray("[{\"path\": \"x\"}]") << true;
    }

    void unusableCacheFallsBackToFullRefresh()
    {
        QFETCH(QByteArray, cache);
        QFETCH(bool, writeCacheFile);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        populate(dir, {{"tone.mp3", "tone.mp3"}, {"tone.ogg", "tone.ogg"}});
        if (writeCacheFile)
            writeFile(dir.path() + cacheName, cache);
        storeMusicFolder(dir.path());

        PlayerWindow window;
        QCOMPARE(window.statusLabel->text(), QString("Refreshing playlist..."));
        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist refreshed."), scanTimeout);
        QCOMPARE(window.playlistWidget->count(), 2);
        QCOMPARE(cachedPaths(dir.path()), iteratorOrder(dir.path()));
    }

    void unsavableCacheIsReported_data()
    {
        QTest::addColumn<bool>("fromCache");
        QTest::newRow("full refresh, no room for a new file") << false;
        QTest::newRow("update, cache and folder locked") << true;
    }

    void unsavableCacheIsReported()
    {
        QFETCH(bool, fromCache);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        populate(dir, {{"tone.mp3", "tone.mp3"}});
        const QString cache = dir.path() + cacheName;
        if (fromCache)
            writeCache(dir.path(), {});
        const auto unlock = qScopeGuard([&] {
            setLocked(cache, false);
            setLocked(dir.path(), false);
        });
        if (!setLocked(dir.path(), true) || (fromCache && !setLocked(cache, true)))
            QSKIP("this file system cannot lock a folder");

        if (fromCache)
            storeMusicFolder(dir.path());
        PlayerWindow window;
        if (!fromCache)
            window.setMusicFolder(dir.path());
        QTRY_COMPARE_WITH_TIMEOUT(window.playlistWidget->count(), 1, scanTimeout);
        settle();
        // Shown in place of the library's ready message, which would hide it.
        QCOMPARE(window.statusLabel->text(), QString("Failed to save playlist cache."));
    }

    void noFolderChosenDoesNothing()
    {
        // Audio in the working directory shows whether an empty folder path
        // would be scanned as ".", and the root cache file whether it would be written.
        QTemporaryDir workDir;
        QVERIFY(workDir.isValid());
        populate(workDir, {{"tone.mp3", "tone.mp3"}});
        const QString oldWorkDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(workDir.path()));
        const bool rootCacheExisted = QFile::exists(cacheName);

        // What the first save leaves in the store.
        storeMusicFolder(QString());
        {
            PlayerWindow window;
            QVERIFY(window.folderPath.isEmpty());
            QCOMPARE(window.statusLabel->text(), QString());

            window.playlistWidget->addItem("untouched");
            window.updateAction->trigger();
            window.refreshMusicFolder();
            window.updatePlaylist();
            settle();

            QCOMPARE(rowTexts(window.playlistWidget), QStringList{"untouched"});
            QCOMPARE(window.statusLabel->text(), QString());
            QCOMPARE(window.mediaList->getTracks().size(), 0);
        }
        QVERIFY(QDir::setCurrent(oldWorkDir));
        QVERIFY(!QFile::exists(workDir.path() + cacheName));
        if (!rootCacheExisted)
            QVERIFY(!QFile::exists(cacheName));
    }

    void timedMessagesKeepTheirOwnTimers()
    {
        PlayerWindow window;
        window.updateStatusLabel("First", 5);
        QTest::qWait(3000);
        window.updateStatusLabel("Second", 5);
        QCOMPARE(window.statusLabel->text(), QString("Second"));

        // The first message's timer ends the second one early, about 2 s
        // after it appeared and well before its own 5 s are over.
        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("0 tracks"), 4500);
    }

    void overlappingScansKeepOnlyTheNewest_data()
    {
        QTest::addColumn<bool>("startWithUpdate");
        QTest::newRow("two full scans") << false;
        QTest::newRow("start-up update, then a new folder") << true;
    }

    void overlappingScansKeepOnlyTheNewest()
    {
        QFETCH(bool, startWithUpdate);

        QTemporaryDir folderA;
        QTemporaryDir folderB;
        QVERIFY(folderA.isValid() && folderB.isValid());
        populate(folderA, {{"tone.mp3", "a1.mp3"}, {"tone.ogg", "a2.ogg"}, {"tone.wav", "a3.wav"}});
        populate(folderB, {{"tone.flac", "b1.flac"}, {"title-only.ogg", "b2.ogg"}});

        QByteArray cacheOfA;
        if (startWithUpdate) {
            // The update of A would find two new files if it were allowed to finish.
            writeCache(folderA.path(), {{folderA.filePath("a1.mp3"), "A", "One", "", "0:01"}});
            cacheOfA = readAll(folderA.path() + cacheName);
            storeMusicFolder(folderA.path());
        }

        PlayerWindow window;
        if (!startWithUpdate)
            window.setMusicFolder(folderA.path());
        window.setMusicFolder(folderB.path());

        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist refreshed."), scanTimeout);
        settle();

        const QStringList pathsOfB = iteratorOrder(folderB.path());
        QCOMPARE(window.mediaList->knownFilePaths(), pathsOfB);
        QCOMPARE(rowTexts(window.playlistWidget), window.mediaList->getList());
        QCOMPARE(window.playlistWidget->count(), 2);
        QCOMPARE(cachedPaths(folderB.path()), pathsOfB);

        QFile file(folderA.path() + cacheName);
        if (startWithUpdate) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), cacheOfA);
        } else {
            QVERIFY(!file.exists());
        }
        QCOMPARE(window.statusLabel->text(), QString("Playlist refreshed."));
    }

    void folderWithoutAudioGivesZeroTracks()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        populate(dir, {{"tone.mp3", "cover.jpg"}, {"tone.ogg", "song.m4a"}});

        PlayerWindow window;
        window.playlistWidget->addItem("from before");
        window.setMusicFolder(dir.path());
        QCOMPARE(window.playlistWidget->count(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist refreshed."), scanTimeout);
        QCOMPARE(window.playlistWidget->count(), 0);
        QVERIFY(QFile::exists(dir.path() + cacheName));
        QCOMPARE(cachedPaths(dir.path()), QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("0 tracks"), summaryTimeout);
    }

    void playerAndSearchFollowNewLibrary_data()
    {
        QTest::addColumn<bool>("byFullScan");
        QTest::newRow("full scan") << true;
        QTest::newRow("update from the cache") << false;
    }

    void playerAndSearchFollowNewLibrary()
    {
        QFETCH(bool, byFullScan);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        populate(dir, {{"tone.mp3", "tone.mp3"}, {"tone.ogg", "tone.ogg"}, {"tone.wav", "tone.wav"}});
        const QStringList scanOrder = iteratorOrder(dir.path());
        QCOMPARE(scanOrder.size(), 3);

        // The cache lists the files in the reverse of the scan's order, so
        // the next library puts every record at another index but the middle one.
        const auto entriesIn = [](const QStringList &order) {
            QList<CacheEntry> entries;
            for (const QString &path : order)
                entries.append({path, "Album Artist " + QFileInfo(path).suffix(), "Tone", "", "0:01"});
            return entries;
        };
        QStringList reversed(scanOrder.crbegin(), scanOrder.crend());
        writeCache(dir.path(), entriesIn(reversed));
        storeMusicFolder(dir.path());

        PlayerWindow window;
        QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist updated."), scanTimeout);
        settle();

        window.showSearchDialog();
        // Found the way a user meets them: the query field and the hit list.
        auto *searchInput = window.searchDialog->findChild<QLineEdit *>();
        auto *resultList = window.searchDialog->findChild<QListWidget *>();
        QVERIFY(searchInput && resultList);
        QTest::keyClicks(searchInput, "album artist");
        QCOMPARE(resultList->count(), 3);
        // The user picks a hit and plays it before the library changes under it.
        resultList->setCurrentRow(0);
        const QUrl chosen = window.mediaList->at(resultList->item(0)->data(Qt::UserRole).toInt());
        QTest::keyClick(resultList, Qt::Key_Return);
        QCOMPARE(window.player->source(), chosen);
        window.player->stop();
        window.player->setSource(QUrl());

        if (byFullScan) {
            window.setMusicFolder(dir.path());
            QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist refreshed."), scanTimeout);
            QCOMPARE(window.mediaList->knownFilePaths(), scanOrder);
        } else {
            writeCache(dir.path(), entriesIn(scanOrder));
            window.updateAction->trigger();
            QCOMPARE(window.mediaList->knownFilePaths(), scanOrder);
            QTRY_COMPARE_WITH_TIMEOUT(window.statusLabel->text(), QString("Playlist updated."), scanTimeout);
        }

        // The player's row is the playing track's new row.
        QCOMPARE(window.currentIndex, window.mediaList->indexOf(chosen));
        QVERIFY(window.currentIndex != 0);

        const QList<Playlist::TrackInfo> tracks = window.mediaList->getTracks();
        QCOMPARE(resultList->count(), tracks.size());
        for (int row = 0; row < resultList->count(); ++row) {
            const QListWidgetItem *hit = resultList->item(row);
            const int index = hit->data(Qt::UserRole).toInt();
            QVERIFY(index >= 0 && index < tracks.size());
            QCOMPARE(hit->text(), tracks.at(index).displayName);
        }

        // The chosen hit is still chosen, and playing it plays the track it names.
        QVERIFY(resultList->currentItem());
        QVERIFY(resultList->currentItem()->isSelected());
        QTest::keyClick(resultList, Qt::Key_Return);
        QCOMPARE(window.player->source(), chosen);
        window.player->stop();
    }
};

QTEST_MAIN(TestLibraryWindow)
#include "test_librarywindow.moc"
