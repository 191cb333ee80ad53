// Player logic of the main window, driven through its buttons and the media
// player's signals: starting rows, the transport buttons, what follows the end
// of a track, the shuffle history, the title, the time label, the position
// slider and the volume.

#include "PlayQueue.h"
#include "PlayerWindow.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "TestSupport.h"

#include <QAudioOutput>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

// The five tagged fixtures: five distinct row texts.
const QStringList fiveFixtures{"tone.mp3", "tone.ogg", "tone.flac", "tone.wav", "untagged.mp3"};

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void playTrackStartsTheRow();
    void doubleClickPlaysTheRow();
    void endOfMediaRules_data();
    void endOfMediaRules();
    void otherStatusesAreIgnored();
    void oneRowLibrary_data();
    void oneRowLibrary();
    void nextAndPrevious_data();
    void nextAndPrevious();
    void shuffleHistoryWalksBack();
    void queueComesFirst_data();
    void queueComesFirst();
    void missingQueuedPathIsDroppedInTheSamePress_data();
    void missingQueuedPathIsDroppedInTheSamePress();
    void shuffleWithEmptyLibrary();
    void shuffleAndLoopToggles();
    void firstPressResumesRestoredRow();
    void firstPressWithEmptyList();
    void pauseResumeAndStop();
    void realTrackPlaysThroughToTheEnd();
    void unplayableMediaShowsAFailure_data();
    void unplayableMediaShowsAFailure();

    void formatTime_data();
    void formatTime();
    void timeLabelElapsedAndRemaining();
    void sliderClickSeeks();
    void volumeIcons_data();
    void volumeIcons();
    void muteRemembersVolume();
    void firstStartVolumeAgrees();

private:
    // Copies @p files into a fresh folder and scans it through the window, as
    // "Set music folder..." does; returns false when the rows never arrived.
    bool loadLibrary(PlayerWindow &w, const QStringList &files);
    void start(PlayerWindow &w, int row);
    bool startedRow(PlayerWindow &w, int row);
    bool nothingStarted(PlayerWindow &w, int row);
    // Bottom of the stack first.
    QList<int> historyOf(PlayerWindow &w) { return w.playHistory; }

    QTemporaryDir *folder = nullptr;
};

void TestPlayback::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestPlayback::cleanupTestCase()
{
    // The last test's folder: without this it leaks and stays on disk.
    delete folder;
    folder = nullptr;
}

void TestPlayback::init()
{
    TestSupport::clearPlayerSettings();
    delete folder;
    folder = new QTemporaryDir;
    QVERIFY(folder->isValid());
}

bool TestPlayback::loadLibrary(PlayerWindow &w, const QStringList &files)
{
    for (const QString &name : files) {
        const QString target = folder->filePath(QStringLiteral("music/") + name);
        if (name.startsWith(QLatin1String("silent")))
            writeFile(target, silentWav(200));
        else if (name.startsWith(QLatin1String("empty")))
            writeFile(target, {});
        else if (name.startsWith(QLatin1String("garbage")))
            writeFile(target, QByteArray("This is no audio at all, only text. ").repeated(200));
        else if (!copyFixture(QFileInfo(name).fileName(), target))
            return false;
    }
    w.setMusicFolder(folder->filePath(QStringLiteral("music")));
    // The fill ends with this message; the library and the list then agree.
    const int rows = files.size();
    return QTest::qWaitFor([&] { return w.statusLabel->text() == QLatin1String("Playlist refreshed."); }, 20000)
        && w.playlistWidget->count() == rows && w.mediaList->getList().size() == rows && w.mediaNames.size() == rows;
}

// Starts @p row and stops it at once, so that what a later press starts shows
// as a playing player again.
void TestPlayback::start(PlayerWindow &w, int row)
{
    w.playTrack(row);
    w.stop->click();
}

bool TestPlayback::startedRow(PlayerWindow &w, int row)
{
    const QStringList texts = w.mediaList->getList();
    bool ok = true;
    auto check = [&ok](bool condition, const char *what) {
        if (!condition) {
            qWarning("not started: %s", what);
            ok = false;
        }
    };
    check(w.currentIndex == row, "current row");
    check(w.player->source() == w.mediaList->at(row), "source");
    check(w.player->playbackState() == QMediaPlayer::PlayingState, "playing state");
    check(w.windowTitle() == texts.value(row), "title");
    check(showsIcon(w.playPause, "pause", w.mainColor, QSize(48, 48)), "pause icon");
    return ok;
}

bool TestPlayback::nothingStarted(PlayerWindow &w, int row)
{
    return w.currentIndex == row && w.player->source() == w.mediaList->at(row)
        && w.player->playbackState() == QMediaPlayer::StoppedState
        && showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48));
}

// ---------------------------------------------------------------------------
// Starting rows

void TestPlayback::playTrackStartsTheRow()
{
    PlayerWindow w;
    QVERIFY(loadLibrary(w, fiveFixtures));
    QVERIFY(w.justStarted);
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvel Media Player"));
    QCOMPARE(store().value("lastIndex").toInt(), 0);

    QSignalSpy titles(&w, &QWidget::windowTitleChanged);
    w.playTrack(3);
    QVERIFY(!w.justStarted);
    QVERIFY(startedRow(w, 3));
    // A row started by hand leaves the history alone.
    QVERIFY(w.playHistory.isEmpty());
    // First the source-changed title, then the row's own text.
    const QString fileName = QFileInfo(w.mediaList->at(3).toLocalFile()).fileName();
    QCOMPARE(titles.count(), 2);
    QCOMPARE(titles.at(0).at(0).toString(), QStringLiteral("Now Playing: ") + fileName);
    QCOMPARE(titles.at(1).at(0).toString(), w.mediaList->getList().at(3));
    // The source change saved the settings with the new row.
    QCOMPARE(store().value("lastIndex").toInt(), 3);

    // A row outside the library starts nothing.
    w.stop->click();
    for (int row : {-1, 5, 99}) {
        w.justStarted = true;
        w.playTrack(row);
        QVERIFY(!w.justStarted);
        QVERIFY(nothingStarted(w, 3));
    }

    // The source-changed title names the file only, no folders.
    emit w.player->sourceChanged(QUrl::fromLocalFile(QStringLiteral("/srv/music/Some Band/Song Name.flac")));
    QCOMPARE(w.windowTitle(), QStringLiteral("Now Playing: Song Name.flac"));
}

void TestPlayback::doubleClickPlaysTheRow()
{
    PlayerWindow w;
    w.resize(900, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(loadLibrary(w, fiveFixtures));
    QVERIFY(w.lastScrollTime.isNull());

    const QRect rect = w.playlistWidget->visualItemRect(w.playlistWidget->item(3));
    QVERIFY(rect.isValid());
    // A double click as the system delivers it: a click, then the second press.
    QWidget *viewport = w.playlistWidget->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, rect.center());
    QCOMPARE(w.currentIndex, 0);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, rect.center());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, rect.center());
    QVERIFY(startedRow(w, 3));
    QVERIFY(w.lastScrollTime.isValid());
    QVERIFY(w.lastScrollTime.secsTo(QDateTime::currentDateTime()) <= 2);
}

// ---------------------------------------------------------------------------
// End of a track

enum Outcome { NextRow, SameRow, FirstRow, RandomRow, Finished };

void TestPlayback::endOfMediaRules_data()
{
    QTest::addColumn<int>("loop");
    QTest::addColumn<bool>("shuffled");
    QTest::addColumn<bool>("lastRow");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("pushed");

    QTest::newRow("off, middle row") << 0 << false << false << int(NextRow) << true;
    QTest::newRow("off, last row") << 0 << false << true << int(Finished) << false;
    QTest::newRow("list, middle row") << 1 << false << false << int(NextRow) << true;
    QTest::newRow("list, last row") << 1 << false << true << int(FirstRow) << false;
    QTest::newRow("track, middle row") << 2 << false << false << int(SameRow) << false;
    QTest::newRow("track, last row") << 2 << false << true << int(SameRow) << false;
    QTest::newRow("shuffle, off, middle row") << 0 << true << false << int(RandomRow) << true;
    QTest::newRow("shuffle, off, last row") << 0 << true << true << int(RandomRow) << true;
    QTest::newRow("shuffle, list, middle row") << 1 << true << false << int(RandomRow) << true;
    QTest::newRow("shuffle, list, last row") << 1 << true << true << int(RandomRow) << true;
    QTest::newRow("shuffle, track, middle row") << 2 << true << false << int(SameRow) << false;
    QTest::newRow("shuffle, track, last row") << 2 << true << true << int(SameRow) << false;
}

void TestPlayback::endOfMediaRules()
{
    QFETCH(int, loop);
    QFETCH(bool, shuffled);
    QFETCH(bool, lastRow);
    QFETCH(int, outcome);
    QFETCH(bool, pushed);

    PlayerWindow w;
    QVERIFY(loadLibrary(w, fiveFixtures));
    for (int i = 0; i < loop; ++i)
        w.looping->click();
    if (shuffled)
        w.shuffle->click();
    QCOMPARE(int(w.loopMode), loop);
    QCOMPARE(w.shuffleEnabled, shuffled);

    const int from = lastRow ? 4 : 2;
    w.playHistory.push(0); // an older entry that no rule may touch
    start(w, from);
    const QString tipBefore = w.shuffle->toolTip();

    // One report of the end advances exactly once.
    emit w.player->mediaStatusChanged(QMediaPlayer::EndOfMedia);

    switch (outcome) {
    case NextRow:
        QVERIFY(startedRow(w, from + 1));
        QCOMPARE(w.shuffle->toolTip(), QStringLiteral("Shuffle: Off"));
        break;
    case SameRow:
        QVERIFY(startedRow(w, from));
        QCOMPARE(w.shuffle->toolTip(), tipBefore);
        break;
    case FirstRow:
        QVERIFY(startedRow(w, 0));
        QCOMPARE(w.shuffle->toolTip(), tipBefore);
        break;
    case RandomRow:
        QVERIFY(w.currentIndex != from);
        QVERIFY(w.currentIndex >= 0 && w.currentIndex < 5);
        QVERIFY(startedRow(w, w.currentIndex));
        QCOMPARE(w.shuffle->toolTip(), QStringLiteral("Shuffle: On"));
        break;
    case Finished:
        QVERIFY(nothingStarted(w, from));
        QCOMPARE(w.windowTitle(), QStringLiteral("Playing finished."));
        // The next button does not wrap either.
        w.forward->click();
        QVERIFY(nothingStarted(w, from));
        QCOMPARE(w.windowTitle(), QStringLiteral("Playing finished."));
        break;
    }

    QList<int> history{0};
    if (pushed)
        history << from;
    QCOMPARE(historyOf(w), history);
}

void TestPlayback::otherStatusesAreIgnored()
{
    PlayerWindow w;
    QVERIFY(loadLibrary(w, fiveFixtures));
    start(w, 1);
    for (auto status : {QMediaPlayer::NoMedia, QMediaPlayer::LoadingMedia, QMediaPlayer::LoadedMedia,
                        QMediaPlayer::StalledMedia, QMediaPlayer::BufferingMedia, QMediaPlayer::BufferedMedia,
                        QMediaPlayer::InvalidMedia}) {
        emit w.player->mediaStatusChanged(status);
        QVERIFY(nothingStarted(w, 1));
    }
    QVERIFY(w.playHistory.isEmpty());
}

void TestPlayback::oneRowLibrary_data()
{
    QTest::addColumn<int>("loop");
    QTest::addColumn<bool>("shuffled");
    QTest::addColumn<bool>("pressNext");
    QTest::addColumn<bool>("plays");
    QTest::addColumn<bool>("pushed");

    QTest::newRow("end, off") << 0 << false << false << false << false;
    QTest::newRow("end, list wraps to itself") << 1 << false << false << true << false;
    QTest::newRow("end, track") << 2 << false << false << true << false;
    QTest::newRow("end, shuffle") << 0 << true << false << true << true;
    QTest::newRow("next, shuffle replays") << 0 << true << true << true << true;
    QTest::newRow("next, no shuffle") << 1 << false << true << false << false;
}

void TestPlayback::oneRowLibrary()
{
    QFETCH(int, loop);
    QFETCH(bool, shuffled);
    QFETCH(bool, pressNext);
    QFETCH(bool, plays);
    QFETCH(bool, pushed);

    PlayerWindow w;
    QVERIFY(loadLibrary(w, {"tone.ogg"}));
    for (int i = 0; i < loop; ++i)
        w.looping->click();
    if (shuffled)
        w.shuffle->click();
    start(w, 0);

    if (pressNext)
        w.forward->click();
    else
        emit w.player->mediaStatusChanged(QMediaPlayer::EndOfMedia);

    if (plays)
        QVERIFY(startedRow(w, 0));
    else
        QVERIFY(nothingStarted(w, 0));
    QCOMPARE(historyOf(w), pushed ? QList<int>({0}) : QList<int>());
}

// ---------------------------------------------------------------------------
// Next and previous

void TestPlayback::nextAndPrevious_data()
{
    QTest::addColumn<bool>("shuffled");
    QTest::addColumn<int>("loop");
    QTest::addColumn<int>("from");
    QTest::addColumn<QList<int>>("history");
    QTest::addColumn<bool>("next");
    QTest::addColumn<int>("expected"); // -1: nothing starts; -2: a random other row
    QTest::addColumn<QList<int>>("historyAfter");

    using L = QList<int>;
    QTest::newRow("next, middle row") << false << 0 << 2 << L{} << true << 3 << L{2};
    QTest::newRow("next, last row, loop off") << false << 0 << 4 << L{1} << true << -1 << L{1};
    QTest::newRow("next, last row, loop list never wraps") << false << 1 << 4 << L{} << true << -1 << L{};
    QTest::newRow("next, shuffle") << true << 0 << 1 << L{3} << true << -2 << L{3, 1};
    QTest::newRow("previous, middle row") << false << 0 << 2 << L{4} << false << 1 << L{4};
    QTest::newRow("previous, row 0, history ignored") << false << 1 << 0 << L{3, 2} << false << -1 << L{3, 2};
    QTest::newRow("previous, shuffle, empty history") << true << 0 << 3 << L{} << false << -1 << L{};
    QTest::newRow("previous, shuffle, history") << true << 2 << 3 << L{0, 4} << false << 4 << L{0};
}

void TestPlayback::nextAndPrevious()
{
    QFETCH(bool, shuffled);
    QFETCH(int, loop);
    QFETCH(int, from);
    QFETCH(QList<int>, history);
    QFETCH(bool, next);
    QFETCH(int, expected);
    QFETCH(QList<int>, historyAfter);

    PlayerWindow w;
    QVERIFY(loadLibrary(w, fiveFixtures));
    for (int i = 0; i < loop; ++i)
        w.looping->click();
    if (shuffled)
        w.shuffle->click();
    start(w, from);
    for (int row : std::as_const(history))
        w.playHistory.push(row);

    // A real click, once: one press moves one row.
    QTest::mouseClick(next ? w.forward : w.previous, Qt::LeftButton);

    if (expected == -1) {
        QVERIFY(nothingStarted(w, from));
    } else if (expected == -2) {
        QVERIFY(w.currentIndex != from);
        QVERIFY(startedRow(w, w.currentIndex));
    } else {
        QVERIFY(startedRow(w, expected));
    }
    QCOMPARE(historyOf(w), historyAfter);

    if (next && expected != -1)
        QCOMPARE(w.shuffle->toolTip(), shuffled ? QStringLiteral("Shuffle: On") : QStringLiteral("Shuffle: Off"));
    if (!next)
        QVERIFY(w.shuffle->toolTip().isEmpty()); // previous never sets it
}

void TestPlayback::shuffleHistoryWalksBack()
{
    PlayerWindow w;
    QVERIFY(loadLibrary(w, fiveFixtures));
    w.shuffle->click();
    start(w, 4);

    w.forward->click();
    const int first = w.currentIndex;
    QVERIFY(first != 4);
    w.forward->click();
    const int second = w.currentIndex;
    QVERIFY(second != first);
    QCOMPARE(historyOf(w), QList<int>({4, first}));

    w.stop->click();
    w.previous->click();
    QVERIFY(startedRow(w, first));
    w.stop->click();
    w.previous->click();
    QVERIFY(startedRow(w, 4));
    QVERIFY(w.playHistory.isEmpty());
    w.stop->click();
    w.previous->click();
    QVERIFY(nothingStarted(w, 4));

    // Switching shuffle off keeps the history, and previous then walks rows.
    w.forward->click();
    w.shuffle->click();
    QCOMPARE(w.playHistory.size(), 1);
    const int row = w.currentIndex;
    w.stop->click();
    w.previous->click();
    if (row > 0)
        QVERIFY(startedRow(w, row - 1));
    else
        QVERIFY(nothingStarted(w, 0));
    QCOMPARE(w.playHistory.size(), 1);
}

// ---------------------------------------------------------------------------
// The play queue inside next and end of track

void TestPlayback::queueComesFirst_data()
{
    QTest::addColumn<bool>("endOfMedia");
    QTest::newRow("end of track, loop track") << true;
    QTest::newRow("next button") << false;
}

void TestPlayback::queueComesFirst()
{
    QFETCH(bool, endOfMedia);

    PlayerWindow w;
    QVERIFY(loadLibrary(w, fiveFixtures));
    w.looping->click();
    w.looping->click();
    QCOMPARE(w.loopMode, PlayerWindow::Track);
    start(w, 1);
    const QString queuedPath = w.mediaList->at(3).toLocalFile();
    w.addToQueue(queuedPath);
    QVERIFY(w.playlistWidget->item(3)->text().startsWith(QLatin1String("[1] ")));
    QVERIFY(w.statusLabel->text().contains(QLatin1String("1 in queue")));

    if (endOfMedia)
        emit w.player->mediaStatusChanged(QMediaPlayer::EndOfMedia);
    else
        w.forward->click();

    // The queued track outranks both the repeat and the next row.
    QVERIFY(startedRow(w, 3));
    QVERIFY(w.queue->isEmpty());
    QVERIFY(w.playHistory.isEmpty());
    QCOMPARE(w.playlistWidget->item(3)->text(), w.mediaList->getList().at(3));
    QCOMPARE(w.statusLabel->text(), QStringLiteral("5 tracks"));

    // With the queue empty, loop track repeats the queued track's row.
    w.stop->click();
    emit w.player->mediaStatusChanged(QMediaPlayer::EndOfMedia);
    QVERIFY(startedRow(w, 3));
}

void TestPlayback::missingQueuedPathIsDroppedInTheSamePress_data()
{
    QTest::addColumn<bool>("endOfMedia");
    QTest::newRow("end of track") << true;
    QTest::newRow("next button") << false;
}

void TestPlayback::missingQueuedPathIsDroppedInTheSamePress()
{
    QFETCH(bool, endOfMedia);

    PlayerWindow w;
    QVERIFY(loadLibrary(w, fiveFixtures));
    start(w, 1);
    w.addToQueue(folder->filePath(QStringLiteral("gone/elsewhere.mp3")));
    QVERIFY(w.queue->isActive());

    if (endOfMedia)
        emit w.player->mediaStatusChanged(QMediaPlayer::EndOfMedia);
    else
        w.forward->click();

    QVERIFY(w.queue->isEmpty());
    QVERIFY(startedRow(w, 2));
    QCOMPARE(historyOf(w), QList<int>({1}));
}

void TestPlayback::shuffleWithEmptyLibrary()
{
    PlayerWindow w;
    w.shuffle->click();
    const int row = w.currentIndex;

    w.forward->click();
    emit w.player->mediaStatusChanged(QMediaPlayer::EndOfMedia);

    // Only the history and the tool tip changed; nothing plays.
    QCOMPARE(historyOf(w), QList<int>({row, row}));
    QCOMPARE(w.shuffle->toolTip(), QStringLiteral("Shuffle: On"));
    QCOMPARE(w.currentIndex, row);
    QVERIFY(w.player->source().isEmpty());
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvel Media Player"));
    QVERIFY(showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48)));

    // Previous walks the history back without anything to play either.
    w.previous->click();
    QCOMPARE(w.playHistory.size(), 1);
    QVERIFY(w.player->source().isEmpty());
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvel Media Player"));
}

void TestPlayback::shuffleAndLoopToggles()
{
    PlayerWindow w;
    const QColor theme = w.mainColor;
    QCOMPARE(theme, orange);
    QVERIFY(showsIcon(w.shuffle, "shuffle", gray, QSize(32, 32)));
    QVERIFY(w.shuffle->toolTip().isEmpty());
    QCOMPARE(w.looping->toolTip(), QStringLiteral("Looping Off"));

    w.playHistory.push(2);
    w.shuffle->click();
    QVERIFY(w.shuffleEnabled);
    QVERIFY(showsIcon(w.shuffle, "shuffle", theme, QSize(32, 32)));
    QVERIFY(w.shuffle->toolTip().isEmpty());
    w.shuffle->click();
    QVERIFY(!w.shuffleEnabled);
    QVERIFY(showsIcon(w.shuffle, "shuffle", gray, QSize(32, 32)));
    QCOMPARE(historyOf(w), QList<int>({2}));

    // Off → List → Track → Off, one step per click.
    struct Step {
        PlayerWindow::LoopMode mode;
        const char *icon;
        QColor color;
        const char *tip;
    };
    const Step steps[] = {
        {PlayerWindow::List, "repeat", theme, "Looping Playlist"},
        {PlayerWindow::Track, "repeat-1", theme, "Looping Current Track"},
        {PlayerWindow::Off, "repeat", gray, "Looping Off"},
        {PlayerWindow::List, "repeat", theme, "Looping Playlist"},
    };
    for (const Step &step : steps) {
        QTest::mouseClick(w.looping, Qt::LeftButton);
        QCOMPARE(w.loopMode, step.mode);
        QVERIFY2(showsIcon(w.looping, step.icon, step.color, QSize(32, 32)), step.tip);
        QCOMPARE(w.looping->toolTip(), QString::fromLatin1(step.tip));
    }
}

// ---------------------------------------------------------------------------
// Play/pause and stop

void TestPlayback::firstPressResumesRestoredRow()
{
    // The library of an earlier run, with its cache, and row 3 as the last row.
    {
        PlayerWindow earlier;
        QVERIFY(loadLibrary(earlier, fiveFixtures));
    }
    QVERIFY(QFile::exists(folder->filePath(QStringLiteral("music/playlist_cache.json"))));
    store().setValue("lastIndex", 3);

    PlayerWindow w;
    QVERIFY(w.justStarted);
    QCOMPARE(w.currentIndex, 3);
    QTRY_COMPARE_WITH_TIMEOUT(w.statusLabel->text(), QStringLiteral("Playlist updated."), 20000);
    QCOMPARE(w.playlistWidget->count(), 5);

    // The user has moved the list to row 0 and left it for over a minute.
    w.playlistWidget->setCurrentRow(0);
    w.lastScrollTime = QDateTime::currentDateTime().addSecs(-61);

    w.playPause->click();
    QVERIFY(!w.justStarted);
    QVERIFY(startedRow(w, 3));
    // The restored row plays without the list jumping to it.
    QCOMPARE(w.playlistWidget->currentRow(), 0);
    QVERIFY(w.lastScrollTime.secsTo(QDateTime::currentDateTime()) <= 2);
    QVERIFY(w.playHistory.isEmpty());

    // From then on the button pauses and resumes.
    QTRY_COMPARE(w.player->playbackState(), QMediaPlayer::PlayingState);
    w.playPause->click();
    QCOMPARE(w.currentIndex, 3);
    QVERIFY(showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48)));
}

void TestPlayback::firstPressWithEmptyList()
{
    PlayerWindow w;
    QVERIFY(w.justStarted);
    QVERIFY(w.mediaNames.isEmpty());
    QVERIFY(showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48)));

    // Nothing plays, so the button keeps offering play.
    w.playPause->click();
    QVERIFY(w.justStarted);
    QVERIFY(showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48)));
    QVERIFY(w.player->source().isEmpty());
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvel Media Player"));
    QCOMPARE(w.currentIndex, 0);
}

void TestPlayback::pauseResumeAndStop()
{
    PlayerWindow w;
    QVERIFY(loadLibrary(w, {"silent-a.wav", "silent-b.wav"}));
    w.playTrack(1);
    QTRY_COMPARE(w.player->playbackState(), QMediaPlayer::PlayingState);

    w.playPause->click();
    QCOMPARE(w.player->playbackState(), QMediaPlayer::PausedState);
    QVERIFY(showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48)));

    w.playPause->click();
    QCOMPARE(w.player->playbackState(), QMediaPlayer::PlayingState);
    QVERIFY(showsIcon(w.playPause, "pause", w.mainColor, QSize(48, 48)));
    QCOMPARE(w.currentIndex, 1);

    const QUrl source = w.player->source();
    w.stop->click();
    QCOMPARE(w.player->playbackState(), QMediaPlayer::StoppedState);
    QVERIFY(showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48)));
    // Stop keeps the row and the source; play resumes them.
    QCOMPARE(w.currentIndex, 1);
    QCOMPARE(w.player->source(), source);
    w.playPause->click();
    QVERIFY(startedRow(w, 1));
}

void TestPlayback::realTrackPlaysThroughToTheEnd()
{
    PlayerWindow w;
    QVERIFY(loadLibrary(w, fiveFixtures));
    const QStringList texts = w.mediaList->getList();

    // Row 3 ends by itself and row 4 starts; after row 4 the list is done.
    w.playTrack(3);
    QTRY_COMPARE_WITH_TIMEOUT(w.currentIndex, 4, 20000);
    QCOMPARE(historyOf(w), QList<int>({3}));
    QCOMPARE(w.windowTitle(), texts.at(4));
    QCOMPARE(w.shuffle->toolTip(), QStringLiteral("Shuffle: Off"));

    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("Playing finished."), 20000);
    QCOMPARE(w.currentIndex, 4);
    QCOMPARE(historyOf(w), QList<int>({3}));
    QVERIFY(showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48)));
    // The position arrived on the way.
    QVERIFY(w.slider->maximum() > 0);
}

void TestPlayback::unplayableMediaShowsAFailure_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("zero bytes") << "empty.mp3";
    QTest::newRow("not audio") << "garbage.mp3";
}

void TestPlayback::unplayableMediaShowsAFailure()
{
    QFETCH(QString, file);

    PlayerWindow w;
    QVERIFY(loadLibrary(w, {file, "tone.ogg"}));
    const int row = w.mediaList->indexOf(QUrl::fromLocalFile(folder->filePath("music/" + file)));
    QVERIFY(row != -1);

    w.playTrack(row);
    QTRY_VERIFY_WITH_TIMEOUT(w.statusLabel->text().startsWith(QStringLiteral("Cannot play %1: ").arg(file)),
                             20000);
    QVERIFY(w.statusLabel->text().size() > QStringLiteral("Cannot play %1: ").arg(file).size());
    // Nothing advanced, and the button no longer claims to play.
    QCOMPARE(w.currentIndex, row);
    QVERIFY(showsIcon(w.playPause, "play", w.mainColor, QSize(48, 48)));

    // The next real track still plays.
    w.playTrack(1 - row);
    QVERIFY(startedRow(w, 1 - row));
}

// ---------------------------------------------------------------------------
// Position, time and volume

void TestPlayback::formatTime_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "00:00";
    QTest::newRow("under a second") << qint64(999) << "00:00";
    QTest::newRow("75 s") << qint64(75000) << "01:15";
    QTest::newRow("200 s") << qint64(200000) << "03:20";
    QTest::newRow("59:59") << qint64(3599999) << "59:59";
    QTest::newRow("minutes not wrapped") << qint64(3725000) << "62:05";
    QTest::newRow("three-digit minutes") << qint64(6000000) << "100:00";
}

void TestPlayback::formatTime()
{
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(PlayerWindow::formatTime(ms), text);
}

void TestPlayback::timeLabelElapsedAndRemaining()
{
    PlayerWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(loadLibrary(w, {"silent.wav"}));

    // A 200-second track, loaded but not playing, so only our reports move the label.
    w.player->setSource(w.mediaList->at(0));
    QTRY_COMPARE_WITH_TIMEOUT(w.player->duration(), qint64(200000), 20000);
    QTRY_COMPARE(w.slider->maximum(), 200000);
    QCOMPARE(w.slider->minimum(), 0);

    emit w.player->positionChanged(75000);
    QCOMPARE(w.timeLabel->text(), QStringLiteral("01:15 / 03:20"));
    QCOMPARE(w.slider->value(), 75000);

    // The click alone does not redraw; the next report shows the remaining time.
    QTest::mouseClick(w.timeLabel, Qt::LeftButton);
    QCOMPARE(w.timeLabel->text(), QStringLiteral("01:15 / 03:20"));
    emit w.player->positionChanged(75000);
    QCOMPARE(w.timeLabel->text(), QStringLiteral("-02:05 / 03:20"));

    // A right press is no click; a second left click goes back.
    QTest::mouseClick(w.timeLabel, Qt::RightButton);
    emit w.player->positionChanged(80000);
    QCOMPARE(w.timeLabel->text(), QStringLiteral("-02:00 / 03:20"));
    QTest::mouseClick(w.timeLabel, Qt::LeftButton);
    emit w.player->positionChanged(80000);
    QCOMPARE(w.timeLabel->text(), QStringLiteral("01:20 / 03:20"));
}

void TestPlayback::sliderClickSeeks()
{
    PlayerWindow w;
    w.resize(900, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(loadLibrary(w, {"silent.wav"}));
    w.player->setSource(w.mediaList->at(0));
    QTRY_COMPARE_WITH_TIMEOUT(w.slider->maximum(), 200000, 20000);

    QSignalSpy moved(w.slider, &QSlider::sliderMoved);
    const QPoint middle(w.slider->width() / 2, w.slider->height() / 2);
    QTest::mouseClick(w.slider, Qt::LeftButton, {}, middle);
    QCOMPARE(moved.count(), 1);
    const int target = moved.at(0).at(0).toInt();
    QVERIFY2(qAbs(target - 100000) < 5000, qPrintable(QString::number(target)));
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(w.player->position() - target) < 1000, 10000);

    // Near the left edge seeks near the start.
    QTest::mouseClick(w.slider, Qt::LeftButton, {}, QPoint(0, w.slider->height() / 2));
    QCOMPARE(moved.count(), 2);
    QCOMPARE(moved.at(1).at(0).toInt(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(w.player->position() < 1000, 10000);

    // While the user holds the handle, position reports leave it where the
    // pointer is: moving it would seek again.
    QTest::mousePress(w.slider, Qt::LeftButton, {}, middle);
    QVERIFY(w.slider->isSliderDown());
    const int held = w.slider->value();
    emit w.player->positionChanged(5000);
    QCOMPARE(w.slider->value(), held);
    QCOMPARE(moved.count(), 3);
    QCOMPARE(w.timeLabel->text(), QStringLiteral("00:05 / 03:20"));
    QTest::mouseRelease(w.slider, Qt::LeftButton, {}, middle);
    emit w.player->positionChanged(5000);
    QCOMPARE(w.slider->value(), 5000);
}

void TestPlayback::volumeIcons_data()
{
    QTest::addColumn<float>("level");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("muted");
    QTest::newRow("0") << 0.0f << "volume-x" << true;
    QTest::newRow("1") << 1.0f << "volume" << false;
    QTest::newRow("32") << 32.0f << "volume" << false;
    QTest::newRow("32.5") << 32.5f << "volume" << false;
    QTest::newRow("33") << 33.0f << "volume-1" << false;
    QTest::newRow("65") << 65.0f << "volume-1" << false;
    QTest::newRow("66") << 66.0f << "volume-2" << false;
    QTest::newRow("100") << 100.0f << "volume-2" << false;
}

void TestPlayback::volumeIcons()
{
    QFETCH(float, level);
    QFETCH(QString, icon);
    QFETCH(bool, muted);

    // As the start-up repaint picks it from the stored volume...
    store().setValue("volume", level);
    PlayerWindow w;
    QVERIFY(showsIcon(w.mute, icon, muted ? gray : orange, QSize(16, 16)));

    // ...and as the slider's handler does, in the current theme colour.
    const int value = int(level);
    w.setBlue->trigger();
    w.volume->setValue(value >= 50 ? 10 : 90);
    QSignalSpy volumeChanges(w.audioOutput, &QAudioOutput::volumeChanged);
    w.volume->setValue(value);
    QCOMPARE(volumeChanges.count(), 1);
    QVERIFY(qFuzzyCompare(1.0f + w.audioOutput->volume(), 1.0f + value / 100.0f));
    QCOMPARE(w.vol, float(value));
    QCOMPARE(w.volume->toolTip(), QStringLiteral("%1%").arg(value));
    QVERIFY(showsIcon(w.mute, icon, muted ? gray : blue, QSize(16, 16)));
}

void TestPlayback::muteRemembersVolume()
{
    store().setValue("volume", 30.0f);
    PlayerWindow w;

    // Mute at 40, then unmute: back to 40.
    w.volume->setValue(40);
    w.mute->click();
    QCOMPARE(w.volume->value(), 0);
    QCOMPARE(w.vol, 0.0f);
    QCOMPARE(w.audioOutput->volume(), 0.0f);
    QCOMPARE(w.volume->toolTip(), QStringLiteral("0%"));
    QVERIFY(showsIcon(w.mute, "volume-x", gray, QSize(16, 16)));
    w.mute->click();
    QCOMPARE(w.volume->value(), 40);
    QCOMPARE(w.volume->toolTip(), QStringLiteral("40%"));
    QVERIFY(showsIcon(w.mute, "volume-1", w.mainColor, QSize(16, 16)));

    // Dragged to 0 by hand, mute returns to the volume of the last mute.
    w.volume->setValue(70);
    w.volume->setValue(0);
    w.mute->click();
    QCOMPARE(w.volume->value(), 40);

    // Without an earlier mute it returns to the start-up volume.
    PlayerWindow fresh;
    QCOMPARE(fresh.volume->value(), 30);
    fresh.volume->setValue(0);
    QTest::mouseClick(fresh.mute, Qt::LeftButton);
    QCOMPARE(fresh.volume->value(), 30);

    // Quit while muted: after the restart there is nothing to return to, and
    // unmuting gives the first-start volume.
    fresh.mute->click();
    fresh.close();
    QCOMPARE(store().value("volume").toFloat(), 0.0f);
    PlayerWindow restarted;
    QCOMPARE(restarted.volume->value(), 0);
    restarted.mute->click();
    QCOMPARE(restarted.volume->value(), 50);
}

void TestPlayback::firstStartVolumeAgrees()
{
    // No stored volume: slider, output, tool tip, icon and mute all say 50.
    PlayerWindow w;
    QCOMPARE(w.volume->value(), 50);
    QCOMPARE(w.vol, 50.0f);
    QCOMPARE(w.audioOutput->volume(), 0.5f);
    QCOMPARE(w.volume->toolTip(), QStringLiteral("50%"));
    QVERIFY(showsIcon(w.mute, "volume-1", w.mainColor, QSize(16, 16)));
    QCOMPARE(store().value("volume").toFloat(), 50.0f);

    w.mute->click();
    QCOMPARE(w.volume->value(), 0);
    w.mute->click();
    QCOMPARE(w.volume->value(), 50);
    QCOMPARE(w.audioOutput->volume(), 0.5f);
}

QTEST_MAIN(TestPlayback)
#include "test_playback.moc"
