// The window as a whole: the settings store, the start from the library cache,
// and one user session on a real folder with a restart.

#include "AboutDialog.h"
#include "ProgressBar.h"
#include "QueueDialog.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QMediaMetaData>
#include <QProcess>
#include <QtTest>
#include <QtWidgets>
#include <unistd.h>

using namespace TestSupport;

namespace {

const QColor orange(0xFF, 0x66, 0x33), green(0x33, 0xFF, 0x33), gray(0x66, 0x66, 0x66), pink(0xFF, 0x99, 0x99),
    red(0xFF, 0x33, 0x33), black(Qt::black);

/** Makes @p path refuse changes (a folder: new files) or take them again; root ignores modes, so it gets +i. */
bool setLocked(const QString &path, bool locked)
{
    if (geteuid() == 0)
        return QProcess::execute("chattr", {locked ? "+i" : "-i", path}) == 0;
    const QFile::Permissions readable = QFile::ReadOwner | QFile::ExeOwner;
    return QFile::setPermissions(path, locked ? readable : readable | QFile::WriteOwner);
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<PlayerWindow> window;
    std::unique_ptr<QTemporaryDir> music;
    QStringList locked;

    QVariant stored(const QString &key) { window->settings.sync(); return store().value(key); }
    QString status() const { return window->statusLabel->text(); }

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { clearStore(); music = std::make_unique<QTemporaryDir>(); }
    void cleanup()
    {
        if (window)
            window->player->stop();
        window.reset();
        finishBackgroundWork();
        for (const QString &path : std::exchange(locked, {}))
            setLocked(path, false); // else the folder cannot be deleted
        music.reset();
    }

    void storedValues_data()
    {
        columns<QString, QVariant, QString, QColor, QString, int>("key", "value", "kept", "tint", "volumeTip", "slider");
        QTest::newRow("empty store gets defaults") << "" << QVariant() << "" << orange << "50%" << 50;
        QTest::newRow("unknown size acts as normal") << "iconSize" << QVariant("huge") << "huge" << orange << "50%" << 50;
        QTest::newRow("unknown colour: black") << "mainColor" << QVariant("purple") << "purple" << black << "50%" << 50;
        QTest::newRow("fractional volume") << "volume" << QVariant(33.5) << "33.5" << orange << "33.5%" << 33;
        QTest::newRow("volume as text") << "volume" << QVariant("70") << "70" << orange << "70%" << 70;
        QTest::newRow("unknown loop mode reads as off") << "loopMode" << QVariant(7) << "0" << orange << "50%" << 50;
    }
    void storedValues()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QColor, tint);
        QMap<QString, QString> expected{{"mainColor", "orange"}, {"iconSize", "normal"}, {"shuffling", "false"},
                                        {"loopMode", "0"}, {"volume", "50"}, {"lastIndex", "0"}, {"musicFolder", ""}};
        if (!key.isEmpty()) {
            store().setValue(key, value);
            QFETCH(QString, kept);
            expected.insert(key, kept);
        }
        window = freshWindow();
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(stored(it.key()).toString(), it.value());
        QVERIFY(showsIcon(window->playPause, "play", tint, QSize(48, 48)));
        QTEST(window->volume->toolTip(), "volumeTip");
        QTEST(window->volume->value(), "slider");
        QVERIFY(showsIcon(window->looping, "repeat", gray, QSize(32, 32)));
        // With no folder chosen, update and refresh do nothing.
        window->updateAction->trigger();
        window->refreshMusicFolder();
        QCOMPARE(status(), QString());
    }

    void startFromTheCache_data()
    {
        columns<bool, QByteArray, int, QString>("withPath", "damage", "rows", "ready");
        QTest::newRow("stored row only, as an older store has it") << false << QByteArray() << 3 << "Playlist updated.";
        // The cache load drops the vanished file, so the stored track moves up a row.
        QTest::newRow("an earlier file vanished") << true << QByteArray("gone") << 2 << "Playlist updated.";
        QTest::newRow("damaged cache: full refresh") << true << QByteArray("{ no json") << 0 << "Playlist refreshed.";
        QTest::newRow("cache and folder locked") << true << QByteArray("locked") << 3 << "Failed to save playlist cache.";
    }
    void startFromTheCache()
    {
        QFETCH(bool, withPath);
        QFETCH(QByteArray, damage);
        QFETCH(QString, ready);
        const QStringList paths = writeLibrary(music->path());
        store().setValue("musicFolder", music->path());
        store().setValue("lastIndex", 2);
        if (withPath)
            store().setValue("lastPath", paths.at(2));
        if (damage == "gone")
            QVERIFY(QFile::remove(paths.at(0)));
        else if (damage.startsWith('{'))
            writeFile(music->filePath("playlist_cache.json"), damage);
        else if (damage == "locked")
            locked = QStringList{music->filePath("playlist_cache.json"), music->path()};
        for (const QString &path : locked)
            if (!setLocked(path, true))
                QSKIP("this file system cannot lock files");
        const QUrl track = QUrl::fromLocalFile(paths.at(2));
        window = freshWindow();
        // The current row is the stored track: at once from the cache, and again once the folder is read.
        QTEST(window->playlistWidget->count(), "rows");
        const auto current = [this] { return window->mediaList->at(window->playlistWidget->currentRow()); };
        QVERIFY(damage.startsWith('{') || current() == track);
        QTRY_COMPARE_WITH_TIMEOUT(status(), ready, 60000);
        finishBackgroundWork(); // a failed save must stay shown, not give way to the ready message
        QCOMPARE(status(), ready);
        QCOMPARE(current(), track);
        QVERIFY(window->close());
        QCOMPARE(stored("lastIndex").toInt(), window->playlistWidget->currentRow());
        QCOMPARE(stored("lastPath").toString(), paths.at(2));
        window->playPause->click();
        QCOMPARE(window->player->source(), track);
    }

    void userSessionAndRestart()
    {
        const QStringList files{"Rock/tone.mp3", "Klassik Ålbum ♪/tone.flac", "Misc/Live/tone.wav", "untagged.mp3"};
        for (const QString &file : files)
            copyFixture(QFileInfo(file).fileName(), music->filePath(file));
        copyFixture("tone.mp3", music->filePath("notes.txt"));
        // A cache left in a newly chosen folder is not consulted.
        writeCache(music->filePath("playlist_cache.json"), {{music->filePath(files[1]), "Stale", "Cached", "", "9:59"}});
        window = freshWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->setMusicFolder(music->path());
        QCOMPARE(status(), QString("Refreshing playlist..."));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist refreshed."), 60000);
        const QStringList rows = window->mediaList->getList();
        QListWidget *list = window->playlistWidget;
        QVERIFY(rows.size() == 4 && !rows.contains("Stale - Cached (9:59)"));
        const QUrl flacUrl = QUrl::fromLocalFile(music->filePath(files[1]));
        const int flac = window->mediaList->indexOf(flacUrl);

        // Play the flac track by double-click and hold it while its tags arrive.
        const QPoint at = list->visualItemRect(list->item(flac)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(window->windowTitle(), rows.at(flac));
        window->playPause->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window->player->metaData().stringValue(QMediaMetaData::Title).isEmpty(), 20000);
        window->favorite->click();
        window->buttons.at(2)->click();
        window->stop->click();

        // Colour and size repaint every control at once.
        window->setGreen->trigger();
        window->iconBig->trigger();
        QVERIFY(showsIcon(window->stop, "stop", green, QSize(32, 32)));
        QVERIFY(showsIcon(window->buttons.at(2), "heart", pink, QSize(64, 64)));
        QVERIFY(showsIcon(window->queueDialog->clearButton, "trash-2", red, QSize(64, 64)));
        QVERIFY(showsIcon(window->searchDialog->playButton, "play", green, QSize(64, 64)));
        window->shuffle->click();
        window->looping->click();
        window->looping->click();
        QVERIFY(window->close());
        window.reset();
        finishBackgroundWork();

        // While the player is closed a file arrives; the next start shows the cache and scans only that one.
        copyFixture("untagged.mp3", music->filePath("Neu Ñ/frisch.mp3"));
        window = freshWindow();
        list = window->playlistWidget;
        QCOMPARE(rowTexts(list), rows);
        QCOMPARE(list->currentRow(), flac);
        QCOMPARE(status(), QString("Checking for new tracks..."));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist updated."), 60000);
        QCOMPARE(rowTexts(list), rows + QStringList{"frisch.mp3"});
        QVERIFY(showsIcon(window->playPause, "play", green, QSize(96, 96)));
        QVERIFY(showsIcon(window->shuffle, "shuffle", green, QSize(64, 64)));
        QVERIFY(showsIcon(window->looping, "repeat-1", green, QSize(64, 64)));
        QCOMPARE(window->buttons.at(2)->toolTip(), QString("Flåc Ärtist - Flac Tøne ♪"));
        window->buttons.at(2)->click();
        QCOMPARE(window->player->source(), flacUrl);
        for (QAction *action : {window->showAboutAction, window->openSearch, window->showQueueAction})
            action->trigger();
        QVERIFY(window->aboutDialog->isVisible() && window->searchDialog->isVisible() && window->queueDialog->isVisible());
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
