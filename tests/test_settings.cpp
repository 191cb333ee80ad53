// The settings store: defaults on a first start, what a stored value turns
// into at start-up, and a full restart that brings back what the user set.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "TestSupport.h"

#include <QAction>
#include <QAudioOutput>
#include <QGridLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

// Every key the window writes besides the favourites.
const QStringList allKeys{"iconSize", "lastIndex", "lastPath", "loopMode", "mainColor", "musicFolder", "shuffling", "volume"};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyStoreGetsDefaults();
    void storedVolume_data();
    void storedVolume();
    void storedFavoritesSurviveTheStart();
    void restartRestoresEverything();
    void unknownSizeActsAsNormal();
    void unknownColorIsKept();
    void unknownLoopModeReadsAsOff();
    void closeWritesUnchangedState();
    void lastIndexSelectsCachedRow_data();
    void lastIndexSelectsCachedRow();

private:
    // The value the store holds for @p key once the window's writes are out.
    QVariant stored(const char *key)
    {
        window->settings.sync();
        return store().value(QLatin1String(key));
    }
    QStringList storedKeys()
    {
        window->settings.sync();
        QStringList keys = store().allKeys();
        keys.sort();
        return keys;
    }

    std::unique_ptr<PlayerWindow> window;
};

void TestSettings::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestSettings::init()
{
    TestSupport::clearPlayerSettings();
}

void TestSettings::cleanup()
{
    window.reset();
    finishBackgroundWork();
}

void TestSettings::emptyStoreGetsDefaults()
{
    window = freshWindow();

    QCOMPARE(storedKeys(), allKeys);
    QCOMPARE(stored("mainColor").toString(), QStringLiteral("orange"));
    QCOMPARE(stored("iconSize").toString(), QStringLiteral("normal"));
    QCOMPARE(stored("shuffling").toBool(), false);
    QCOMPARE(stored("loopMode").toInt(), 0);
    QCOMPARE(stored("volume").toFloat(), 50.0f);
    QCOMPARE(stored("lastIndex").toInt(), 0);
    QCOMPARE(stored("musicFolder").toString(), QString());
    QCOMPARE(window->volume->toolTip(), QStringLiteral("50%"));
    QVERIFY(window->favorites.isEmpty());
}

void TestSettings::storedVolume_data()
{
    QTest::addColumn<float>("volume");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<int>("slider");
    QTest::newRow("33.5") << 33.5f << QStringLiteral("33.5%") << 33;
    QTest::newRow("100") << 100.0f << QStringLiteral("100%") << 100;
    QTest::newRow("30") << 30.0f << QStringLiteral("30%") << 30;
    QTest::newRow("0") << 0.0f << QStringLiteral("0%") << 0;
}

void TestSettings::storedVolume()
{
    QFETCH(float, volume);
    QFETCH(QString, toolTip);
    QFETCH(int, slider);

    store().setValue("volume", volume);
    window = freshWindow();

    QCOMPARE(window->volume->toolTip(), toolTip);
    QCOMPARE(window->volume->value(), slider);
    QVERIFY2(qAbs(window->audioOutput->volume() - volume / 100) < 1e-6f,
             qPrintable(QString::number(window->audioOutput->volume())));
    QCOMPARE(window->vol, volume);
    QCOMPARE(stored("volume").toFloat(), volume);
}

void TestSettings::storedFavoritesSurviveTheStart()
{
    // The first save at start-up writes the favourites too, so they must be loaded before it.
    store().setValue("mainColor", "green");
    store().setValue("volume", 70.0f);
    storeFavorite(0, "file:///music/one.mp3", "Artist One", "Title One");
    storeFavorite(7, "file:///music/eight.ogg", "Artist Eight", "Title Eight");
    window = freshWindow();

    for (const auto &[slot, url, artist, title] :
         {std::tuple{0, "file:///music/one.mp3", "Artist One", "Title One"},
          std::tuple{7, "file:///music/eight.ogg", "Artist Eight", "Title Eight"}}) {
        const QString group = QStringLiteral("favorites/fav%1/").arg(slot);
        QCOMPARE(stored(qPrintable(group + "url")).toString(), QString(url));
        QCOMPARE(stored(qPrintable(group + "artist")).toString(), QString(artist));
        QCOMPARE(stored(qPrintable(group + "title")).toString(), QString(title));
        QCOMPARE(window->buttons.at(slot)->text(), QString());
        QCOMPARE(window->buttons.at(slot)->toolTip(), QStringLiteral("%1 - %2").arg(artist, title));
    }
    QCOMPARE(window->favorites.keys(), (QList<int>{0, 7}));
    QCOMPARE(window->buttons.at(1)->text(), QStringLiteral("Fav 2"));
}

void TestSettings::restartRestoresEverything()
{
    QTemporaryDir music;
    QVERIFY(music.isValid());
    writeFixtureLibrary(music.path());

    window = freshWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->setMusicFolder(music.path());
    QTRY_COMPARE_WITH_TIMEOUT(window->playlistWidget->count(), 3, 30000);
    const QStringList rows = window->mediaList->getList();

    // Last row: start the third track and stop it before it can end.
    window->playTrack(2);
    window->stop->click();
    const QUrl playedUrl = window->player->source();
    QCOMPARE(playedUrl, window->mediaList->at(2));

    // A favourite of the stopped track, in slot 6.
    window->favorite->click();
    window->buttons.at(5)->click();
    QVERIFY(window->favorites.contains(5));
    const QString favoriteToolTip = window->buttons.at(5)->toolTip();

    window->shuffle->click();
    window->looping->click();
    window->looping->click();
    QCOMPARE(window->loopMode, PlayerWindow::Track);
    window->volume->setValue(70);
    window->setGreen->trigger();
    window->iconBig->trigger();

    window->close();
    window.reset();
    finishBackgroundWork();
    window = freshWindow();

    QCOMPARE(window->folderPath, music.path());
    // The cached library is shown at once.
    QCOMPARE(window->mediaList->getList(), rows);
    QCOMPARE(rowTexts(window->playlistWidget), rows);
    QCOMPARE(window->shuffleEnabled, true);
    QCOMPARE(window->loopMode, PlayerWindow::Track);
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping current track"));
    QCOMPARE(window->vol, 70.0f);
    QCOMPARE(window->volume->value(), 70);
    QCOMPARE(window->volume->toolTip(), QStringLiteral("70%"));
    QCOMPARE(window->colorAsText, QStringLiteral("green"));
    QCOMPARE(window->mainColor, green);
    QCOMPARE(window->sizeFactor, QStringLiteral("big"));
    QCOMPARE(window->playPause->iconSize(), QSize(96, 96));
    QCOMPARE(window->buttons.first()->size(), QSize(112, 112));
    QCOMPARE(window->buttonGrid->contentsMargins(), QMargins(100, 0, 10, 0));
    QCOMPARE(window->currentIndex, 2);
    QCOMPARE(window->playlistWidget->currentRow(), 2);
    QCOMPARE(window->favorites.keys(), QList<int>{5});
    QCOMPARE(window->favorites.value(5).url, playedUrl);
    QCOMPARE(window->buttons.at(5)->text(), QString());
    QCOMPARE(window->buttons.at(5)->toolTip(), favoriteToolTip);
    QVERIFY(!window->buttons.at(5)->icon().isNull());

    // Play resumes the restored row.
    QVERIFY(window->justStarted);
    window->playPause->click();
    QCOMPARE(window->player->source(), playedUrl);
    QCOMPARE(window->windowTitle(), rows.at(2));
    window->player->stop();
}

void TestSettings::unknownSizeActsAsNormal()
{
    store().setValue("iconSize", "huge");
    window = freshWindow();

    // Never blank icons: the normal sizes, menu icons included.
    QCOMPARE(window->sizeFactor, QStringLiteral("huge"));
    for (const auto &[button, size] : {std::pair{window->playPause, 48}, {window->previous, 32}, {window->stop, 16}}) {
        QCOMPARE(button->iconSize(), QSize(size, size));
        QCOMPARE(button->icon().availableSizes(), QList<QSize>{QSize(size, size)});
        QVERIFY(visiblePixels(iconImage(button->icon(), QSize(size, size))) > 0);
    }
    QCOMPARE(window->buttons.first()->size(), QSize(56, 56));
    QCOMPARE(window->buttonGrid->contentsMargins(), QMargins(50, 0, 10, 0));
    QVERIFY(visiblePixels(iconImage(window->setFolderAction->icon(), QSize(16, 16))) > 0);
    QCOMPARE(stored("iconSize").toString(), QStringLiteral("huge"));

    // The menu still switches to a real size afterwards.
    window->iconSmall->trigger();
    QCOMPARE(window->playPause->iconSize(), QSize(24, 24));
}

void TestSettings::unknownColorIsKept()
{
    store().setValue("mainColor", "purple");
    window = freshWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    QCOMPARE(window->colorAsText, QStringLiteral("purple"));
    QVERIFY(!window->mainColor.isValid());
    // An invalid tint paints the drawing black: the controls stay visible.
    QVERIFY(visiblePixels(iconImage(window->playPause->icon(), QSize(48, 48))) > 0);
    QCOMPARE(tint(window->playPause->icon(), QSize(48, 48)), QColor(Qt::black));
    QCOMPARE(stored("mainColor").toString(), QStringLiteral("purple"));

    window->setBlue->trigger();
    QCOMPARE(window->colorAsText, QStringLiteral("blue"));
    QCOMPARE(stored("mainColor").toString(), QStringLiteral("blue"));
}

void TestSettings::unknownLoopModeReadsAsOff()
{
    store().setValue("loopMode", 7);
    window = freshWindow();

    QCOMPARE(window->loopMode, PlayerWindow::Off);
    QVERIFY(showsIcon(window->looping, "repeat", gray, QSize(32, 32)));
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping Off"));
    QCOMPARE(stored("loopMode").toInt(), 0);
    window->looping->click();
    QCOMPARE(window->loopMode, PlayerWindow::List);
}

void TestSettings::closeWritesUnchangedState()
{
    window = freshWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->settings.sync();

    // Someone else empties the store while the window is open.
    TestSupport::clearPlayerSettings();
    QVERIFY(store().allKeys().isEmpty());

    QVERIFY(window->close());
    QCOMPARE(storedKeys(), allKeys);
    QCOMPARE(stored("mainColor").toString(), QStringLiteral("orange"));
    QCOMPARE(stored("volume").toFloat(), 50.0f);
}

void TestSettings::lastIndexSelectsCachedRow_data()
{
    QTest::addColumn<bool>("withPath");
    QTest::addColumn<bool>("firstFileGone");
    QTest::addColumn<int>("row");
    QTest::newRow("row only, as an older store has it") << false << false << 2;
    // The cache load drops the vanished file, so the track moves up a row.
    QTest::newRow("earlier file vanished") << true << true << 1;
}

void TestSettings::lastIndexSelectsCachedRow()
{
    QFETCH(bool, withPath);
    QFETCH(bool, firstFileGone);
    QFETCH(int, row);

    QTemporaryDir music;
    QVERIFY(music.isValid());
    const QStringList paths = writeFixtureLibrary(music.path());
    storeMusicFolder(music.path());
    store().setValue("lastIndex", 2);
    if (withPath)
        store().setValue("lastPath", paths.at(2));
    if (firstFileGone)
        QVERIFY(QFile::remove(paths.at(0)));
    const QDateTime before = QDateTime::currentDateTime();
    window = freshWindow();

    QCOMPARE(window->playlistWidget->count(), 3 - int(firstFileGone));
    QCOMPARE(window->currentIndex, row);
    QCOMPARE(window->playlistWidget->currentRow(), row);
    QCOMPARE(window->playlistWidget->currentItem()->text(), QStringLiteral("Ogg Album Artist - Ogg Tone (0:01)"));
    QCOMPARE(stored("lastIndex").toInt(), row);
    QCOMPARE(stored("lastPath").toString(), paths.at(2));
    // The follow clock starts now, so the list does not jump away at once.
    QVERIFY(window->lastScrollTime.isValid());
    QVERIFY(window->lastScrollTime >= before.addSecs(-1));
    QVERIFY(!window->followDue());
}

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
