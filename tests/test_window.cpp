// The window as a whole: the settings store, colours and sizes, the library
// refresh, the menus, and one user session on a real folder with a restart.

#include "AboutDialog.h"
#include "ProgressBar.h"
#include "QueueDialog.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QMediaMetaData>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QtTest>

using namespace TestSupport;

namespace {

const QColor orange(0xFF, 0x66, 0x33), blue(0x33, 0x33, 0xFF), green(0x33, 0xFF, 0x33), gray(0x66, 0x66, 0x66),
    pink(0xFF, 0x99, 0x99), red(0xFF, 0x33, 0x33);

/** Whether @p button's drawing is in @p color: its well-covered pixels in that colour, with clear ones around. */
bool tinted(const QAbstractButton *button, const QColor &color)
{
    const QImage image = button->icon().pixmap(button->iconSize(), 1.0).toImage();
    bool clear = false, painted = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            clear |= pixel.alpha() == 0;
            if (pixel.alpha() < 128)
                continue; // edges: rounding in the premultiplied colour
            if (qAbs(pixel.red() - color.red()) + qAbs(pixel.green() - color.green()) + qAbs(pixel.blue() - color.blue()) > 6)
                return false;
            painted = true;
        }
    }
    return clear && painted;
}

/** Every text @p label shows between event-loop passes, until it shows @p last. */
QStringList watch(const QLabel *label, const QString &last)
{
    QStringList seen{label->text()};
    QDeadlineTimer deadline(60000);
    while (seen.constLast() != last && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        if (label->text() != seen.constLast())
            seen.append(label->text());
        QThread::msleep(1);
    }
    return seen;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<PlayerWindow> window;

    QVariant stored(const QString &key)
    {
        window->settings.sync();
        return store().value(key);
    }
    void openOn(const QString &folder)
    {
        store().setValue("musicFolder", folder);
        window = freshWindow();
    }

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { clearStore(); }
    void cleanup()
    {
        if (window)
            window->player->stop();
        window.reset();
        finishBackgroundWork();
    }

    void emptyStoreGetsDefaults()
    {
        window = freshWindow();
        const QMap<QString, QString> defaults{{"mainColor", "orange"}, {"iconSize", "normal"}, {"shuffling", "false"},
                                              {"loopMode", "0"}, {"volume", "50"}, {"lastIndex", "0"},
                                              {"musicFolder", ""}};
        for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
            QCOMPARE(stored(it.key()).toString(), it.value());
        QCOMPARE(window->volume->value(), 50);
        QVERIFY(showsIcon(window->playPause, "play", orange, QSize(48, 48)) && tinted(window->playPause, orange));
    }

    void damagedStoredValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QColor>("tint");
        QTest::addColumn<QString>("volumeTip");
        QTest::addColumn<int>("slider");
        QTest::newRow("unknown size acts as normal") << "iconSize" << QVariant("huge") << orange << "50%" << 50;
        QTest::newRow("unknown colour paints black") << "mainColor" << QVariant("purple") << QColor(Qt::black) << "50%" << 50;
        QTest::newRow("fractional volume") << "volume" << QVariant(33.5) << orange << "33.5%" << 33;
        QTest::newRow("volume as text") << "volume" << QVariant("70") << orange << "70%" << 70;
    }
    void damagedStoredValues()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QColor, tint);
        store().setValue(key, value);
        window = freshWindow();
        QCOMPARE(window->playPause->iconSize(), QSize(48, 48));
        QVERIFY(tinted(window->playPause, tint));
        QTEST(window->volume->toolTip(), "volumeTip");
        QTEST(window->volume->value(), "slider");
        QCOMPARE(stored(key).toString(), value.toString()); // kept as it was
    }

    void colourAndSizeRepaintAndAreStored()
    {
        store().setValue("favorites/fav5/url", "file:///music/six.mp3");
        window = freshWindow();
        struct Step { QAction *colour, *size; QColor color; QString colourName, sizeName; int small; };
        for (const Step &step : {Step{window->setBlue, window->iconBig, blue, "blue", "big", 32},
                                 Step{window->setGreen, window->iconSmall, green, "green", "small", 8},
                                 Step{window->setOrange, window->iconNormal, orange, "orange", "normal", 16}}) {
            step.colour->trigger();
            step.size->trigger();
            const QSize small(step.small, step.small), normal = small * 2, large = small * 3;
            QVERIFY(showsIcon(window->playPause, "play", step.color, large));
            QVERIFY(tinted(window->playPause, step.color));
            QVERIFY(showsIcon(window->previous, "rewind", step.color, normal));
            QVERIFY(showsIcon(window->forward, "fast-forward", step.color, normal));
            QVERIFY(showsIcon(window->stop, "stop", step.color, small));
            QVERIFY(showsIcon(window->mute, "volume-1", step.color, small));
            QVERIFY(showsIcon(window->shuffle, "shuffle", gray, normal) && tinted(window->shuffle, gray));
            QVERIFY(showsIcon(window->favorite, "heart-plus", pink, small));
            QVERIFY(showsIcon(window->buttons.at(5), "heart", pink, normal));
            QCOMPARE(window->buttons.at(0)->size(), small * 7 / 2);
            QVERIFY(showsIcon(window->queueDialog->clearButton, "trash-2", red, normal));
            QVERIFY(showsIcon(window->queueDialog->jumpButton, "list-start", step.color, normal));
            QVERIFY(showsIcon(window->searchDialog->playButton, "play", step.color, normal));
            QCOMPARE(stored("mainColor").toString(), step.colourName);
            QCOMPARE(stored("iconSize").toString(), step.sizeName);
        }
    }

    void chosenFolderIsScannedInFull()
    {
        QTemporaryDir dir;
        copyFixture("tone.mp3", dir.filePath("Rock/tone.mp3"));
        copyFixture("tone.ogg", dir.filePath("Rock/Live/tone.ogg"));
        copyFixture("tone.flac", dir.filePath("tone.flac"));
        copyFixture("tone.mp3", dir.filePath("notes.txt"));
        // A cache left in a newly chosen folder is not consulted.
        writeCache(dir.filePath("playlist_cache.json"), {{dir.filePath("tone.flac"), "Stale", "Cached", "", "9:59"}});
        window = freshWindow();
        window->setMusicFolder(dir.path());
        QCOMPARE(window->playlistWidget->count(), 0);
        QCOMPARE(watch(window->statusLabel, "Playlist refreshed."),
                 (QStringList{"Refreshing playlist...", "3 tracks found...", "Playlist refreshed."}));
        QCOMPARE(rowTexts(window->playlistWidget), window->mediaList->getList());
        QCOMPARE(window->playlistWidget->count(), 3);
        QVERIFY(!window->mediaList->getList().contains("Stale - Cached (9:59)"));
        QCOMPARE(stored("musicFolder").toString(), dir.path());
        Playlist cached;
        QVERIFY(cached.loadFromCache(dir.filePath("playlist_cache.json")));
        QCOMPARE(cached.getList(), window->mediaList->getList());
    }

    void unusableCacheFallsBackToFullRefresh_data()
    {
        QTest::addColumn<QByteArray>("cache");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("garbage") << QByteArray("{ this is not json");
        QTest::newRow("array at the top") << QByteArray("[{\"path\": \"x\"}]");
    }
    void unusableCacheFallsBackToFullRefresh()
    {
        QFETCH(QByteArray, cache);
        QTemporaryDir dir;
        copyFixture("tone.mp3", dir.filePath("tone.mp3"));
        copyFixture("tone.ogg", dir.filePath("tone.ogg"));
        if (!cache.isEmpty())
            writeFile(dir.filePath("playlist_cache.json"), cache);
        openOn(dir.path());
        QCOMPARE(window->statusLabel->text(), QString("Refreshing playlist..."));
        QTRY_COMPARE_WITH_TIMEOUT(window->statusLabel->text(), QString("Playlist refreshed."), 60000);
        QCOMPARE(window->playlistWidget->count(), 2);
    }

    void noFolderDoesNothing()
    {
        window = freshWindow();
        window->playlistWidget->addItem("untouched");
        window->updateAction->trigger();
        window->refreshMusicFolder();
        finishBackgroundWork();
        QCOMPARE(rowTexts(window->playlistWidget), QStringList{"untouched"});
        QCOMPARE(window->statusLabel->text(), QString());
    }

    void batchedFill()
    {
        window = freshWindow();
        QStringList names;
        for (int i = 0; i < 250; ++i)
            names << QString::number(i);
        window->startFillPlaylist(names);
        QVERIFY(fire(&window->fillTimer));
        QCOMPARE(window->statusLabel->text(), QString("100 / 250 tracks loaded..."));
        // A new fill replaces the running one.
        window->startFillPlaylist(names.mid(100));
        QCOMPARE(window->playlistWidget->count(), 0);
        QVERIFY(fire(&window->fillTimer));
        QCOMPARE(window->statusLabel->text(), QString("100 / 150 tracks loaded..."));
        QVERIFY(!window->playlistWidget->updatesEnabled());
        QVERIFY(fire(&window->fillTimer));
        QCOMPARE(rowTexts(window->playlistWidget), names.mid(100));
        QCOMPARE(window->statusLabel->text(), QString("Playlist refreshed."));
        QVERIFY(window->playlistWidget->updatesEnabled() && !window->fillTimer.isActive());
    }

    void menusOpenTheirDialogs()
    {
        window = freshWindow();
        window->showAboutAction->trigger();
        window->openSearch->trigger();
        window->showQueueAction->trigger();
        QVERIFY(window->aboutDialog->isVisible() && window->searchDialog->isVisible() && window->queueDialog->isVisible());
    }

    void userSessionAndRestart()
    {
        QTemporaryDir music;
        for (const QString &file : {"Rock/tone.mp3", "Klassik Ålbum ♪/tone.flac", "Misc/tone.wav", "untagged.mp3"})
            copyFixture(QFileInfo(file).fileName(), music.filePath(file));
        window = freshWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->setMusicFolder(music.path());
        QTRY_COMPARE_WITH_TIMEOUT(window->statusLabel->text(), QString("Playlist refreshed."), 60000);
        const QStringList rows = window->mediaList->getList();
        QListWidget *list = window->playlistWidget;
        QCOMPARE(rowTexts(list), rows);
        const int flac = window->mediaList->indexOf(QUrl::fromLocalFile(music.filePath("Klassik Ålbum ♪/tone.flac")));
        const int wav = window->mediaList->indexOf(QUrl::fromLocalFile(music.filePath("Misc/tone.wav")));

        // Play the flac track by double-click and hold it while its tags arrive.
        const QPoint at = list->visualItemRect(list->item(flac)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(window->windowTitle(), rows.at(flac));
        window->playPause->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window->player->metaData().stringValue(QMediaMetaData::Title).isEmpty(), 20000);
        window->favorite->click();
        window->buttons.at(2)->click();
        QCOMPARE(window->buttons.at(2)->toolTip(), QString("Flåc Ärtist - Flac Tøne ♪"));
        window->stop->click();

        list->setCurrentRow(wav);
        QTest::keyClick(list, Qt::Key_Q);
        QCOMPARE(list->item(wav)->text(), "[1] " + rows.at(wav));
        window->setGreen->trigger();
        window->iconSmall->trigger();
        window->shuffle->click();
        window->looping->click();
        window->looping->click();
        window->volume->setValue(70);
        QVERIFY(window->close());
        window.reset();
        finishBackgroundWork();

        // While the player is closed a file arrives; the next start shows the cache and scans only that one.
        copyFixture("untagged.mp3", music.filePath("Neu Ñ/frisch.mp3"));
        window = freshWindow();
        list = window->playlistWidget;
        QCOMPARE(rowTexts(list), rows);
        QCOMPARE(list->currentRow(), flac);
        QCOMPARE(window->statusLabel->text(), QString("Checking for new tracks..."));
        QTRY_COMPARE_WITH_TIMEOUT(window->statusLabel->text(), QString("Playlist updated."), 60000);
        QCOMPARE(rowTexts(list), rows + QStringList{"frisch.mp3"});
        QVERIFY(showsIcon(window->playPause, "play", green, QSize(24, 24)));
        QVERIFY(showsIcon(window->shuffle, "shuffle", green, QSize(16, 16)));
        QVERIFY(showsIcon(window->looping, "repeat-1", green, QSize(16, 16)));
        QCOMPARE(window->volume->value(), 70);
        QCOMPARE(window->buttons.at(2)->toolTip(), QString("Flåc Ärtist - Flac Tøne ♪"));
        QVERIFY(showsIcon(window->buttons.at(2), "heart", pink, QSize(16, 16)));
        window->buttons.at(2)->click();
        QCOMPARE(window->player->source(), QUrl::fromLocalFile(music.filePath("Klassik Ålbum ♪/tone.flac")));
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
