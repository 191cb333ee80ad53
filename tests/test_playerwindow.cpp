// The main window as it opens on an empty settings store: its title, widget
// tree, favourite grid and menus, what closing it writes, and which menu entry
// ends the program.

#include "AboutDialog.h"
#include "PlayerWindow.h"
#include "ProgressBar.h"
#include "QueueDialog.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

using namespace TestSupport;

namespace {

// The entries of a menu as texts: "-" for a separator, "Title>" for a submenu.
QStringList entries(const QMenu *menu)
{
    QStringList texts;
    const QList<QAction *> actions = menu->actions();
    for (const QAction *action : actions) {
        if (action->isSeparator())
            texts << QStringLiteral("-");
        else if (action->menu())
            texts << action->text() + QLatin1Char('>');
        else
            texts << action->text();
    }
    return texts;
}

} // namespace

class TestPlayerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void opensWithDefaults();
    void favouriteGrid();
    void menuBarMenus();
    void menuEntries_data();
    void menuEntries();
    void mainLayoutStretch();
    void closingWritesSettings();
    void menuEntriesOpenDialogs();
    // Runs the application's event loop; kept last so that nothing after it
    // depends on state that a finished loop leaves behind.
    void onlyQuitEndsTheProgram();
};

void TestPlayerWindow::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestPlayerWindow::init()
{
    TestSupport::clearPlayerSettings();
}

void TestPlayerWindow::opensWithDefaults()
{
    PlayerWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvel Media Player"));
    QCOMPARE(w.timeLabel->text(), QStringLiteral("00:00 / 00:00"));
    QCOMPARE(w.timeLabel->font().family(), QStringLiteral("Arial"));
    QCOMPARE(w.timeLabel->font().pointSize(), 12);
    QCOMPARE(w.statusLabel->font().pointSize(), 8);
    // Before any media the position slider spans 0 … 100.
    QCOMPARE(w.slider->minimum(), 0);
    QCOMPARE(w.slider->maximum(), 100);
    QCOMPARE(w.slider->orientation(), Qt::Horizontal);
    QCOMPARE(w.volume->minimum(), 0);
    QCOMPARE(w.volume->maximum(), 100);
    QCOMPARE(w.currentIndex, 0);
    QVERIFY(w.favorite->isCheckable());
    QVERIFY(!w.favorite->isChecked());
    QCOMPARE(w.playlistWidget->count(), 0);
    QCOMPARE(w.playlistWidget->contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(w.followTimer->isActive());
    QCOMPARE(w.followTimer->interval(), 1000);
    QVERIFY(!w.searchDialog->isVisible());
    QVERIFY(!w.queueDialog->isVisible());
    QVERIFY(!w.aboutDialog->isVisible());
    // The transport buttons show icons only and never a tool tip.
    for (const QPushButton *button : {w.playPause, w.stop, w.previous, w.forward, w.favorite}) {
        QVERIFY(button->text().isEmpty());
        QVERIFY(button->toolTip().isEmpty());
    }
}

void TestPlayerWindow::favouriteGrid()
{
    PlayerWindow w;
    QCOMPARE(w.buttons.size(), 16);
    QCOMPARE(w.buttonGrid->count(), 16);
    int left = 0, top = 0, right = 0, bottom = 0;
    w.buttonGrid->getContentsMargins(&left, &top, &right, &bottom);
    QCOMPARE(QList<int>({left, top, right, bottom}), QList<int>({50, 0, 10, 0}));

    for (int k = 0; k < 16; ++k) {
        FavoriteButton *button = w.buttons.at(k);
        QVERIFY(qobject_cast<FavoriteButton *>(button));
        QCOMPARE(button->text(), QStringLiteral("Fav %1").arg(k + 1));
        QCOMPARE(button->toolTip(), QStringLiteral("No favorite set"));
        QCOMPARE(button->minimumSize(), QSize(56, 56));
        QCOMPARE(button->maximumSize(), QSize(56, 56));
        QCOMPARE(button->font().pointSize(), 10);

        // Element k sits at row k / 4, column k % 4: Fav 1 … Fav 4 on top.
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        w.buttonGrid->getItemPosition(w.buttonGrid->indexOf(button), &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(row, k / 4);
        QCOMPARE(column, k % 4);
    }

    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (const FavoriteButton *button : std::as_const(w.buttons))
        QCOMPARE(button->size(), QSize(56, 56));
}

void TestPlayerWindow::menuBarMenus()
{
    PlayerWindow w;
    QCOMPARE(w.QMainWindow::menuBar(), w.menuBar);
    QStringList titles;
    const QList<QAction *> actions = w.menuBar->actions();
    for (const QAction *action : actions)
        titles << action->text();
    QCOMPARE(titles, (QStringList{"Media", "Queue", "Style", "About"}));
    QCOMPARE(actions.at(0)->menu(), w.playlistMenu);
    QCOMPARE(actions.at(1)->menu(), w.queueMenu);
    QCOMPARE(actions.at(2)->menu(), w.stylesMenu);
    QCOMPARE(actions.at(3)->menu(), w.aboutMenu);

    // The Style menu holds only its two submenus, Color above Size.
    const QList<QAction *> styleEntries = w.stylesMenu->actions();
    QCOMPARE(styleEntries.size(), 2);
    QCOMPARE(styleEntries.at(0)->menu(), w.colorMenu);
    QCOMPARE(styleEntries.at(1)->menu(), w.sizeMenu);

    // The members that the other tests trigger are the entries the user sees.
    const QList<QAction *> members{w.openSearch, w.setFolderAction, w.updateAction, w.quitAction, w.showQueueAction,
                                   w.clearQueueAction, w.setOrange, w.setBlue, w.setGreen, w.iconSmall,
                                   w.iconNormal, w.iconBig, w.showAboutAction};
    QStringList texts;
    for (const QAction *member : members)
        texts << member->text();
    QCOMPARE(texts, (QStringList{"Search", "Set music folder...", "Update playlist", "Quit", "Show Queue",
                                 "Clear Queue", "Orange", "Blue", "Green", "Small", "Normal", "Big",
                                 "About Corvel Media Player"}));
}

void TestPlayerWindow::menuEntries_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Media") << "Media"
                           << QStringList{"Search", "-", "Set music folder...", "Update playlist", "-", "Quit"};
    QTest::newRow("Queue") << "Queue" << QStringList{"Show Queue", "Clear Queue"};
    QTest::newRow("Style") << "Style" << QStringList{"Color>", "Size>"};
    QTest::newRow("Color") << "Color" << QStringList{"Orange", "Blue", "Green"};
    QTest::newRow("Size") << "Size" << QStringList{"Small", "Normal", "Big"};
    QTest::newRow("About") << "About" << QStringList{"About Corvel Media Player"};
}

void TestPlayerWindow::menuEntries()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, expected);

    PlayerWindow w;
    const QMap<QString, QMenu *> menus{{"Media", w.playlistMenu}, {"Queue", w.queueMenu},
                                       {"Style", w.stylesMenu},   {"Color", w.colorMenu},
                                       {"Size", w.sizeMenu},      {"About", w.aboutMenu}};
    QMenu *shown = menus.value(menu);
    QVERIFY(shown);
    QCOMPARE(shown->title(), menu);
    QCOMPARE(entries(shown), expected);
    const QList<QAction *> actions = shown->actions();
    for (const QAction *action : actions)
        QVERIFY2(!action->isCheckable(), qPrintable(action->text()));
}

void TestPlayerWindow::mainLayoutStretch()
{
    PlayerWindow w;
    auto *mainLayout = qobject_cast<QHBoxLayout *>(w.centralWidget()->layout());
    QVERIFY(mainLayout);
    QCOMPARE(mainLayout->count(), 2);
    // The list side and the favourite grid share spare width 3 : 1.
    QCOMPARE(mainLayout->stretch(0), 3);
    QCOMPARE(mainLayout->stretch(1), 1);
    QCOMPARE(mainLayout->itemAt(1)->layout(), w.buttonGrid);

    auto *leftSide = qobject_cast<QVBoxLayout *>(mainLayout->itemAt(0)->layout());
    QVERIFY(leftSide);
    QCOMPARE(leftSide->count(), 6);
    QCOMPARE(leftSide->itemAt(0)->widget(), w.playlistWidget);
    QCOMPARE(leftSide->itemAt(3)->widget(), w.slider);
    QCOMPARE(leftSide->itemAt(4)->widget(), w.timeLabel);

    // Controls left to right: previous, shuffle, spacer, play/pause, stop, spacer, loop, next.
    QLayout *controls = leftSide->itemAt(2)->layout();
    QVERIFY(controls);
    QList<QWidget *> controlWidgets;
    for (int i = 0; i < controls->count(); ++i) {
        if (QWidget *widget = controls->itemAt(i)->widget())
            controlWidgets << widget;
    }
    QCOMPARE(controlWidgets, (QList<QWidget *>{w.previous, w.shuffle, w.playPause, w.stop, w.looping, w.forward}));

    QLayout *info = leftSide->itemAt(5)->layout();
    QVERIFY(info);
    QList<QWidget *> infoWidgets;
    for (int i = 0; i < info->count(); ++i) {
        if (QWidget *widget = info->itemAt(i)->widget())
            infoWidgets << widget;
    }
    QCOMPARE(infoWidgets, (QList<QWidget *>{w.statusLabel, w.volume, w.mute}));

    // Widening the window widens the list and leaves the grid buttons alone.
    w.resize(900, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int listWidth = w.playlistWidget->width();
    w.resize(1300, 600);
    QTRY_VERIFY(w.playlistWidget->width() > listWidth);
    QCOMPARE(w.buttons.first()->size(), QSize(56, 56));
    QVERIFY(w.playlistWidget->geometry().right() < w.buttons.first()->mapTo(&w, QPoint(0, 0)).x());
}

void TestPlayerWindow::closingWritesSettings()
{
    PlayerWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // Shuffle, loop and volume changes wait for the next save.
    w.shuffle->click();
    w.looping->click();
    w.volume->setValue(70);
    QCOMPARE(store().value("shuffling").toBool(), false);
    QCOMPARE(store().value("loopMode").toInt(), 0);
    QCOMPARE(store().value("volume").toFloat(), 50.0f);

    // Closing saves them (a close with nothing changed is TestSettings::closeWritesUnchangedState).
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(store().value("shuffling").toBool(), true);
    QCOMPARE(store().value("loopMode").toInt(), 1);
    QCOMPARE(store().value("volume").toFloat(), 70.0f);
}

void TestPlayerWindow::menuEntriesOpenDialogs()
{
    PlayerWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // None is modal: the main window stays usable beside them.
    w.showAboutAction->trigger();
    QVERIFY(w.aboutDialog->isVisible());
    QVERIFY(!w.aboutDialog->isModal());
    QCOMPARE(w.aboutDialog->parentWidget(), &w);
    w.openSearch->trigger();
    QVERIFY(w.searchDialog->isVisible());
    QVERIFY(!w.searchDialog->isModal());
    QVERIFY(!w.queueDialog->isVisible());
    w.showQueueAction->trigger();
    QVERIFY(w.queueDialog->isVisible());
}

void TestPlayerWindow::onlyQuitEndsTheProgram()
{
    PlayerWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The folder chooser is modal; answer it with Cancel as soon as it opens.
    int choosersCancelled = 0;
    QTimer cancelChooser;
    cancelChooser.setInterval(20);
    connect(&cancelChooser, &QTimer::timeout, this, [&choosersCancelled] {
        if (auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            chooser->reject();
            ++choosersCancelled;
        }
    });
    cancelChooser.start();

    // Every other entry of every menu, with the program's event loop running.
    QStringList triggered;
    const int afterOthers = runApplication(
        [&] {
            for (QMenu *menu : {w.playlistMenu, w.queueMenu, w.colorMenu, w.sizeMenu, w.aboutMenu}) {
                const QList<QAction *> actions = menu->actions();
                for (QAction *action : actions) {
                    if (action->isSeparator() || action->menu() || action == w.quitAction)
                        continue;
                    action->trigger();
                    triggered << action->text();
                }
            }
        },
        300);
    QCOMPARE(afterOthers, 42);
    QCOMPARE(triggered.size(), 12);
    QCOMPARE(choosersCancelled, 1);
    QVERIFY(w.isVisible());
    // The cancelled chooser left the folder as it was.
    QVERIFY(w.folderPath.isEmpty());
    // The Quit entry carries no shortcut that could fire by accident (Ctrl+Q is the queue's).
    QVERIFY(w.quitAction->shortcut().isEmpty());

    const int afterQuit = runApplication([&] { w.quitAction->trigger(); }, 5000);
    QCOMPARE(afterQuit, 0);
}

QTEST_MAIN(TestPlayerWindow)
#include "test_playerwindow.moc"
