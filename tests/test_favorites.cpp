// The favourite grid: arming and assigning the playing track, playing a
// slot, clearing it by right click, and what reaches the settings store.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "TestSupport.h"

#include <QAction>
#include <QListWidget>
#include <QMediaMetaData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

class TestFavorites : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void assignPlayingTrack();
    void assignReplacesSlot();
    void assignWithoutSourceAssignsNothing();
    void unsetButtonDoesNothingUnarmed();
    void rightClickClearsSlot();
    void rightClickOnUnsetButtonDoesNothing();
    void favoriteInLibraryPlaysItsRow();
    void favoriteOutsideLibraryPlaysStoredAddress();
    void loadIgnoresSlot16AndEmptyUrls();
    void colorChangeAddsNoFavorites();

private:
    // A shown window, with the fixture library (ogg last, so that playing it
    // starts no other track at its end) when @p withLibrary is set.
    void startWindow(bool withLibrary);
    // The favourite groups in the store, once the window's writes are out.
    QStringList storedFavorites();

    std::unique_ptr<PlayerWindow> window;
    std::unique_ptr<QTemporaryDir> music;
    QStringList library;
};

void TestFavorites::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestFavorites::init()
{
    TestSupport::clearPlayerSettings();
    music = std::make_unique<QTemporaryDir>();
    QVERIFY(music->isValid());
}

void TestFavorites::cleanup()
{
    window.reset();
    finishBackgroundWork();
    music.reset();
}

void TestFavorites::startWindow(bool withLibrary)
{
    if (withLibrary) {
        library = writeFixtureLibrary(music->path());
        storeMusicFolder(music->path());
    }
    window = freshWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    if (withLibrary)
        QCOMPARE(window->playlistWidget->count(), 3);
}

QStringList TestFavorites::storedFavorites()
{
    window->settings.sync();
    QSettings settings = store();
    settings.beginGroup(QStringLiteral("favorites"));
    return settings.childGroups();
}

void TestFavorites::assignPlayingTrack()
{
    startWindow(true);
    window->playTrack(2);
    // Tags arrive from the backend some time after the start.
    QTRY_VERIFY_WITH_TIMEOUT(!window->player->metaData().stringValue(QMediaMetaData::Title).isEmpty(), 10000);
    const QMediaMetaData metaData = window->player->metaData();
    QCOMPARE(metaData.stringValue(QMediaMetaData::AlbumArtist), QStringLiteral("Ogg Album Artist"));
    QCOMPARE(metaData.stringValue(QMediaMetaData::Title), QStringLiteral("Ogg Tone"));

    QTest::mouseClick(window->favorite, Qt::LeftButton);
    QVERIFY(window->favorite->isChecked());
    QVERIFY(window->selectingFavorite);
    FavoriteButton *button = window->buttons.at(2);
    QCOMPARE(button->text(), QStringLiteral("Fav 3"));
    QTest::mouseClick(button, Qt::LeftButton);

    QCOMPARE(button->text(), QString());
    QVERIFY(showsIcon(button, "heart", pink, QSize(32, 32)));
    QCOMPARE(button->toolTip(), QStringLiteral("Ogg Album Artist - Ogg Tone"));
    QVERIFY(!window->favorite->isChecked());
    QVERIFY(!window->selectingFavorite);
    // Assigning neither plays nor restarts anything.
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(library.at(2)));

    window->saveSettings();
    QCOMPARE(storedFavorites(), QStringList{QStringLiteral("fav2")});
    QCOMPARE(store().value("favorites/fav2/url").toString(), QUrl::fromLocalFile(library.at(2)).toString());
    QCOMPARE(store().value("favorites/fav2/artist").toString(), QStringLiteral("Ogg Album Artist"));
    QCOMPARE(store().value("favorites/fav2/title").toString(), QStringLiteral("Ogg Tone"));
    window->player->stop();
}

void TestFavorites::assignReplacesSlot()
{
    storeFavorite(0, "file:///gone/old.mp3", "Old Artist", "Old Title");
    startWindow(true);
    window->playTrack(0);
    window->stop->click();

    window->favorite->click();
    window->buttons.at(0)->click();

    QCOMPARE(window->favorites.keys(), QList<int>{0});
    QCOMPARE(window->favorites.value(0).url, QUrl::fromLocalFile(library.at(0)));
    QVERIFY(window->buttons.at(0)->toolTip() != QStringLiteral("Old Artist - Old Title"));
}

void TestFavorites::assignWithoutSourceAssignsNothing()
{
    startWindow(false);
    QVERIFY(window->player->source().isEmpty());

    window->favorite->click();
    QTest::mouseClick(window->buttons.at(1), Qt::LeftButton);
    QVERIFY(window->favorites.isEmpty());
    QCOMPARE(window->buttons.at(1)->text(), QStringLiteral("Fav 2"));
    QCOMPARE(window->buttons.at(1)->toolTip(), QStringLiteral("No favorite set"));
    QVERIFY(window->buttons.at(1)->icon().isNull());
    // The click is spent all the same: the next one plays, it does not assign.
    QVERIFY(!window->favorite->isChecked());
    QVERIFY(!window->selectingFavorite);
    window->saveSettings();
    QVERIFY(storedFavorites().isEmpty());
}

void TestFavorites::unsetButtonDoesNothingUnarmed()
{
    startWindow(true);
    const QString title = window->windowTitle();
    FavoriteButton *button = window->buttons.at(4);

    // Also after the repaints of a colour and a size change.
    for (QAction *change : {static_cast<QAction *>(nullptr), window->setBlue, window->iconBig}) {
        if (change)
            change->trigger();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(window->favorites.isEmpty());
        QCOMPARE(button->text(), QStringLiteral("Fav 5"));
        QCOMPARE(button->toolTip(), QStringLiteral("No favorite set"));
        QVERIFY(button->icon().isNull());
        QCOMPARE(window->windowTitle(), title);
        QVERIFY(window->player->source().isEmpty());
    }
}

void TestFavorites::rightClickClearsSlot()
{
    storeFavorite(4, "file:///music/five.mp3", "Artist Five", "Title Five");
    storeFavorite(9, "file:///music/ten.mp3", "Artist Ten", "Title Ten");
    startWindow(false);
    FavoriteButton *button = window->buttons.at(4);
    QCOMPARE(button->text(), QString());
    QCOMPARE(button->toolTip(), QStringLiteral("Artist Five - Title Five"));
    QVERIFY(!button->icon().isNull());

    QSignalSpy sources(window->player, &QMediaPlayer::sourceChanged);
    QTest::mouseClick(button, Qt::RightButton);

    QCOMPARE(button->text(), QStringLiteral("Fav 5"));
    QCOMPARE(button->toolTip(), QStringLiteral("No favorite set"));
    QVERIFY(button->icon().isNull());
    QCOMPARE(button->font().pointSize(), 10);
    QCOMPARE(window->favorites.keys(), QList<int>{9});
    // A right press does not play the slot it clears.
    QCOMPARE(sources.count(), 0);

    // Only the next save takes it out of the store.
    QCOMPARE(storedFavorites(), (QStringList{QStringLiteral("fav4"), QStringLiteral("fav9")}));
    window->saveSettings();
    QCOMPARE(storedFavorites(), QStringList{QStringLiteral("fav9")});
    QVERIFY(!store().contains("favorites/fav4/url"));
}

void TestFavorites::rightClickOnUnsetButtonDoesNothing()
{
    startWindow(false);
    FavoriteButton *button = window->buttons.at(6);
    button->setFont(QFont(button->font().family(), 14));

    emit button->rightClicked();

    QVERIFY(window->favorites.isEmpty());
    QCOMPARE(button->text(), QStringLiteral("Fav 7"));
    QCOMPARE(button->toolTip(), QStringLiteral("No favorite set"));
    // Not even the font is reset.
    QCOMPARE(button->font().pointSize(), 14);
}

void TestFavorites::favoriteInLibraryPlaysItsRow()
{
    storeFavorite(3, QUrl::fromLocalFile(music->filePath("b.wav")).toString(), "Stored Artist", "Stored Title");
    startWindow(true);
    QCOMPARE(window->buttons.at(3)->toolTip(), QStringLiteral("Stored Artist - Stored Title"));

    QTest::mouseClick(window->buttons.at(3), Qt::LeftButton);

    // The library's row plays, titled as the row, not as the favourite.
    QCOMPARE(window->currentIndex, 1);
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(library.at(1)));
    QCOMPARE(window->windowTitle(), QStringLiteral("Wav Album Artist - Wav Tone (0:01)"));
    QVERIFY(!window->justStarted);
    QVERIFY(showsIcon(window->playPause, "pause", orange, QSize(48, 48)));
    window->player->stop();
}

void TestFavorites::favoriteOutsideLibraryPlaysStoredAddress()
{
    // The file exists, but in a folder the library does not cover.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString path = elsewhere.filePath(QStringLiteral("moved.mp3"));
    QVERIFY(copyFixture(QStringLiteral("tone.mp3"), path));
    const QUrl url = QUrl::fromLocalFile(path);
    storeFavorite(8, url.toString(), "Stored Artist", "Stored Title");
    startWindow(true);
    const int indexBefore = window->currentIndex;

    QTest::mouseClick(window->buttons.at(8), Qt::LeftButton);

    QCOMPARE(window->player->source(), url);
    QCOMPARE(window->windowTitle(), QStringLiteral("Stored Title"));
    QCOMPARE(window->currentIndex, indexBefore);
    QVERIFY(showsIcon(window->playPause, "pause", orange, QSize(48, 48)));
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PlayingState);
    // The source change saved at once, favourites included.
    QCOMPARE(store().value("favorites/fav8/url").toString(), url.toString());
    // Play/pause now pauses this track instead of starting last session's row.
    QVERIFY(!window->justStarted);
    window->playPause->click();
    QCOMPARE(window->player->source(), url);
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PausedState);
    window->player->stop();
}

void TestFavorites::loadIgnoresSlot16AndEmptyUrls()
{
    storeFavorite(16, "file:///music/seventeen.mp3", "A", "T");
    storeFavorite(3, QString(), "No Url Artist", "No Url Title");
    storeFavorite(15, "file:///music/sixteen.mp3", "Artist 16", "Title 16");
    startWindow(false);

    QCOMPARE(window->favorites.keys(), QList<int>{15});
    QCOMPARE(window->favorites.value(15).url, QUrl(QStringLiteral("file:///music/sixteen.mp3")));
    QCOMPARE(window->buttons.at(15)->toolTip(), QStringLiteral("Artist 16 - Title 16"));
    QCOMPARE(window->buttons.at(3)->text(), QStringLiteral("Fav 4"));
    QCOMPARE(window->buttons.at(3)->toolTip(), QStringLiteral("No favorite set"));
    QVERIFY(window->buttons.at(3)->icon().isNull());
    // The start-up saves keep only what was loaded.
    QCOMPARE(storedFavorites(), QStringList{QStringLiteral("fav15")});
}

void TestFavorites::colorChangeAddsNoFavorites()
{
    storeFavorite(2, "file:///music/three.mp3", "Artist Three", "Title Three");
    startWindow(false);

    // A repaint walks all 16 buttons; it must not create a favourite for any.
    for (QAction *change : {window->setBlue, window->setGreen, window->iconSmall, window->setOrange}) {
        change->trigger();
        QCOMPARE(window->favorites.keys(), QList<int>{2});
        for (int i = 0; i < window->buttons.size(); ++i) {
            FavoriteButton *button = window->buttons.at(i);
            if (i == 2) {
                QCOMPARE(button->text(), QString());
                QVERIFY(showsIcon(button, "heart", pink, button->iconSize()));
            } else {
                QCOMPARE(button->text(), QStringLiteral("Fav %1").arg(i + 1));
                QVERIFY(button->icon().isNull());
            }
        }
    }
}

QTEST_MAIN(TestFavorites)
#include "test_favorites.moc"
