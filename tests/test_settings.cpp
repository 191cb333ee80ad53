// The settings store: defaults on a first start, what a stored value turns
// into at start-up, and a full restart that brings back what the user set.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "TestSupport.h"

#include <QAction>
#include <QAudioOutput>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

namespace {

const QString organisation = QStringLiteral("Tavrenin International");
const QString application = QStringLiteral("Corvelia");

struct LibraryTrack {
    QString fixture;
    QString fileName;
    QString artist;
    QString title;
};

// Three fixture copies, in the order their cache lists them.
const QList<LibraryTrack> libraryTracks = {
    {QStringLiteral("tone.mp3"), QStringLiteral("a.mp3"), QStringLiteral("Mp3 Album Artist"),
     QStringLiteral("Mp3 Tone")},
    {QStringLiteral("tone.ogg"), QStringLiteral("b.ogg"), QStringLiteral("Ogg Album Artist"),
     QStringLiteral("Ogg Tone")},
    {QStringLiteral("tone.wav"), QStringLiteral("c.wav"), QStringLiteral("Wav Album Artist"),
     QStringLiteral("Wav Tone")},
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

QImage iconImage(const QIcon &icon, const QSize &size)
{
    return icon.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool hasVisiblePixel(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

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
    void bigSizeIsRestored();
    void unknownSizeActsAsNormal();
    void unknownColorIsKept();
    void unknownLoopModeIsKept();
    void closeWritesUnchangedState();
    void lastIndexSelectsCachedRow();

private:
    // A window built the way the program builds it, on a fresh process's tables.
    PlayerWindow *startWindow();
    // The store as another process would read it after the window's writes.
    static QSettings *openStore();

    PlayerWindow *window = nullptr;
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
    delete window;
    window = nullptr;
    // No scan of one case may finish during the next.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

PlayerWindow *TestSettings::startWindow()
{
    // The size table is filled at start-up; a new process starts without it.
    PlayerWindow::iconSize.clear();
    return new PlayerWindow;
}

QSettings *TestSettings::openStore()
{
    auto *store = new QSettings(organisation, application);
    store->sync();
    return store;
}

void TestSettings::emptyStoreGetsDefaults()
{
    window = startWindow();
    window->settings.sync();

    QScopedPointer<QSettings> store(openStore());
    QStringList keys = store->allKeys();
    keys.sort();
    QCOMPARE(keys, QStringList({QStringLiteral("iconSize"), QStringLiteral("lastIndex"),
                                QStringLiteral("loopMode"), QStringLiteral("mainColor"),
                                QStringLiteral("musicFolder"), QStringLiteral("shuffling"),
                                QStringLiteral("volume")}));
    QCOMPARE(store->value(QStringLiteral("mainColor")).toString(), QStringLiteral("orange"));
    QCOMPARE(store->value(QStringLiteral("iconSize")).toString(), QStringLiteral("normal"));
    QCOMPARE(store->value(QStringLiteral("shuffling")).toBool(), false);
    QCOMPARE(store->value(QStringLiteral("loopMode")).toInt(), 0);
    QCOMPARE(store->value(QStringLiteral("volume")).toFloat(), 50.0f);
    QCOMPARE(store->value(QStringLiteral("lastIndex")).toInt(), 0);
    QCOMPARE(store->value(QStringLiteral("musicFolder")).toString(), QString());
    store->beginGroup(QStringLiteral("favorites"));
    QVERIFY(store->allKeys().isEmpty());
    store->endGroup();

    QCOMPARE(window->volume->toolTip(), QStringLiteral("50%"));
    QCOMPARE(window->audioOutput->volume(), 0.5f);
    // The slider shows the volume that plays, not the 0 read before the load.
    QCOMPARE(window->volume->value(), 50);
    QVERIFY(window->favorites.isEmpty());
}

void TestSettings::storedVolume_data()
{
    QTest::addColumn<float>("stored");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<int>("slider");
    QTest::addColumn<float>("output");

    QTest::newRow("33.5") << 33.5f << QStringLiteral("33.5%") << 33 << 0.335f;
    QTest::newRow("100") << 100.0f << QStringLiteral("100%") << 100 << 1.0f;
    QTest::newRow("30") << 30.0f << QStringLiteral("30%") << 30 << 0.3f;
    QTest::newRow("0") << 0.0f << QStringLiteral("0%") << 0 << 0.0f;
}

void TestSettings::storedVolume()
{
    QFETCH(float, stored);
    QFETCH(QString, toolTip);
    QFETCH(int, slider);
    QFETCH(float, output);

    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("volume"), stored);
    }
    window = startWindow();

    QCOMPARE(window->volume->toolTip(), toolTip);
    QCOMPARE(window->volume->value(), slider);
    QVERIFY2(qAbs(window->audioOutput->volume() - output) < 1e-6f,
             qPrintable(QString::number(window->audioOutput->volume())));
    QCOMPARE(window->vol, stored);

    window->settings.sync();
    QScopedPointer<QSettings> store(openStore());
    QCOMPARE(store->value(QStringLiteral("volume")).toFloat(), stored);
}

void TestSettings::storedFavoritesSurviveTheStart()
{
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("mainColor"), QStringLiteral("green"));
        store.setValue(QStringLiteral("volume"), 70.0f);
        store.setValue(QStringLiteral("favorites/fav0/url"), QStringLiteral("file:///music/one.mp3"));
        store.setValue(QStringLiteral("favorites/fav0/artist"), QStringLiteral("Artist One"));
        store.setValue(QStringLiteral("favorites/fav0/title"), QStringLiteral("Title One"));
        store.setValue(QStringLiteral("favorites/fav7/url"), QStringLiteral("file:///music/eight.ogg"));
        store.setValue(QStringLiteral("favorites/fav7/artist"), QStringLiteral("Artist Eight"));
        store.setValue(QStringLiteral("favorites/fav7/title"), QStringLiteral("Title Eight"));
    }
    window = startWindow();
    window->settings.sync();

    QScopedPointer<QSettings> store(openStore());
    store->beginGroup(QStringLiteral("favorites"));
    QStringList groups = store->childGroups();
    groups.sort();
    QCOMPARE(groups, QStringList({QStringLiteral("fav0"), QStringLiteral("fav7")}));
    QCOMPARE(store->value(QStringLiteral("fav0/url")).toString(), QStringLiteral("file:///music/one.mp3"));
    QCOMPARE(store->value(QStringLiteral("fav0/artist")).toString(), QStringLiteral("Artist One"));
    QCOMPARE(store->value(QStringLiteral("fav0/title")).toString(), QStringLiteral("Title One"));
    QCOMPARE(store->value(QStringLiteral("fav7/url")).toString(), QStringLiteral("file:///music/eight.ogg"));
    QCOMPARE(store->value(QStringLiteral("fav7/artist")).toString(), QStringLiteral("Artist Eight"));
    QCOMPARE(store->value(QStringLiteral("fav7/title")).toString(), QStringLiteral("Title Eight"));
    store->endGroup();

    QCOMPARE(window->buttons.at(0)->text(), QString());
    QCOMPARE(window->buttons.at(0)->toolTip(), QStringLiteral("Artist One - Title One"));
    QCOMPARE(window->buttons.at(7)->toolTip(), QStringLiteral("Artist Eight - Title Eight"));
    QCOMPARE(window->buttons.at(1)->text(), QStringLiteral("Fav 2"));
}

void TestSettings::restartRestoresEverything()
{
    QTemporaryDir music;
    QVERIFY(music.isValid());
    for (const LibraryTrack &track : libraryTracks)
        QVERIFY(TestSupport::copyFixture(track.fixture, music.filePath(track.fileName)));

    window = startWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

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
    QVERIFY(window->selectingFavorite);
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
    delete window;
    window = nullptr;
    QThreadPool::globalInstance()->waitForDone();

    window = startWindow();

    QCOMPARE(window->folderPath, music.path());
    // The cached library is shown at once.
    QCOMPARE(window->playlistWidget->count(), 3);
    QCOMPARE(window->mediaList->getList(), rows);
    QCOMPARE(window->shuffleEnabled, true);
    QCOMPARE(window->loopMode, PlayerWindow::Track);
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping current track"));
    QCOMPARE(window->vol, 70.0f);
    QCOMPARE(window->volume->value(), 70);
    QCOMPARE(window->volume->toolTip(), QStringLiteral("70%"));
    QCOMPARE(window->colorAsText, QStringLiteral("green"));
    QCOMPARE(window->mainColor, QColor(QStringLiteral("#33FF33")));
    QCOMPARE(window->sizeFactor, QStringLiteral("big"));
    QCOMPARE(window->playPause->iconSize(), QSize(96, 96));
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

void TestSettings::bigSizeIsRestored()
{
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("iconSize"), QStringLiteral("big"));
    }
    window = startWindow();

    QCOMPARE(window->sizeFactor, QStringLiteral("big"));
    QCOMPARE(window->gridButtonSize, QSize(112, 112));
    for (FavoriteButton *button : window->buttons)
        QCOMPARE(button->size(), QSize(112, 112));
    QCOMPARE(window->buttonGrid->contentsMargins(), QMargins(100, 0, 10, 0));
    QCOMPARE(window->playPause->iconSize(), QSize(96, 96));
    QCOMPARE(window->stop->iconSize(), QSize(32, 32));

    window->settings.sync();
    QScopedPointer<QSettings> store(openStore());
    QCOMPARE(store->value(QStringLiteral("iconSize")).toString(), QStringLiteral("big"));
}

void TestSettings::unknownSizeActsAsNormal()
{
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("iconSize"), QStringLiteral("huge"));
    }
    window = startWindow();

    QCOMPARE(window->sizeFactor, QStringLiteral("huge"));
    QCOMPARE(window->playPause->iconSize(), QSize(48, 48));
    QCOMPARE(window->playPause->icon().availableSizes(), QList<QSize>{QSize(48, 48)});
    QVERIFY(hasVisiblePixel(iconImage(window->playPause->icon(), QSize(48, 48))));
    QCOMPARE(window->previous->iconSize(), QSize(32, 32));
    QVERIFY(hasVisiblePixel(iconImage(window->previous->icon(), QSize(32, 32))));
    QCOMPARE(window->stop->iconSize(), QSize(16, 16));
    QVERIFY(hasVisiblePixel(iconImage(window->stop->icon(), QSize(16, 16))));
    QCOMPARE(window->buttons.first()->size(), QSize(56, 56));
    QCOMPARE(window->buttonGrid->contentsMargins(), QMargins(50, 0, 10, 0));
    // Menu icons are made from the same table.
    QVERIFY(hasVisiblePixel(iconImage(window->setFolderAction->icon(), QSize(16, 16))));

    window->settings.sync();
    QScopedPointer<QSettings> store(openStore());
    QCOMPARE(store->value(QStringLiteral("iconSize")).toString(), QStringLiteral("huge"));

    // The menu still switches to a real size afterwards.
    window->iconSmall->trigger();
    QCOMPARE(window->playPause->iconSize(), QSize(24, 24));
}

void TestSettings::unknownColorIsKept()
{
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("mainColor"), QStringLiteral("purple"));
    }
    window = startWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QCOMPARE(window->colorAsText, QStringLiteral("purple"));
    QVERIFY(!window->mainColor.isValid());
    // An invalid tint paints the drawing black: the controls stay visible.
    const QImage play = iconImage(window->playPause->icon(), QSize(48, 48));
    QVERIFY(hasVisiblePixel(play));
    for (int y = 0; y < play.height(); ++y)
        for (int x = 0; x < play.width(); ++x)
            if (qAlpha(play.pixel(x, y)) == 255)
                QCOMPARE(QColor(play.pixel(x, y)), QColor(Qt::black));

    window->settings.sync();
    {
        QScopedPointer<QSettings> store(openStore());
        QCOMPARE(store->value(QStringLiteral("mainColor")).toString(), QStringLiteral("purple"));
    }

    window->setBlue->trigger();
    QCOMPARE(window->colorAsText, QStringLiteral("blue"));
    window->settings.sync();
    QScopedPointer<QSettings> store(openStore());
    QCOMPARE(store->value(QStringLiteral("mainColor")).toString(), QStringLiteral("blue"));
}

void TestSettings::unknownLoopModeIsKept()
{
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("loopMode"), 7);
    }
    window = startWindow();

    QCOMPARE(static_cast<int>(window->loopMode), 7);
    QVERIFY(window->looping->icon().isNull());
    QCOMPARE(window->looping->toolTip(), QString());
    // A repaint for a colour change leaves it alone as well.
    window->setBlue->trigger();
    QVERIFY(window->looping->icon().isNull());

    window->settings.sync();
    QScopedPointer<QSettings> store(openStore());
    QCOMPARE(store->value(QStringLiteral("loopMode")).toInt(), 7);
}

void TestSettings::closeWritesUnchangedState()
{
    window = startWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->settings.sync();

    // Someone else empties the store while the window is open.
    TestSupport::clearPlayerSettings();
    {
        QScopedPointer<QSettings> store(openStore());
        QVERIFY(store->allKeys().isEmpty());
    }

    QVERIFY(window->close());
    window->settings.sync();

    QScopedPointer<QSettings> store(openStore());
    QStringList keys = store->allKeys();
    keys.sort();
    QCOMPARE(keys, QStringList({QStringLiteral("iconSize"), QStringLiteral("lastIndex"),
                                QStringLiteral("loopMode"), QStringLiteral("mainColor"),
                                QStringLiteral("musicFolder"), QStringLiteral("shuffling"),
                                QStringLiteral("volume")}));
    QCOMPARE(store->value(QStringLiteral("mainColor")).toString(), QStringLiteral("orange"));
    QCOMPARE(store->value(QStringLiteral("volume")).toFloat(), 50.0f);
}

void TestSettings::lastIndexSelectsCachedRow()
{
    QTemporaryDir music;
    QVERIFY(music.isValid());
    QVERIFY(writeCachedLibrary(music.path()));
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("musicFolder"), music.path());
        store.setValue(QStringLiteral("lastIndex"), 2);
    }
    const QDateTime before = QDateTime::currentDateTime();
    window = startWindow();

    QCOMPARE(window->playlistWidget->count(), 3);
    QCOMPARE(window->currentIndex, 2);
    QCOMPARE(window->playlistWidget->currentRow(), 2);
    QCOMPARE(window->playlistWidget->currentItem()->text(),
             QStringLiteral("Wav Album Artist - Wav Tone (0:01)"));
    // The follow clock starts now, so the list does not jump away at once.
    QVERIFY(window->lastScrollTime.isValid());
    QVERIFY(window->lastScrollTime >= before.addSecs(-1));
    QVERIFY(!window->followDue());
}

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
