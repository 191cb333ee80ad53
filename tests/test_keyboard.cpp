// Keyboard control of the main window: the window shortcuts, the keys of the
// track list, and the list following the playing row once the user has left
// it alone for a minute.

#include "AboutDialog.h"
#include "PlayQueue.h"
#include "PlayerWindow.h"
#include "Playlist.h"
#include "QueueDialog.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

const QStringList fixtureNames{"tone.mp3", "tone.ogg", "tone.flac", "tone.wav", "untagged.mp3"};

// Press and release of @p key on @p widget, for every key code including the
// media keys, which have no text that QTest::keyClick could derive.
void typeKey(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(key), QString(), modifiers);
}

bool recent(const QDateTime &time)
{
    return time.isValid() && qAbs(time.secsTo(QDateTime::currentDateTime())) <= 2;
}

} // namespace

class TestKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void ctrlFOpensSearch();
    void ctrlRightAndLeftStepThroughRows();
    void shortcutsBelongToTheMainWindow();
    void returnPlaysCurrentRow_data();
    void returnPlaysCurrentRow();
    void returnWithoutCurrentItem_data();
    void returnWithoutCurrentItem();
    void qQueuesCurrentRow_data();
    void qQueuesCurrentRow();
    void upDownMoveRowAndSetClock();
    void playPauseKeys_data();
    void playPauseKeys();
    void pOnAnotherWidgetIsNotHandled();
    void mediaKeys();
    void consumedKeys_data();
    void consumedKeys();

    void noFollowBeforeTheClockIsSet();
    void followAfterAMinute_data();
    void followAfterAMinute();
    void followingScrollRestartsTheClock();
    void userSelectionDelaysTheFollow_data();
    void userSelectionDelaysTheFollow();
    void scrollBarResetsTheClock();
    void playTrackFollowsOnlyWhenDue_data();
    void playTrackFollowsOnlyWhenDue();

    // Runs the application's event loop; kept last so that nothing after it
    // depends on state that a finished loop leaves behind.
    void ctrlQOpensQueueAndDoesNotQuit();

private:
    // A shown, active window with @p rows tracks and the focus in the list.
    bool openWindow(int rows = 30);
    // One tick of the follow timer, without waiting a second for it.
    void tick() { QVERIFY(fire(w->followTimer)); }

    PlayerWindow *w = nullptr;
    QTemporaryDir *folder = nullptr;
};

void TestKeyboard::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestKeyboard::init()
{
    TestSupport::clearPlayerSettings();
    folder = new QTemporaryDir;
    QVERIFY(folder->isValid());
}

void TestKeyboard::cleanup()
{
    delete w;
    w = nullptr;
    delete folder;
    folder = nullptr;
}

bool TestKeyboard::openWindow(int rows)
{
    for (int i = 0; i < rows; ++i) {
        const QString name = fixtureNames.at(i % fixtureNames.size());
        const QString target =
            folder->filePath(QStringLiteral("music/track%1.%2").arg(i, 2, 10, QLatin1Char('0')).arg(QFileInfo(name).suffix()));
        if (!TestSupport::copyFixture(name, target))
            return false;
    }
    w = new PlayerWindow;
    // Small enough that 30 rows need the scroll bar.
    w->resize(900, 560);
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w))
        return false;
    w->setMusicFolder(folder->filePath(QStringLiteral("music")));
    if (!QTest::qWaitFor([this] { return w->statusLabel->text() == QLatin1String("Playlist refreshed."); },
                         20000))
        return false;
    w->playlistWidget->setFocus();
    return w->playlistWidget->count() == rows && w->mediaList->getList().size() == rows
        && w->playlistWidget->hasFocus();
}

// ---------------------------------------------------------------------------
// Window shortcuts

void TestKeyboard::ctrlFOpensSearch()
{
    QVERIFY(openWindow(5));
    QVERIFY(!w->searchDialog->isVisible());
    QTest::keyClick(w->playlistWidget, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(w->searchDialog->isVisible());
    // The key went to the shortcut, not into the list's keyboard search.
    QVERIFY(w->player->source().isEmpty());
}

void TestKeyboard::ctrlRightAndLeftStepThroughRows()
{
    QVERIFY(openWindow(5));
    w->playTrack(2);
    QSignalSpy forwardClicks(w->forward, &QPushButton::clicked);
    QSignalSpy previousClicks(w->previous, &QPushButton::clicked);

    QTest::keyClick(w->playlistWidget, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(forwardClicks.count(), 1);
    QCOMPARE(w->currentIndex, 3);
    QCOMPARE(w->windowTitle(), w->mediaList->getList().at(3));

    QTest::keyClick(w->playlistWidget, Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(w->playlistWidget, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(previousClicks.count(), 2);
    QCOMPARE(w->currentIndex, 1);

    // They act from any widget of the window, not only the list.
    QTest::keyClick(w->volume, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(forwardClicks.count(), 2);
    QCOMPARE(w->currentIndex, 2);
}

void TestKeyboard::shortcutsBelongToTheMainWindow()
{
    QVERIFY(openWindow(5));
    w->playTrack(2);
    w->showAboutAction->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(w->aboutDialog));
    w->aboutDialog->activateWindow();
    QTRY_VERIFY(w->aboutDialog->isActiveWindow());
    QCOMPARE(QApplication::activeWindow(), w->aboutDialog);

    // While a dialog has the focus the window's shortcuts stay quiet.
    QSignalSpy forwardClicks(w->forward, &QPushButton::clicked);
    QTest::keyClick(w->aboutDialog, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(w->aboutDialog, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(forwardClicks.count(), 0);
    QCOMPARE(w->currentIndex, 2);
    QVERIFY(!w->searchDialog->isVisible());
}

// ---------------------------------------------------------------------------
// Keys of the track list

void TestKeyboard::returnPlaysCurrentRow_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers();
    QTest::newRow("Enter") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier);
    QTest::newRow("Shift+Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Alt+Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::AltModifier);
}

void TestKeyboard::returnPlaysCurrentRow()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);

    QVERIFY(openWindow(5));
    w->playlistWidget->setCurrentRow(2);
    QSignalSpy activated(w->playlistWidget, &QListWidget::itemActivated);

    typeKey(w->playlistWidget, key, modifiers);
    QCOMPARE(w->currentIndex, 2);
    QCOMPARE(w->player->source(), w->mediaList->at(2));
    QCOMPARE(w->windowTitle(), w->mediaList->getList().at(2));
    QVERIFY(!w->justStarted);
    // Consumed: the list itself never saw the key.
    QCOMPARE(activated.count(), 0);
}

void TestKeyboard::returnWithoutCurrentItem_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Q") << int(Qt::Key_Q);
}

void TestKeyboard::returnWithoutCurrentItem()
{
    QFETCH(int, key);

    QVERIFY(openWindow(5));
    w->playlistWidget->setCurrentItem(nullptr);
    QVERIFY(!w->playlistWidget->currentItem());
    const QString title = w->windowTitle();
    const QString status = w->statusLabel->text();

    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QVERIFY(w->eventFilter(w->playlistWidget, &press));
    typeKey(w->playlistWidget, key);

    QVERIFY(w->player->source().isEmpty());
    QCOMPARE(w->windowTitle(), title);
    QVERIFY(w->queue->isEmpty());
    QCOMPARE(w->statusLabel->text(), status);
    QVERIFY(w->justStarted);
}

void TestKeyboard::qQueuesCurrentRow_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Q") << Qt::KeyboardModifiers();
    QTest::newRow("Shift+Q") << Qt::KeyboardModifiers(Qt::ShiftModifier);
}

void TestKeyboard::qQueuesCurrentRow()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);

    QVERIFY(openWindow(5));
    const QString rowText = w->playlistWidget->item(3)->text();
    w->playlistWidget->setCurrentRow(3);

    QTest::keyClick(w->playlistWidget, Qt::Key_Q, modifiers);
    QCOMPARE(w->queue->getList(), QStringList{w->mediaList->at(3).toLocalFile()});
    QVERIFY(w->queue->isActive());
    QCOMPARE(w->playlistWidget->item(3)->text(), QStringLiteral("[1] ") + rowText);
    QVERIFY(w->statusLabel->text().startsWith(QLatin1String("5 tracks, 1 in queue")));
    // Nothing started, and the list did not jump to a row starting with "Q".
    QVERIFY(w->player->source().isEmpty());
    QCOMPARE(w->playlistWidget->currentRow(), 3);

    // The key toggles: a second press takes the row out again.
    QTest::keyClick(w->playlistWidget, Qt::Key_Q, modifiers);
    QVERIFY(w->queue->isEmpty());
    QCOMPARE(w->playlistWidget->item(3)->text(), rowText);
}

void TestKeyboard::upDownMoveRowAndSetClock()
{
    QVERIFY(openWindow(5));
    w->playlistWidget->setCurrentRow(2);
    w->lastScrollTime = QDateTime();

    QTest::keyClick(w->playlistWidget, Qt::Key_Down);
    QCOMPARE(w->playlistWidget->currentRow(), 3);
    QVERIFY(recent(w->lastScrollTime));

    w->lastScrollTime = QDateTime::currentDateTime().addSecs(-100);
    QTest::keyClick(w->playlistWidget, Qt::Key_Up);
    QTest::keyClick(w->playlistWidget, Qt::Key_Up);
    QCOMPARE(w->playlistWidget->currentRow(), 1);
    QVERIFY(recent(w->lastScrollTime));
    // Moving about plays nothing.
    QVERIFY(w->player->source().isEmpty());
}

void TestKeyboard::playPauseKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("P") << int(Qt::Key_P);
    QTest::newRow("media play/pause") << int(Qt::Key_MediaTogglePlayPause);
}

void TestKeyboard::playPauseKeys()
{
    QFETCH(int, key);

    QVERIFY(openWindow(5));
    QSignalSpy clicks(w->playPause, &QPushButton::clicked);
    w->playlistWidget->setCurrentRow(4);

    // The first press after start-up plays the restored row (row 0 here).
    typeKey(w->playlistWidget, key);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(w->currentIndex, 0);
    QCOMPARE(w->player->playbackState(), QMediaPlayer::PlayingState);

    typeKey(w->playlistWidget, key);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(w->player->playbackState(), QMediaPlayer::PausedState);
    QVERIFY(showsIcon(w->playPause, "play", orange, QSize(48, 48)));

    typeKey(w->playlistWidget, key, Qt::ShiftModifier);
    QCOMPARE(clicks.count(), 3);
    QCOMPARE(w->player->playbackState(), QMediaPlayer::PlayingState);
    // The list keeps the row the user chose.
    QCOMPARE(w->playlistWidget->currentRow(), 4);
}

void TestKeyboard::pOnAnotherWidgetIsNotHandled()
{
    QVERIFY(openWindow(5));
    QSignalSpy clicks(w->playPause, &QPushButton::clicked);
    w->volume->setFocus();
    QTest::keyClick(w->volume, Qt::Key_P);
    QTest::keyClick(w->forward, Qt::Key_P);
    QCOMPARE(clicks.count(), 0);
    QVERIFY(w->player->source().isEmpty());
    QVERIFY(w->justStarted);
}

void TestKeyboard::mediaKeys()
{
    QVERIFY(openWindow(5));
    w->playTrack(1);
    QSignalSpy forwardClicks(w->forward, &QPushButton::clicked);
    QSignalSpy previousClicks(w->previous, &QPushButton::clicked);
    QSignalSpy stopClicks(w->stop, &QPushButton::clicked);

    typeKey(w->playlistWidget, Qt::Key_MediaNext);
    QCOMPARE(forwardClicks.count(), 1);
    QCOMPARE(w->currentIndex, 2);

    typeKey(w->playlistWidget, Qt::Key_MediaPrevious);
    typeKey(w->playlistWidget, Qt::Key_MediaPrevious);
    QCOMPARE(previousClicks.count(), 2);
    QCOMPARE(w->currentIndex, 0);

    typeKey(w->playlistWidget, Qt::Key_MediaStop);
    QCOMPARE(stopClicks.count(), 1);
    QCOMPARE(w->player->playbackState(), QMediaPlayer::StoppedState);
    QCOMPARE(w->currentIndex, 0);
}

void TestKeyboard::consumedKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("consumed");

    const Qt::KeyboardModifiers none;
    QTest::newRow("Return") << int(Qt::Key_Return) << none << true;
    QTest::newRow("Enter") << int(Qt::Key_Enter) << none << true;
    QTest::newRow("Q") << int(Qt::Key_Q) << none << true;
    QTest::newRow("Ctrl+Q in the list") << int(Qt::Key_Q) << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
    QTest::newRow("Up") << int(Qt::Key_Up) << none << false;
    QTest::newRow("Down") << int(Qt::Key_Down) << none << false;
    QTest::newRow("media next") << int(Qt::Key_MediaNext) << none << true;
    QTest::newRow("media previous") << int(Qt::Key_MediaPrevious) << none << true;
    QTest::newRow("media play/pause") << int(Qt::Key_MediaTogglePlayPause) << none << true;
    QTest::newRow("P") << int(Qt::Key_P) << none << true;
    QTest::newRow("media stop") << int(Qt::Key_MediaStop) << none << true;
    QTest::newRow("A") << int(Qt::Key_A) << none << false;
    QTest::newRow("Space") << int(Qt::Key_Space) << none << false;
    QTest::newRow("Home") << int(Qt::Key_Home) << none << false;
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << none << false;
    QTest::newRow("Right") << int(Qt::Key_Right) << none << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << none << false;
    QTest::newRow("media play") << int(Qt::Key_MediaPlay) << none << false;
}

void TestKeyboard::consumedKeys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, consumed);

    QVERIFY(openWindow(5));
    w->playlistWidget->setCurrentRow(1);

    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCOMPARE(w->eventFilter(w->playlistWidget, &press), consumed);

    // Only presses sent to the list are looked at.
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QVERIFY(!w->eventFilter(w->playlistWidget, &release));
    QKeyEvent elsewhere(QEvent::KeyPress, key, modifiers);
    QVERIFY(!w->eventFilter(w->volume, &elsewhere));
}

// ---------------------------------------------------------------------------
// The list follows the playing row

void TestKeyboard::noFollowBeforeTheClockIsSet()
{
    QVERIFY(openWindow());
    QVERIFY(w->lastScrollTime.isNull());
    w->playTrack(20);
    w->stop->click(); // the one-second track must not end and move on while we wait
    QVERIFY(w->playlistWidget->currentRow() != 20);
    w->playlistWidget->setCurrentRow(0);
    w->lastScrollTime = QDateTime();

    tick();
    QTest::qWait(1500); // a real tick as well
    QCOMPARE(w->playlistWidget->currentRow(), 0);
    QVERIFY(w->lastScrollTime.isNull());
}

void TestKeyboard::followAfterAMinute_data()
{
    QTest::addColumn<int>("secondsAgo");
    QTest::addColumn<bool>("follows");
    QTest::newRow("59 s") << 59 << false;
    QTest::newRow("60 s") << 60 << false;
    QTest::newRow("61 s") << 61 << true;
    QTest::newRow("an hour") << 3600 << true;
}

void TestKeyboard::followAfterAMinute()
{
    QFETCH(int, secondsAgo);
    QFETCH(bool, follows);

    QVERIFY(openWindow());
    w->playTrack(2);
    w->playlistWidget->setCurrentRow(4);
    w->lastScrollTime = QDateTime::currentDateTime().addSecs(-secondsAgo);

    tick();
    QCOMPARE(w->playlistWidget->currentRow(), follows ? 2 : 4);
}

void TestKeyboard::followingScrollRestartsTheClock()
{
    QVERIFY(openWindow());
    QScrollBar *bar = w->playlistWidget->verticalScrollBar();
    // The list lays its rows out from the event loop.
    QTRY_VERIFY2(bar->maximum() > 0, "the list must need scrolling");

    // Playing the last row while the list stands at the top.
    w->playTrack(29);
    w->playlistWidget->setCurrentRow(0);
    QCOMPARE(bar->value(), 0);
    const QDateTime longAgo = QDateTime::currentDateTime().addSecs(-61);
    w->lastScrollTime = longAgo;

    tick();
    QCOMPARE(w->playlistWidget->currentRow(), 29);
    QVERIFY(bar->value() > 0);
    QVERIFY(w->playlistWidget->viewport()->rect().intersects(
        w->playlistWidget->visualItemRect(w->playlistWidget->item(29))));
    // The follow scrolled, and that starts the minute again.
    QVERIFY(recent(w->lastScrollTime));
}

void TestKeyboard::userSelectionDelaysTheFollow_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click on a visible row") << "click";
    QTest::newRow("Home without scrolling") << "home";
    QTest::newRow("jump from the search dialog") << "search";
}

void TestKeyboard::userSelectionDelaysTheFollow()
{
    QFETCH(QString, how);

    QVERIFY(openWindow());
    w->playTrack(3);
    w->stop->click(); // the one-second track must not end and move on while we wait
    w->playlistWidget->setCurrentRow(3);
    QCOMPARE(w->playlistWidget->verticalScrollBar()->value(), 0);
    w->lastScrollTime = QDateTime::currentDateTime().addSecs(-120);

    // None of these scrolls the list; each is the user picking a row.
    const int picked = how == QLatin1String("home") ? 0 : 1;
    if (how == QLatin1String("click")) {
        const QRect rect = w->playlistWidget->visualItemRect(w->playlistWidget->item(picked));
        QVERIFY(w->playlistWidget->viewport()->rect().contains(rect));
        QTest::mouseClick(w->playlistWidget->viewport(), Qt::LeftButton, {}, rect.center());
    } else if (how == QLatin1String("home")) {
        QTest::keyClick(w->playlistWidget, Qt::Key_Home);
    } else {
        emit w->searchDialog->jumpRequested(picked);
    }
    QCOMPARE(w->playlistWidget->currentRow(), picked);
    QCOMPARE(w->playlistWidget->verticalScrollBar()->value(), 0);
    QVERIFY(recent(w->lastScrollTime));

    // Return then starts the row the user picked, not the playing one.
    tick();
    QCOMPARE(w->playlistWidget->currentRow(), picked);
    QTest::keyClick(w->playlistWidget, Qt::Key_Return);
    QCOMPARE(w->currentIndex, picked);
    w->stop->click();
}

void TestKeyboard::scrollBarResetsTheClock()
{
    QVERIFY(openWindow());
    QScrollBar *bar = w->playlistWidget->verticalScrollBar();
    // The list lays its rows out from the event loop.
    QTRY_VERIFY2(bar->maximum() > 0, "the list must need scrolling");
    w->playTrack(2);
    w->playlistWidget->setCurrentRow(4);
    w->lastScrollTime = QDateTime::currentDateTime().addSecs(-61);

    bar->setValue(bar->maximum());
    QVERIFY(recent(w->lastScrollTime));
    tick();
    QCOMPARE(w->playlistWidget->currentRow(), 4);

    // The wheel moves the bar too.
    w->lastScrollTime = QDateTime::currentDateTime().addSecs(-61);
    const QPoint center = w->playlistWidget->viewport()->rect().center();
    QWheelEvent wheel(center, w->playlistWidget->viewport()->mapToGlobal(center), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w->playlistWidget->viewport(), &wheel);
    QVERIFY(bar->value() < bar->maximum());
    QVERIFY(recent(w->lastScrollTime));
}

void TestKeyboard::playTrackFollowsOnlyWhenDue_data()
{
    QTest::addColumn<int>("secondsAgo");
    QTest::addColumn<bool>("follows");
    QTest::newRow("left alone for a minute") << 61 << true;
    QTest::newRow("moved just now") << 0 << false;
}

void TestKeyboard::playTrackFollowsOnlyWhenDue()
{
    QFETCH(int, secondsAgo);
    QFETCH(bool, follows);

    QVERIFY(openWindow());
    w->playTrack(24);
    w->playlistWidget->setCurrentRow(0);
    w->lastScrollTime = QDateTime::currentDateTime().addSecs(-secondsAgo);

    QTest::keyClick(w->playlistWidget, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(w->currentIndex, 25);
    QCOMPARE(w->playlistWidget->currentRow(), follows ? 25 : 0);
    if (follows) {
        QVERIFY(w->playlistWidget->viewport()->rect().intersects(
            w->playlistWidget->visualItemRect(w->playlistWidget->item(25))));
    }
}

// ---------------------------------------------------------------------------

void TestKeyboard::ctrlQOpensQueueAndDoesNotQuit()
{
    QVERIFY(openWindow(5));
    QVERIFY(!w->queueDialog->isVisible());
    w->playlistWidget->setCurrentRow(1);

    const int result = runApplication(
        [this] { QTest::keyClick(w->playlistWidget, Qt::Key_Q, Qt::ControlModifier); }, 500);
    QCOMPARE(result, 42);
    QVERIFY(w->queueDialog->isVisible());
    QVERIFY(w->isVisible());
    // Ctrl+Q reached the shortcut, not the list's Q key.
    QVERIFY(w->queue->isEmpty());
}

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
