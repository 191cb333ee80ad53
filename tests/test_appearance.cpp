// Colour themes and icon sizes: what the Color and Size menus repaint, which
// icons keep their fixed colours, and the menu icons made at start-up.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "QueueDialog.h"
#include "SearchDialog.h"
#include "SvgIcon.h"
#include "TestSupport.h"

#include <QAction>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

namespace {

const QString organisation = QStringLiteral("Tavrenin International");
const QString application = QStringLiteral("Corvelia");

const QColor orange(QStringLiteral("#FF6633"));
const QColor green(QStringLiteral("#33FF33"));
const QColor red(QStringLiteral("#FF3333"));
const QColor pink(QStringLiteral("#FF9999"));
const QColor gray(QStringLiteral("#666666"));
const QColor blue(QStringLiteral("#3333FF"));
const QColor black(QStringLiteral("#000000"));

QImage iconImage(const QIcon &icon, const QSize &size)
{
    return icon.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The single colour of the icon's fully opaque pixels; invalid when there is
// none or when they differ. Use sizes of 32 px and up: thinner renders may
// cover no pixel fully.
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

// The icon is exactly the drawing @p path in @p color at @p size.
bool sameIcon(const QIcon &actual, const QString &path, const QColor &color, const QSize &size)
{
    if (actual.availableSizes() != QList<QSize>{size})
        return false;
    return iconImage(actual, size) == iconImage(SvgIcon::coloredIcon(path, color, size), size);
}

// How many of @p dialog's push buttons show exactly that drawing.
int buttonsShowing(const QWidget *dialog, const QString &path, const QColor &color, const QSize &size)
{
    int count = 0;
    for (const QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->iconSize() == size && sameIcon(button->icon(), path, color, size))
            ++count;
    return count;
}

int buttonsWithIcon(const QWidget *dialog)
{
    int count = 0;
    for (const QPushButton *button : dialog->findChildren<QPushButton *>())
        if (!button->icon().isNull())
            ++count;
    return count;
}

QString icon(const char *name)
{
    return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name));
}

} // namespace

class TestAppearance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void freshStartIsOrangeAndNormal();
    void sizeMenu_data();
    void sizeMenu();
    void blueRepaintsControls();
    void blueKeepsFixedColours();
    void toggledControlsTakeTheTheme();
    void volumeIconByLevel_data();
    void volumeIconByLevel();
    void queueDialogTrashStaysRed();
    void searchDialogTakesTheme();
    void colorChangeWhilePlayingShowsPlay();
    void menuIcons_data();
    void menuIcons();
    void menuIconsFollowStoredSize();

private:
    void startWindow();
    QIcon menuIcon(const QString &target) const;

    PlayerWindow *window = nullptr;
};

void TestAppearance::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestAppearance::init()
{
    TestSupport::clearPlayerSettings();
}

void TestAppearance::cleanup()
{
    delete window;
    window = nullptr;
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestAppearance::startWindow()
{
    // A new process starts with an empty size table.
    PlayerWindow::iconSize.clear();
    window = new PlayerWindow;
}

QIcon TestAppearance::menuIcon(const QString &target) const
{
    const QHash<QString, QIcon> icons = {
        {QStringLiteral("setFolderAction"), window->setFolderAction->icon()},
        {QStringLiteral("updateAction"), window->updateAction->icon()},
        {QStringLiteral("quitAction"), window->quitAction->icon()},
        {QStringLiteral("showQueueAction"), window->showQueueAction->icon()},
        {QStringLiteral("clearQueueAction"), window->clearQueueAction->icon()},
        {QStringLiteral("openSearch"), window->openSearch->icon()},
        {QStringLiteral("colorMenu"), window->colorMenu->icon()},
        {QStringLiteral("sizeMenu"), window->sizeMenu->icon()},
        {QStringLiteral("setOrange"), window->setOrange->icon()},
        {QStringLiteral("setBlue"), window->setBlue->icon()},
        {QStringLiteral("setGreen"), window->setGreen->icon()},
    };
    return icons.value(target);
}

void TestAppearance::freshStartIsOrangeAndNormal()
{
    startWindow();

    QCOMPARE(window->colorAsText, QStringLiteral("orange"));
    QCOMPARE(window->mainColor, orange);
    QCOMPARE(window->sizeFactor, QStringLiteral("normal"));

    QCOMPARE(window->playPause->iconSize(), QSize(48, 48));
    QVERIFY(sameIcon(window->playPause->icon(), icon("play"), orange, QSize(48, 48)));
    QCOMPARE(tint(window->playPause->icon(), QSize(48, 48)), orange);
    QCOMPARE(window->previous->iconSize(), QSize(32, 32));
    QVERIFY(sameIcon(window->previous->icon(), icon("rewind"), orange, QSize(32, 32)));
    QCOMPARE(window->forward->iconSize(), QSize(32, 32));
    QVERIFY(sameIcon(window->forward->icon(), icon("fast-forward"), orange, QSize(32, 32)));
    QCOMPARE(window->stop->iconSize(), QSize(16, 16));
    QVERIFY(sameIcon(window->stop->icon(), icon("stop"), orange, QSize(16, 16)));
    QVERIFY(sameIcon(window->favorite->icon(), icon("heart-plus"), pink, QSize(16, 16)));
    QVERIFY(sameIcon(window->shuffle->icon(), icon("shuffle"), gray, QSize(32, 32)));
    QVERIFY(sameIcon(window->looping->icon(), icon("repeat"), gray, QSize(32, 32)));
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping Off"));

    for (FavoriteButton *button : window->buttons) {
        QCOMPARE(button->size(), QSize(56, 56));
        QCOMPARE(button->minimumSize(), button->maximumSize());
        QCOMPARE(button->font().pointSize(), 10);
    }
    QCOMPARE(window->buttonGrid->contentsMargins(), QMargins(50, 0, 10, 0));
}

void TestAppearance::sizeMenu_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QSize>("small");
    QTest::addColumn<QSize>("normal");
    QTest::addColumn<QSize>("large");
    QTest::addColumn<QSize>("grid");
    QTest::addColumn<int>("margin");

    QTest::newRow("Small") << QStringLiteral("Small") << QStringLiteral("small") << QSize(8, 8)
                           << QSize(16, 16) << QSize(24, 24) << QSize(28, 28) << 25;
    QTest::newRow("Normal") << QStringLiteral("Normal") << QStringLiteral("normal") << QSize(16, 16)
                            << QSize(32, 32) << QSize(48, 48) << QSize(56, 56) << 50;
    QTest::newRow("Big") << QStringLiteral("Big") << QStringLiteral("big") << QSize(32, 32)
                         << QSize(64, 64) << QSize(96, 96) << QSize(112, 112) << 100;
}

void TestAppearance::sizeMenu()
{
    QFETCH(QString, action);
    QFETCH(QString, stored);
    QFETCH(QSize, small);
    QFETCH(QSize, normal);
    QFETCH(QSize, large);
    QFETCH(QSize, grid);
    QFETCH(int, margin);

    {
        // Start from another size, so that every row is a change.
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("iconSize"), stored == QStringLiteral("big") ? QStringLiteral("small")
                                                                                 : QStringLiteral("big"));
        store.setValue(QStringLiteral("favorites/fav5/url"), QStringLiteral("file:///music/six.mp3"));
        store.setValue(QStringLiteral("favorites/fav5/artist"), QStringLiteral("Artist"));
        store.setValue(QStringLiteral("favorites/fav5/title"), QStringLiteral("Title"));
    }
    startWindow();
    const QList<QSize> menuSizes = window->setFolderAction->icon().availableSizes();

    // The entry the user picks in the Style > Size menu.
    QAction *entry = nullptr;
    for (QAction *candidate : window->sizeMenu->actions())
        if (candidate->text() == action)
            entry = candidate;
    QVERIFY(entry);
    entry->trigger();

    QCOMPARE(window->sizeFactor, stored);
    QCOMPARE(window->playPause->iconSize(), large);
    QVERIFY(sameIcon(window->playPause->icon(), icon("play"), orange, large));
    QCOMPARE(window->previous->iconSize(), normal);
    QCOMPARE(window->forward->iconSize(), normal);
    QCOMPARE(window->shuffle->iconSize(), normal);
    QCOMPARE(window->looping->iconSize(), normal);
    QCOMPARE(window->stop->iconSize(), small);
    QCOMPARE(window->mute->iconSize(), small);
    QCOMPARE(window->favorite->iconSize(), small);
    QCOMPARE(window->buttons.at(5)->iconSize(), normal);
    QVERIFY(sameIcon(window->buttons.at(5)->icon(), icon("heart"), pink, normal));
    for (FavoriteButton *button : window->buttons) {
        QCOMPARE(button->size(), grid);
        // Fonts do not scale with the size setting.
        QCOMPARE(button->font().pointSize(), 10);
    }
    QCOMPARE(window->buttonGrid->contentsMargins(), QMargins(margin, 0, 10, 0));
    QCOMPARE(buttonsShowing(window->queueDialog, icon("trash-2"), red, normal), 1);
    QCOMPARE(buttonsShowing(window->searchDialog, icon("play"), orange, normal), 1);

    // The menu icons keep the size they were made with at start-up.
    QCOMPARE(window->setFolderAction->icon().availableSizes(), menuSizes);
    QCOMPARE(window->colorMenu->icon().availableSizes(), menuSizes);

    window->settings.sync();
    QSettings store(organisation, application);
    QCOMPARE(store.value(QStringLiteral("iconSize")).toString(), stored);
}

void TestAppearance::blueRepaintsControls()
{
    {
        // Loud enough for a theme-coloured speaker.
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("volume"), 80.0f);
        store.setValue(QStringLiteral("iconSize"), QStringLiteral("big"));
    }
    startWindow();
    window->setBlue->trigger();

    QCOMPARE(window->colorAsText, QStringLiteral("blue"));
    QCOMPARE(window->mainColor, blue);
    QCOMPARE(tint(window->playPause->icon(), QSize(96, 96)), blue);
    QVERIFY(sameIcon(window->playPause->icon(), icon("play"), blue, QSize(96, 96)));
    QCOMPARE(tint(window->stop->icon(), QSize(32, 32)), blue);
    QCOMPARE(tint(window->previous->icon(), QSize(64, 64)), blue);
    QCOMPARE(tint(window->forward->icon(), QSize(64, 64)), blue);
    QVERIFY(sameIcon(window->mute->icon(), icon("volume-2"), blue, QSize(32, 32)));

    window->settings.sync();
    QSettings store(organisation, application);
    QCOMPARE(store.value(QStringLiteral("mainColor")).toString(), QStringLiteral("blue"));
}

void TestAppearance::blueKeepsFixedColours()
{
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("iconSize"), QStringLiteral("big"));
        store.setValue(QStringLiteral("favorites/fav0/url"), QStringLiteral("file:///music/one.mp3"));
        store.setValue(QStringLiteral("favorites/fav0/artist"), QStringLiteral("Artist"));
        store.setValue(QStringLiteral("favorites/fav0/title"), QStringLiteral("Title"));
        store.setValue(QStringLiteral("volume"), 0.0f);
    }
    startWindow();
    window->setBlue->trigger();

    QVERIFY(!window->shuffleEnabled);
    QCOMPARE(tint(window->shuffle->icon(), QSize(64, 64)), gray);
    QCOMPARE(tint(window->looping->icon(), QSize(64, 64)), gray);
    QVERIFY(sameIcon(window->mute->icon(), icon("volume-x"), gray, QSize(32, 32)));
    QCOMPARE(tint(window->buttons.at(0)->icon(), QSize(64, 64)), pink);
    QVERIFY(sameIcon(window->buttons.at(0)->icon(), icon("heart"), pink, QSize(64, 64)));
    QCOMPARE(tint(window->favorite->icon(), QSize(32, 32)), pink);
    // Unset grid buttons stay plain labels.
    QCOMPARE(window->buttons.at(1)->text(), QStringLiteral("Fav 2"));
    QVERIFY(window->buttons.at(1)->icon().isNull());
}

void TestAppearance::toggledControlsTakeTheTheme()
{
    startWindow();
    window->shuffle->click();
    window->looping->click();
    QCOMPARE(window->loopMode, PlayerWindow::List);
    window->setGreen->trigger();

    QVERIFY(sameIcon(window->shuffle->icon(), icon("shuffle"), green, QSize(32, 32)));
    QVERIFY(sameIcon(window->looping->icon(), icon("repeat"), green, QSize(32, 32)));
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping Playlist"));

    window->looping->click();
    QCOMPARE(window->loopMode, PlayerWindow::Track);
    window->setBlue->trigger();
    QVERIFY(sameIcon(window->looping->icon(), icon("repeat-1"), blue, QSize(32, 32)));
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping current track"));
}

void TestAppearance::volumeIconByLevel_data()
{
    QTest::addColumn<float>("level");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("themed");

    QTest::newRow("0") << 0.0f << icon("volume-x") << false;
    QTest::newRow("1") << 1.0f << icon("volume") << true;
    QTest::newRow("32") << 32.0f << icon("volume") << true;
    QTest::newRow("32.5") << 32.5f << icon("volume") << true;
    QTest::newRow("33") << 33.0f << icon("volume-1") << true;
    QTest::newRow("65") << 65.0f << icon("volume-1") << true;
    QTest::newRow("66") << 66.0f << icon("volume-2") << true;
    QTest::newRow("100") << 100.0f << icon("volume-2") << true;
}

void TestAppearance::volumeIconByLevel()
{
    QFETCH(float, level);
    QFETCH(QString, path);
    QFETCH(bool, themed);

    // As restored at start-up...
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("volume"), level);
    }
    startWindow();
    QVERIFY(sameIcon(window->mute->icon(), path, themed ? orange : gray, QSize(16, 16)));

    // ...and as repainted by a colour change after the slider moved there.
    window->volume->setValue(level >= 50 ? 10 : 90);
    window->volume->setValue(static_cast<int>(level));
    window->vol = level;
    window->setBlue->trigger();
    QVERIFY(sameIcon(window->mute->icon(), path, themed ? blue : gray, QSize(16, 16)));
}

void TestAppearance::queueDialogTrashStaysRed()
{
    startWindow();
    const QSize size(32, 32);
    QueueDialog *dialog = window->queueDialog;
    QCOMPARE(buttonsWithIcon(dialog), 5);
    for (QAction *change : {window->setBlue, window->setGreen}) {
        change->trigger();
        const QColor theme = window->mainColor;
        QCOMPARE(buttonsShowing(dialog, icon("arrow-up"), theme, size), 1);
        QCOMPARE(buttonsShowing(dialog, icon("arrow-down"), theme, size), 1);
        QCOMPARE(buttonsShowing(dialog, icon("x"), theme, size), 1);
        QCOMPARE(buttonsShowing(dialog, icon("list-start"), theme, size), 1);
        QCOMPARE(buttonsShowing(dialog, icon("trash-2"), red, size), 1);
        QCOMPARE(buttonsShowing(dialog, icon("trash-2"), theme, size), 0);
        QCOMPARE(buttonsWithIcon(dialog), 5);
    }
}

void TestAppearance::searchDialogTakesTheme()
{
    startWindow();
    const QSize size(32, 32);
    SearchDialog *dialog = window->searchDialog;
    QCOMPARE(buttonsShowing(dialog, icon("play"), orange, size), 1);

    window->setBlue->trigger();
    QCOMPARE(buttonsShowing(dialog, icon("play"), blue, size), 1);
    QCOMPARE(buttonsShowing(dialog, icon("arrow-right"), blue, size), 1);
    QCOMPARE(buttonsShowing(dialog, icon("list-plus"), blue, size), 1);
    QCOMPARE(buttonsWithIcon(dialog), 3);
}

void TestAppearance::colorChangeWhilePlayingShowsPlay()
{
    QTemporaryDir music;
    QVERIFY(music.isValid());
    const QString path = music.filePath(QStringLiteral("tone.ogg"));
    QVERIFY(TestSupport::copyFixture(QStringLiteral("tone.ogg"), path));
    const QJsonArray tracks{QJsonObject{{QStringLiteral("path"), path},
                                        {QStringLiteral("artist"), QStringLiteral("Ogg Album Artist")},
                                        {QStringLiteral("title"), QStringLiteral("Ogg Tone")},
                                        {QStringLiteral("album"), QStringLiteral("Fixture Album")},
                                        {QStringLiteral("duration"), QStringLiteral("0:01")}}};
    {
        QFile cache(music.filePath(QStringLiteral("playlist_cache.json")));
        QVERIFY(cache.open(QIODevice::WriteOnly));
        cache.write(QJsonDocument(QJsonObject{{QStringLiteral("tracks"), tracks}}).toJson());
    }
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("musicFolder"), music.path());
    }
    startWindow();
    QCOMPARE(window->playlistWidget->count(), 1);

    window->playPause->click();
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(path));
    QVERIFY(sameIcon(window->playPause->icon(), icon("pause"), orange, QSize(48, 48)));

    window->setGreen->trigger();
    QVERIFY(sameIcon(window->playPause->icon(), icon("play"), green, QSize(48, 48)));
    window->player->stop();
}

void TestAppearance::menuIcons_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("color");

    QTest::newRow("set folder") << QStringLiteral("setFolderAction") << icon("folder") << black;
    QTest::newRow("update") << QStringLiteral("updateAction") << icon("rotate-ccw") << black;
    QTest::newRow("quit") << QStringLiteral("quitAction") << icon("log-out") << red;
    QTest::newRow("show queue") << QStringLiteral("showQueueAction") << icon("list-music") << black;
    QTest::newRow("clear queue") << QStringLiteral("clearQueueAction") << icon("trash-2") << red;
    QTest::newRow("search") << QStringLiteral("openSearch") << icon("search") << black;
    QTest::newRow("color menu") << QStringLiteral("colorMenu") << icon("palette") << black;
    QTest::newRow("size menu") << QStringLiteral("sizeMenu") << icon("scaling") << black;
    QTest::newRow("orange") << QStringLiteral("setOrange") << icon("filled-circle") << orange;
    QTest::newRow("blue") << QStringLiteral("setBlue") << icon("filled-circle") << blue;
    QTest::newRow("green") << QStringLiteral("setGreen") << icon("filled-circle") << green;
}

void TestAppearance::menuIcons()
{
    QFETCH(QString, target);
    QFETCH(QString, path);
    QFETCH(QColor, color);

    startWindow();
    QVERIFY(sameIcon(menuIcon(target), path, color, QSize(16, 16)));

    // A theme change does not touch them.
    window->setBlue->trigger();
    window->iconBig->trigger();
    QVERIFY(sameIcon(menuIcon(target), path, color, QSize(16, 16)));
}

void TestAppearance::menuIconsFollowStoredSize()
{
    {
        QSettings store(organisation, application);
        store.setValue(QStringLiteral("iconSize"), QStringLiteral("big"));
        store.setValue(QStringLiteral("mainColor"), QStringLiteral("green"));
    }
    startWindow();

    QVERIFY(sameIcon(window->quitAction->icon(), icon("log-out"), red, QSize(32, 32)));
    QCOMPARE(tint(window->quitAction->icon(), QSize(32, 32)), red);
    QCOMPARE(tint(window->setFolderAction->icon(), QSize(32, 32)), black);
    QCOMPARE(tint(window->setOrange->icon(), QSize(32, 32)), orange);
}

QTEST_MAIN(TestAppearance)
#include "test_appearance.moc"
