// The favourite grid: arming and assigning the playing track, playing a
// slot, clearing it by right click, and what reaches the settings store.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "SvgIcon.h"
#include "TestSupport.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QMediaMetaData>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

namespace {

const QString organisation = QStringLiteral("Tavrenin International");
const QString application = QStringLiteral("Corvelia");
const QColor pink(QStringLiteral("#FF9999"));
const QColor orange(QStringLiteral("#FF6633"));

struct LibraryTrack {
    QString fixture;
    QString fileName;
    QString artist;
    QString title;
};

// Fixture copies in library order; the last row is the one the tests play, so
// that its end starts no other track.
const QList<LibraryTrack> libraryTracks = {
    {QStringLiteral("tone.mp3"), QStringLiteral("a.mp3"), QStringLiteral("Mp3 Album Artist"),
     QStringLiteral("Mp3 Tone")},
    {QStringLiteral("tone.wav"), QStringLiteral("b.wav"), QStringLiteral("Wav Album Artist"),
     QStringLiteral("Wav Tone")},
    {QStringLiteral("tone.ogg"), QStringLiteral("c.ogg"), QStringLiteral("Ogg Album Artist"),
     QStringLiteral("Ogg Tone")},
};

// Copies the fixtures into @p folder and writes the cache the window shows at start.
bool writeCachedLibrary(const QString &folder)
{
    QJsonArray tracks;
    for (const LibraryTrack &track : libraryTracks) {
        const QString path = folder + QLatin1Char('/') + track.fileName;
        if (!TestSupport::copyFixture(track.fixture, path))
            return false;
        tracks.append(QJsonObject{{QStringLiteral("path"), path},
                                  {QStringLiteral("artist"), track.artist},
                                  {QStringLiteral("title"), track.title},
                                  {QStringLiteral("album"), QStringLiteral("Fixture Album")},
                                  {QStringLiteral("duration"), QStringLiteral("0:01")}});
    }
    QFile file(folder + QStringLiteral("/playlist_cache.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("tracks"), tracks}}).toJson());
    return true;
}

void storeFavorite(QSettings &store, int index, const QString &url, const QString &artist,
                   const QString &title)
{
    const QString group = QStringLiteral("favorites/fav%1/").arg(index);
    store.setValue(group + QStringLiteral("url"), url);
    store.setValue(group + QStringLiteral("artist"), artist);
    store.setValue(group + QStringLiteral("title"), title);
}

QImage iconImage(const QIcon &icon, const QSize &size)
{
    return icon.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The single colour of the icon's fully opaque pixels; invalid when there is
// none or when they differ.
QColor tint(const QIcon &icon, const QSize &size)
{
    const QImage image = iconImage(icon, size);
    QColor found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) != 255)
                continue;
            if (!found.isValid())
                found = QColor(pixel);
            else if (found != QColor(pixel))
                return QColor();
        }
    }
    return found;
}

bool sameIcon(const QIcon &actual, const QString &path, const QColor &color, const QSize &size)
{
    return iconImage(actual, size) == iconImage(SvgIcon::coloredIcon(path, color, size), size);
}

} // namespace

class TestFavorites : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void assignPlayingTrack();
    void assignReplacesSlot();
    void assignWithoutSourceIsSkippedAtLoad();
    void unsetButtonDoesNothingUnarmed();
    void rightClickClearsSlot();
    void rightClickOnUnsetButtonDoesNothing();
    void favoriteInLibraryPlaysItsRow();
    void favoriteOutsideLibraryPlaysStoredAddress();
    void loadIgnoresSlot16AndEmptyUrls();
    void colorChangeAddsNoFavorites();

private:
    // A shown window on a fresh process's tables, with the cached library of
    // libraryTracks when @p withLibrary is set.
    void startWindow(bool withLibrary);
    QString libraryPath(int row) const;

    PlayerWindow *window = nullptr;
    QScopedPointer<QTemporaryDir> music;
};

void TestFavorites::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestFavorites::init()
{
    TestSupport::clearPlayerSettings();
    music.reset(new QTemporaryDir);
    QVERIFY(music->isValid());
}

void TestFavorites::cleanup()
{
    delete window;
    window = nullptr;
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    music.reset();
}

void TestFavorites::startWindow(bool withLibrary)
{
    if (withLibrary) {
        QVERIFY(writeCachedLibrary(music->path()));
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("musicFolder"), music->path());
    }
    PlayerWindow::iconSize.clear();
    window = new PlayerWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    if (withLibrary)
        QCOMPARE(window->playlistWidget->count(), libraryTracks.size());
}

QString TestFavorites::libraryPath(int row) const
{
    return music->filePath(libraryTracks.at(row).fileName);
}

void TestFavorites::assignPlayingTrack()
{
    startWindow(true);
    const int row = libraryTracks.size() - 1;
    window->playTrack(row);
    // Tags arrive from the backend some time after the start.
    QTRY_VERIFY_WITH_TIMEOUT(!window->player->metaData().stringValue(QMediaMetaData::Title).isEmpty(),
                             10000);
    const QMediaMetaData metaData = window->player->metaData();

    QTest::mouseClick(window->favorite, Qt::LeftButton);
    QVERIFY(window->favorite->isChecked());
    QVERIFY(window->selectingFavorite);
    FavoriteButton *button = window->buttons.at(2);
    QCOMPARE(button->text(), QStringLiteral("Fav 3"));
    QTest::mouseClick(button, Qt::LeftButton);

    QCOMPARE(button->text(), QString());
    QCOMPARE(tint(button->icon(), QSize(32, 32)), pink);
    QVERIFY(sameIcon(button->icon(), QStringLiteral(":/icons/heart.svg"), pink, QSize(32, 32)));
    QCOMPARE(button->iconSize(), QSize(32, 32));
    QCOMPARE(metaData.stringValue(QMediaMetaData::AlbumArtist), QStringLiteral("Ogg Album Artist"));
    QCOMPARE(metaData.stringValue(QMediaMetaData::Title), QStringLiteral("Ogg Tone"));
    QCOMPARE(button->toolTip(), QStringLiteral("Ogg Album Artist - Ogg Tone"));
    QVERIFY(!window->favorite->isChecked());
    QVERIFY(!window->selectingFavorite);
    // Assigning neither plays nor restarts anything.
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(libraryPath(row)));

    window->saveSettings();
    window->settings.sync();
    QSettings store(organisation, application);
    store.beginGroup(QStringLiteral("favorites"));
    QCOMPARE(store.childGroups(), QStringList{QStringLiteral("fav2")});
    QCOMPARE(store.value(QStringLiteral("fav2/url")).toString(),
             QUrl::fromLocalFile(libraryPath(row)).toString());
    QCOMPARE(store.value(QStringLiteral("fav2/artist")).toString(), QStringLiteral("Ogg Album Artist"));
    QCOMPARE(store.value(QStringLiteral("fav2/title")).toString(), QStringLiteral("Ogg Tone"));
    store.endGroup();
    window->player->stop();
}

void TestFavorites::assignReplacesSlot()
{
    {
        QSettings store(organisation, application);
        storeFavorite(store, 0, QStringLiteral("file:///gone/old.mp3"), QStringLiteral("Old Artist"),
                      QStringLiteral("Old Title"));
    }
    startWindow(true);
    window->playTrack(0);
    window->stop->click();

    window->favorite->click();
    window->buttons.at(0)->click();

    QCOMPARE(window->favorites.keys(), QList<int>{0});
    QCOMPARE(window->favorites.value(0).url, QUrl::fromLocalFile(libraryPath(0)));
    QVERIFY(window->buttons.at(0)->toolTip() != QStringLiteral("Old Artist - Old Title"));
}

void TestFavorites::assignWithoutSourceIsSkippedAtLoad()
{
    startWindow(false);
    QVERIFY(window->player->source().isEmpty());

    window->favorite->click();
    QTest::mouseClick(window->buttons.at(1), Qt::LeftButton);
    QVERIFY(window->favorites.contains(1));
    QVERIFY(window->favorites.value(1).url.isEmpty());
    QCOMPARE(window->buttons.at(1)->text(), QString());
    QCOMPARE(window->buttons.at(1)->toolTip(), QStringLiteral(" - "));

    window->saveSettings();
    window->settings.sync();
    {
        QSettings store(organisation, application);
        QVERIFY(store.contains(QStringLiteral("favorites/fav1/url")));
        QCOMPARE(store.value(QStringLiteral("favorites/fav1/url")).toString(), QString());
    }

    delete window;
    window = nullptr;
    PlayerWindow::iconSize.clear();
    window = new PlayerWindow;

    QVERIFY(window->favorites.isEmpty());
    QCOMPARE(window->buttons.at(1)->text(), QStringLiteral("Fav 2"));
    QCOMPARE(window->buttons.at(1)->toolTip(), QStringLiteral("No favorite set"));
    QVERIFY(window->buttons.at(1)->icon().isNull());
}

void TestFavorites::unsetButtonDoesNothingUnarmed()
{
    startWindow(true);
    const QString title = window->windowTitle();
    FavoriteButton *button = window->buttons.at(4);

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
        QCOMPARE(window->player->playbackState(), QMediaPlayer::StoppedState);
    }
}

void TestFavorites::rightClickClearsSlot()
{
    {
        QSettings store(organisation, application);
        storeFavorite(store, 4, QStringLiteral("file:///music/five.mp3"), QStringLiteral("Artist Five"),
                      QStringLiteral("Title Five"));
        storeFavorite(store, 9, QStringLiteral("file:///music/ten.mp3"), QStringLiteral("Artist Ten"),
                      QStringLiteral("Title Ten"));
    }
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
    window->settings.sync();
    {
        QSettings store(organisation, application);
        QVERIFY(store.contains(QStringLiteral("favorites/fav4/url")));
    }
    window->saveSettings();
    window->settings.sync();
    QSettings store(organisation, application);
    store.beginGroup(QStringLiteral("favorites"));
    QCOMPARE(store.childGroups(), QStringList{QStringLiteral("fav9")});
    QVERIFY(!store.contains(QStringLiteral("fav4/url")));
    store.endGroup();
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
    {
        QSettings store(organisation, application);
        storeFavorite(store, 3, QUrl::fromLocalFile(music->filePath(libraryTracks.at(1).fileName)).toString(),
                      QStringLiteral("Stored Artist"), QStringLiteral("Stored Title"));
    }
    startWindow(true);
    QCOMPARE(window->buttons.at(3)->toolTip(), QStringLiteral("Stored Artist - Stored Title"));

    QTest::mouseClick(window->buttons.at(3), Qt::LeftButton);

    QCOMPARE(window->currentIndex, 1);
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(libraryPath(1)));
    QCOMPARE(window->windowTitle(), window->playlistWidget->item(1)->text());
    QCOMPARE(window->windowTitle(), QStringLiteral("Wav Album Artist - Wav Tone (0:01)"));
    QVERIFY(!window->justStarted);
    QVERIFY(sameIcon(window->playPause->icon(), QStringLiteral(":/icons/pause.svg"), orange, QSize(48, 48)));
    window->player->stop();
}

void TestFavorites::favoriteOutsideLibraryPlaysStoredAddress()
{
    // The file exists, but in a folder the library does not cover.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString path = elsewhere.filePath(QStringLiteral("moved.mp3"));
    QVERIFY(TestSupport::copyFixture(QStringLiteral("tone.mp3"), path));
    const QUrl url = QUrl::fromLocalFile(path);
    {
        QSettings store(organisation, application);
        storeFavorite(store, 8, url.toString(), QStringLiteral("Stored Artist"),
                      QStringLiteral("Stored Title"));
    }
    startWindow(true);
    const int indexBefore = window->currentIndex;

    QTest::mouseClick(window->buttons.at(8), Qt::LeftButton);

    QCOMPARE(window->player->source(), url);
    QCOMPARE(window->windowTitle(), QStringLiteral("Stored Title"));
    QCOMPARE(window->currentIndex, indexBefore);
    QVERIFY(sameIcon(window->playPause->icon(), QStringLiteral(":/icons/pause.svg"), orange, QSize(48, 48)));
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PlayingState);
    // The source change saved at once, favourites included.
    QSettings store(organisation, application);
    QCOMPARE(store.value(QStringLiteral("favorites/fav8/url")).toString(), url.toString());
    window->player->stop();
}

void TestFavorites::loadIgnoresSlot16AndEmptyUrls()
{
    {
        QSettings store(organisation, application);
        storeFavorite(store, 16, QStringLiteral("file:///music/seventeen.mp3"), QStringLiteral("A"),
                      QStringLiteral("T"));
        storeFavorite(store, 3, QString(), QStringLiteral("No Url Artist"), QStringLiteral("No Url Title"));
        storeFavorite(store, 15, QStringLiteral("file:///music/sixteen.mp3"), QStringLiteral("Artist 16"),
                      QStringLiteral("Title 16"));
    }
    startWindow(false);

    QCOMPARE(window->favorites.keys(), QList<int>{15});
    QCOMPARE(window->favorites.value(15).url, QUrl(QStringLiteral("file:///music/sixteen.mp3")));
    QCOMPARE(window->buttons.at(15)->toolTip(), QStringLiteral("Artist 16 - Title 16"));
    QCOMPARE(window->buttons.at(3)->text(), QStringLiteral("Fav 4"));
    QCOMPARE(window->buttons.at(3)->toolTip(), QStringLiteral("No favorite set"));
    QVERIFY(window->buttons.at(3)->icon().isNull());

    // The start-up saves keep only what was loaded.
    window->settings.sync();
    QSettings store(organisation, application);
    store.beginGroup(QStringLiteral("favorites"));
    QCOMPARE(store.childGroups(), QStringList{QStringLiteral("fav15")});
    store.endGroup();
}

void TestFavorites::colorChangeAddsNoFavorites()
{
    {
        QSettings store(organisation, application);
        storeFavorite(store, 2, QStringLiteral("file:///music/three.mp3"), QStringLiteral("Artist Three"),
                      QStringLiteral("Title Three"));
    }
    startWindow(false);

    for (QAction *change : {window->setBlue, window->setGreen, window->iconSmall, window->setOrange}) {
        change->trigger();
        QCOMPARE(window->favorites.keys(), QList<int>{2});
        for (int i = 0; i < window->buttons.size(); ++i) {
            FavoriteButton *button = window->buttons.at(i);
            if (i == 2) {
                QCOMPARE(button->text(), QString());
                QVERIFY(sameIcon(button->icon(), QStringLiteral(":/icons/heart.svg"), pink,
                                 button->iconSize()));
            } else {
                QCOMPARE(button->text(), QStringLiteral("Fav %1").arg(i + 1));
                QVERIFY(button->icon().isNull());
            }
        }
    }
}

QTEST_MAIN(TestFavorites)
#include "test_favorites.moc"
