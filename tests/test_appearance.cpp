// Colour themes and icon sizes: what the Color and Size menus repaint, which
// icons keep their fixed colours, and the menu icons made at start-up.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "QueueDialog.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QAction>
#include <QMenu>
#include <QGridLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

// How many of @p dialog's push buttons show exactly that drawing.
int buttonsShowing(const QWidget *dialog, const QString &name, const QColor &color, const QSize &size)
{
    int count = 0;
    for (const QPushButton *button : dialog->findChildren<QPushButton *>())
        count += showsIcon(button, name, color, size) ? 1 : 0;
    return count;
}

int buttonsWithIcon(const QWidget *dialog)
{
    int count = 0;
    for (const QPushButton *button : dialog->findChildren<QPushButton *>())
        count += button->icon().isNull() ? 0 : 1;
    return count;
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
    void blueRepaintsAllButFixedColours();
    void toggledControlsTakeTheTheme();
    void dialogsTakeTheTheme();
    void colorChangeWhilePlayingShowsPause();
    void menuIcons_data();
    void menuIcons();
    void menuIconsFollowStoredSize();

private:
    QIcon menuIcon(const QString &target) const;

    std::unique_ptr<PlayerWindow> window;
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
    window.reset();
    finishBackgroundWork();
}

QIcon TestAppearance::menuIcon(const QString &target) const
{
    const QHash<QString, QIcon> icons = {
        {"setFolderAction", window->setFolderAction->icon()},
        {"updateAction", window->updateAction->icon()},
        {"quitAction", window->quitAction->icon()},
        {"showQueueAction", window->showQueueAction->icon()},
        {"clearQueueAction", window->clearQueueAction->icon()},
        {"openSearch", window->openSearch->icon()},
        {"colorMenu", window->colorMenu->icon()},
        {"sizeMenu", window->sizeMenu->icon()},
        {"setOrange", window->setOrange->icon()},
        {"setBlue", window->setBlue->icon()},
        {"setGreen", window->setGreen->icon()},
    };
    return icons.value(target);
}

void TestAppearance::freshStartIsOrangeAndNormal()
{
    // The grid's sizes on a fresh start are TestPlayerWindow::favouriteGrid's.
    window = freshWindow();
    QCOMPARE(window->colorAsText, QStringLiteral("orange"));
    QCOMPARE(window->mainColor, orange);
    QCOMPARE(window->sizeFactor, QStringLiteral("normal"));

    QVERIFY(showsIcon(window->playPause, "play", orange, QSize(48, 48)));
    QCOMPARE(tint(window->playPause->icon(), QSize(48, 48)), orange);
    QVERIFY(showsIcon(window->previous, "rewind", orange, QSize(32, 32)));
    QVERIFY(showsIcon(window->forward, "fast-forward", orange, QSize(32, 32)));
    QVERIFY(showsIcon(window->stop, "stop", orange, QSize(16, 16)));
    QVERIFY(showsIcon(window->favorite, "heart-plus", pink, QSize(16, 16)));
    QVERIFY(showsIcon(window->shuffle, "shuffle", gray, QSize(32, 32)));
    QVERIFY(showsIcon(window->looping, "repeat", gray, QSize(32, 32)));
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping Off"));
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

    QTest::newRow("Small") << "Small" << "small" << QSize(8, 8) << QSize(16, 16) << QSize(24, 24) << QSize(28, 28)
                           << 25;
    QTest::newRow("Normal") << "Normal" << "normal" << QSize(16, 16) << QSize(32, 32) << QSize(48, 48)
                            << QSize(56, 56) << 50;
    QTest::newRow("Big") << "Big" << "big" << QSize(32, 32) << QSize(64, 64) << QSize(96, 96) << QSize(112, 112)
                         << 100;
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

    // Start from another size, so that every row is a change.
    store().setValue("iconSize", stored == "big" ? "small" : "big");
    storeFavorite(5, "file:///music/six.mp3", "Artist", "Title");
    window = freshWindow();
    const QList<QSize> menuSizes = window->setFolderAction->icon().availableSizes();

    // The entry the user picks in the Style > Size menu.
    QAction *entry = nullptr;
    for (QAction *candidate : window->sizeMenu->actions())
        if (candidate->text() == action)
            entry = candidate;
    QVERIFY(entry);
    entry->trigger();

    QCOMPARE(window->sizeFactor, stored);
    QVERIFY(showsIcon(window->playPause, "play", orange, large));
    for (QPushButton *button : {window->previous, window->forward, window->shuffle, window->looping})
        QCOMPARE(button->iconSize(), normal);
    for (QPushButton *button : {window->stop, window->mute, window->favorite})
        QCOMPARE(button->iconSize(), small);
    QVERIFY(showsIcon(window->buttons.at(5), "heart", pink, normal));
    for (FavoriteButton *button : window->buttons) {
        QCOMPARE(button->size(), grid);
        // Fonts do not scale with the size setting.
        QCOMPARE(button->font().pointSize(), 10);
    }
    QCOMPARE(window->buttonGrid->contentsMargins(), QMargins(margin, 0, 10, 0));
    QCOMPARE(buttonsShowing(window->queueDialog, "trash-2", red, normal), 1);
    QCOMPARE(buttonsShowing(window->searchDialog, "play", orange, normal), 1);

    // The menu icons keep the size they were made with at start-up.
    QCOMPARE(window->setFolderAction->icon().availableSizes(), menuSizes);
    QCOMPARE(window->colorMenu->icon().availableSizes(), menuSizes);

    window->settings.sync();
    QCOMPARE(store().value("iconSize").toString(), stored);
}

void TestAppearance::blueRepaintsAllButFixedColours()
{
    // Loud enough for a theme-coloured speaker, and one favourite set.
    store().setValue("volume", 80.0f);
    store().setValue("iconSize", "big");
    storeFavorite(0, "file:///music/one.mp3", "Artist", "Title");
    window = freshWindow();
    window->setBlue->trigger();

    QCOMPARE(window->colorAsText, QStringLiteral("blue"));
    QCOMPARE(window->mainColor, blue);
    QVERIFY(showsIcon(window->playPause, "play", blue, QSize(96, 96)));
    QCOMPARE(tint(window->playPause->icon(), QSize(96, 96)), blue);
    QCOMPARE(tint(window->stop->icon(), QSize(32, 32)), blue);
    QCOMPARE(tint(window->previous->icon(), QSize(64, 64)), blue);
    QCOMPARE(tint(window->forward->icon(), QSize(64, 64)), blue);
    QVERIFY(showsIcon(window->mute, "volume-2", blue, QSize(32, 32)));
    window->settings.sync();
    QCOMPARE(store().value("mainColor").toString(), QStringLiteral("blue"));

    // Shuffle and loop when off, the muted speaker, and the hearts keep their colours.
    QVERIFY(!window->shuffleEnabled);
    QCOMPARE(tint(window->shuffle->icon(), QSize(64, 64)), gray);
    QCOMPARE(tint(window->looping->icon(), QSize(64, 64)), gray);
    QVERIFY(showsIcon(window->buttons.at(0), "heart", pink, QSize(64, 64)));
    QCOMPARE(tint(window->buttons.at(0)->icon(), QSize(64, 64)), pink);
    QCOMPARE(tint(window->favorite->icon(), QSize(32, 32)), pink);
    window->volume->setValue(0);
    window->setGreen->trigger();
    QVERIFY(showsIcon(window->mute, "volume-x", gray, QSize(32, 32)));
    // Unset grid buttons stay plain labels.
    QCOMPARE(window->buttons.at(1)->text(), QStringLiteral("Fav 2"));
    QVERIFY(window->buttons.at(1)->icon().isNull());
}

void TestAppearance::toggledControlsTakeTheTheme()
{
    window = freshWindow();
    window->shuffle->click();
    window->looping->click();
    QCOMPARE(window->loopMode, PlayerWindow::List);
    window->setGreen->trigger();

    QVERIFY(showsIcon(window->shuffle, "shuffle", green, QSize(32, 32)));
    QVERIFY(showsIcon(window->looping, "repeat", green, QSize(32, 32)));
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping Playlist"));

    window->looping->click();
    QCOMPARE(window->loopMode, PlayerWindow::Track);
    window->setBlue->trigger();
    QVERIFY(showsIcon(window->looping, "repeat-1", blue, QSize(32, 32)));
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping current track"));
}

void TestAppearance::dialogsTakeTheTheme()
{
    window = freshWindow();
    const QSize size(32, 32);
    QueueDialog *queue = window->queueDialog;
    SearchDialog *search = window->searchDialog;
    QCOMPARE(buttonsWithIcon(queue), 5);
    QCOMPARE(buttonsWithIcon(search), 3);
    QCOMPARE(buttonsShowing(search, "play", orange, size), 1);

    // Every drawing in the theme colour, but the trash stays red.
    for (QAction *change : {window->setBlue, window->setGreen}) {
        change->trigger();
        const QColor theme = window->mainColor;
        for (const char *name : {"arrow-up", "arrow-down", "x", "list-start"})
            QCOMPARE(buttonsShowing(queue, name, theme, size), 1);
        QCOMPARE(buttonsShowing(queue, "trash-2", red, size), 1);
        QCOMPARE(buttonsShowing(queue, "trash-2", theme, size), 0);
        for (const char *name : {"play", "arrow-right", "list-plus"})
            QCOMPARE(buttonsShowing(search, name, theme, size), 1);
        QCOMPARE(buttonsWithIcon(queue), 5);
        QCOMPARE(buttonsWithIcon(search), 3);
    }
}

void TestAppearance::colorChangeWhilePlayingShowsPause()
{
    QTemporaryDir music;
    QVERIFY(music.isValid());
    const QStringList library = writeFixtureLibrary(music.path());
    storeMusicFolder(music.path());
    window = freshWindow();
    QCOMPARE(window->playlistWidget->count(), 3);

    window->playPause->click();
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(library.at(0)));
    QVERIFY(showsIcon(window->playPause, "pause", orange, QSize(48, 48)));

    // The repaint shows what the player does: pressing the button pauses.
    window->setGreen->trigger();
    QVERIFY(showsIcon(window->playPause, "pause", green, QSize(48, 48)));
    window->iconSmall->trigger();
    QVERIFY(showsIcon(window->playPause, "pause", green, QSize(24, 24)));
    window->player->stop();
    window->setBlue->trigger();
    QVERIFY(showsIcon(window->playPause, "play", blue, QSize(24, 24)));
}

void TestAppearance::menuIcons_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QColor>("color");

    const QColor black(Qt::black);
    QTest::newRow("set folder") << "setFolderAction" << "folder" << black;
    QTest::newRow("update") << "updateAction" << "rotate-ccw" << black;
    QTest::newRow("quit") << "quitAction" << "log-out" << red;
    QTest::newRow("show queue") << "showQueueAction" << "list-music" << black;
    QTest::newRow("clear queue") << "clearQueueAction" << "trash-2" << red;
    QTest::newRow("search") << "openSearch" << "search" << black;
    QTest::newRow("color menu") << "colorMenu" << "palette" << black;
    QTest::newRow("size menu") << "sizeMenu" << "scaling" << black;
    QTest::newRow("orange") << "setOrange" << "filled-circle" << orange;
    QTest::newRow("blue") << "setBlue" << "filled-circle" << blue;
    QTest::newRow("green") << "setGreen" << "filled-circle" << green;
}

void TestAppearance::menuIcons()
{
    QFETCH(QString, target);
    QFETCH(QString, icon);
    QFETCH(QColor, color);

    window = freshWindow();
    QVERIFY(sameIcon(menuIcon(target), icon, color, QSize(16, 16)));

    // A theme change does not touch them.
    window->setBlue->trigger();
    window->iconBig->trigger();
    QVERIFY(sameIcon(menuIcon(target), icon, color, QSize(16, 16)));
}

void TestAppearance::menuIconsFollowStoredSize()
{
    store().setValue("iconSize", "big");
    store().setValue("mainColor", "green");
    window = freshWindow();

    QVERIFY(sameIcon(window->quitAction->icon(), "log-out", red, QSize(32, 32)));
    QCOMPARE(tint(window->quitAction->icon(), QSize(32, 32)), red);
    QCOMPARE(tint(window->setFolderAction->icon(), QSize(32, 32)), QColor(Qt::black));
    QCOMPARE(tint(window->setOrange->icon(), QSize(32, 32)), orange);
}

QTEST_MAIN(TestAppearance)
#include "test_appearance.moc"
