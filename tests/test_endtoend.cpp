// The whole player as a user meets it: a real window on a real music folder
// (nested folders, one with a non-ASCII name), real playback to the end of
// real files, the queue from the list and from search, favourites, style
// changes, and a second start that restores everything from the settings
// store and the cache and scans only the file added in between.

#include "PlayQueue.h"
#include "PlayerWindow.h"
#include "Playlist.h"
#include "ProgressBar.h"
#include "QueueDialog.h"
#include "QueueWidget.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QAction>
#include <QAudioOutput>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMediaMetaData>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace TestSupport;

namespace {

// Scans and backend start-ups are quick, but CI machines are shared.
constexpr int scanTimeout = 30000;
constexpr int playTimeout = 20000;
// Timed status messages last 5 s; the summary follows them.
constexpr int summaryTimeout = 12000;

// One file of the test library: which fixture, where it lies, and the row
// text the player must show for it.
struct LibraryFile {
    QString fixture;
    QString path;
    QString text;
};

// The long file is written by the test; the others are fixture copies of
// about one second each.
const QString longPath = QStringLiteral("Ambient/long silence.wav");
const QString mp3Path = QStringLiteral("Rock/Alpha/tone.mp3");
const QString oggPath = QStringLiteral("Rock/Live 1999/tone.ogg");
const QString flacPath = QStringLiteral("Klassik Ålbum ♪/tone.flac");
const QString wavPath = QStringLiteral("Misc/tone.wav");
const QString untaggedPath = QStringLiteral("untagged.mp3");
const QString titleOnlyPath = QStringLiteral("Misc/Deep/Deeper/title-only.ogg");
const QString newPath = QStringLiteral("Neu Ñ/frisch.mp3");

const QList<LibraryFile> libraryFiles = {
    {QString(), longPath, QStringLiteral("long silence.wav")},
    {QStringLiteral("tone.mp3"), mp3Path, QStringLiteral("Mp3 Album Artist - Mp3 Tone (0:01)")},
    {QStringLiteral("tone.ogg"), oggPath, QStringLiteral("Ogg Album Artist - Ogg Tone (0:01)")},
    {QStringLiteral("tone.flac"), flacPath, QStringLiteral("Flåc Ärtist - Flac Tøne ♪ (0:01)")},
    {QStringLiteral("tone.wav"), wavPath, QStringLiteral("Wav Album Artist - Wav Tone (0:01)")},
    {QStringLiteral("untagged.mp3"), untaggedPath, QStringLiteral("untagged.mp3")},
    {QStringLiteral("title-only.ogg"), titleOnlyPath, QStringLiteral("Unknown Artist - Only A Title (0:01)")},
};

QJsonArray cachedTracks(const QString &folder)
{
    return QJsonDocument::fromJson(readAll(folder + QStringLiteral("/playlist_cache.json")))
        .object()
        .value(QStringLiteral("tracks"))
        .toArray();
}

} // namespace

// Each stage leaves the window as the next one expects; a failed stage ends
// the scenario.
#define STAGE(call)                                                                                       \
    do {                                                                                                  \
        call;                                                                                             \
        if (QTest::currentTestFailed())                                                                   \
            return;                                                                                       \
    } while (false)

class TestEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> home;
    QString music;
    std::unique_ptr<PlayerWindow> window;
    // Row texts of the library in scan order, and the paths behind them.
    QStringList expectedRows;
    QStringList expectedPaths;

    QString pathOf(const QString &relative) const { return music + QLatin1Char('/') + relative; }
    int rowOf(const QString &relative) const { return expectedPaths.indexOf(pathOf(relative)); }
    QString textOf(const QString &relative) const { return expectedRows.value(rowOf(relative)); }

    QPoint rowCenter(int row) const
    {
        QListWidgetItem *item = window->playlistWidget->item(row);
        window->playlistWidget->scrollToItem(item);
        return window->playlistWidget->visualItemRect(item).center();
    }

    void doubleClickRow(int row)
    {
        // As the platform delivers it: a click, then a second press as a double click.
        QWidget *viewport = window->playlistWidget->viewport();
        const QPoint pos = rowCenter(row);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
    }

    void click(QWidget *widget, QPoint pos = QPoint()) { QTest::mouseClick(widget, Qt::LeftButton, {}, pos); }

    void activate(QWidget *widget)
    {
        widget->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(widget));
    }

    QString playIconState() const
    {
        const QSize large = PlayerWindow::iconSize.value(QStringLiteral("large"));
        if (showsIcon(window->playPause, "play", window->mainColor, large))
            return QStringLiteral("play");
        if (showsIcon(window->playPause, "pause", window->mainColor, large))
            return QStringLiteral("pause");
        return QStringLiteral("other");
    }

    void buildLibrary();
    void destroyWindow();

    void chooseFolder();
    void playPauseAndSeek();
    void nextPreviousAndStop();
    void shuffleAndLoop();
    void trackEndStartsNextRow();
    void queueFromListAndSearch();
    void reorderInQueueDialog();
    void queuedTracksPlayFirst();
    void setAndPlayFavorite();
    void changeStyleAndVolume();
    void closeWindow();
    void restartRestoresEverything();

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void userSessionAndRestart();
};

void TestEndToEnd::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestEndToEnd::init()
{
    TestSupport::clearPlayerSettings();
    home.reset(new QTemporaryDir);
    QVERIFY(home->isValid());
    music = home->filePath(QStringLiteral("Music"));
    expectedRows.clear();
    expectedPaths.clear();
}

void TestEndToEnd::cleanup()
{
    destroyWindow();
    home.reset();
}

void TestEndToEnd::destroyWindow()
{
    window.reset();
    finishBackgroundWork();
}

void TestEndToEnd::buildLibrary()
{
    for (const LibraryFile &file : libraryFiles) {
        if (file.fixture.isEmpty())
            writeFile(pathOf(file.path), silentWav(30));
        else
            QVERIFY(copyFixture(file.fixture, pathOf(file.path)));
    }
    // Not audio: the scan passes them by.
    QVERIFY(copyFixture(QStringLiteral("tone.mp3"), pathOf(QStringLiteral("Rock/Alpha/cover.jpg"))));
    QVERIFY(copyFixture(QStringLiteral("tone.ogg"), pathOf(QStringLiteral("notes.txt"))));

    expectedPaths = iteratorOrder(music);
    QCOMPARE(expectedPaths.size(), libraryFiles.size());
    for (const QString &path : std::as_const(expectedPaths)) {
        const auto found = std::find_if(libraryFiles.begin(), libraryFiles.end(),
                                        [&](const LibraryFile &file) { return pathOf(file.path) == path; });
        QVERIFY2(found != libraryFiles.end(), qPrintable(path));
        expectedRows.append(found->text);
    }
}

// ---------------------------------------------------------------------------

void TestEndToEnd::userSessionAndRestart()
{
    STAGE(buildLibrary());

    window = freshWindow();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    STAGE(activate(window.get()));

    STAGE(chooseFolder());
    STAGE(playPauseAndSeek());
    STAGE(nextPreviousAndStop());
    STAGE(shuffleAndLoop());
    STAGE(trackEndStartsNextRow());
    STAGE(queueFromListAndSearch());
    STAGE(reorderInQueueDialog());
    STAGE(queuedTracksPlayFirst());
    STAGE(setAndPlayFavorite());
    STAGE(changeStyleAndVolume());
    STAGE(closeWindow());
    STAGE(restartRestoresEverything());
}

void TestEndToEnd::chooseFolder()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Corvel Media Player"));
    QCOMPARE(window->playlistWidget->count(), 0);
    QCOMPARE(window->timeLabel->text(), QStringLiteral("00:00 / 00:00"));

    // What the folder chooser hands over once the user picked the folder.
    window->setMusicFolder(music);
    QCOMPARE(window->playlistWidget->count(), 0);

    const QString summary = QStringLiteral("%1 tracks").arg(expectedRows.size());
    const QStringList seen = recordLabel(window->statusLabel, summary, scanTimeout + summaryTimeout);
    QCOMPARE(seen, (QStringList{QStringLiteral("Refreshing playlist..."),
                                QStringLiteral("%1 tracks found...").arg(expectedRows.size()),
                                QStringLiteral("Playlist refreshed."), summary}));

    // The cache and the stored folder this leaves are TestLibraryWindow::chosenFolderIsScannedInFull's.
    QCOMPARE(rowTexts(window->playlistWidget), expectedRows);
    QCOMPARE(window->mediaList->knownFilePaths(), expectedPaths);
    QCOMPARE(window->windowTitle(), QStringLiteral("Corvel Media Player"));
}

void TestEndToEnd::playPauseAndSeek()
{
    const int row = rowOf(longPath);
    doubleClickRow(row);
    QCOMPARE(window->windowTitle(), textOf(longPath));
    QCOMPARE(window->currentIndex, row);
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(pathOf(longPath)));
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PlayingState);
    QCOMPARE(playIconState(), QStringLiteral("pause"));
    // Starting a source saves the settings, the row with them.
    QCOMPARE(store().value("lastIndex").toInt(), row);

    // The slider takes the length in milliseconds; the label counts up.
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(window->slider->maximum() - 30000) <= 200, playTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(window->player->position() > 300, playTimeout);
    QTRY_VERIFY(window->timeLabel->text().endsWith(QStringLiteral(" / 00:30")));

    click(window->playPause);
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PausedState);
    QCOMPARE(playIconState(), QStringLiteral("play"));
    QTest::qWait(300);
    const qint64 held = window->player->position();
    QTest::qWait(600);
    QVERIFY2(qAbs(window->player->position() - held) < 100, "the position moved while paused");

    click(window->playPause);
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PlayingState);
    QCOMPARE(playIconState(), QStringLiteral("pause"));
    QTRY_VERIFY_WITH_TIMEOUT(window->player->position() > held + 200, playTimeout);

    // A click on the middle of the groove jumps there.
    click(window->slider, QPoint(window->slider->width() / 2, window->slider->height() / 2));
    QTRY_VERIFY_WITH_TIMEOUT(window->player->position() >= 13000 && window->player->position() < 20000,
                             playTimeout);
    static const QRegularExpression elapsed(QStringLiteral("^00:1\\d / 00:30$"));
    QTRY_VERIFY_WITH_TIMEOUT(elapsed.match(window->timeLabel->text()).hasMatch(), playTimeout);

    // A click on the time shows the remaining time from the next report on.
    click(window->timeLabel);
    static const QRegularExpression remaining(QStringLiteral("^-00:1\\d / 00:30$"));
    QTRY_VERIFY_WITH_TIMEOUT(remaining.match(window->timeLabel->text()).hasMatch(), playTimeout);
    click(window->timeLabel);
    QTRY_VERIFY_WITH_TIMEOUT(elapsed.match(window->timeLabel->text()).hasMatch(), playTimeout);

    // A click at the right end leaves a moment of the track: it ends for real.
    click(window->slider, QPoint(window->slider->width() - 2, window->slider->height() / 2));
    if (row < expectedRows.size() - 1) {
        QTRY_COMPARE_WITH_TIMEOUT(window->currentIndex, row + 1, playTimeout);
        QCOMPARE(window->windowTitle(), expectedRows.at(row + 1));
        QCOMPARE(window->player->source(), QUrl::fromLocalFile(expectedPaths.at(row + 1)));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), QStringLiteral("Playing finished."), playTimeout);
        QCOMPARE(playIconState(), QStringLiteral("play"));
    }
    click(window->stop);
    QCOMPARE(window->player->playbackState(), QMediaPlayer::StoppedState);
    QCOMPARE(playIconState(), QStringLiteral("play"));
}

void TestEndToEnd::nextPreviousAndStop()
{
    // Each step is checked before the event loop runs again, so a one-second
    // track cannot end in between.
    const int row = expectedRows.size() / 2;
    doubleClickRow(row);
    QCOMPARE(window->windowTitle(), expectedRows.at(row));

    click(window->forward);
    QCOMPARE(window->currentIndex, row + 1);
    QCOMPARE(window->windowTitle(), expectedRows.at(row + 1));
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(expectedPaths.at(row + 1)));
    QCOMPARE(window->shuffle->toolTip(), QStringLiteral("Shuffle: Off"));

    click(window->previous);
    QCOMPARE(window->windowTitle(), expectedRows.at(row));
    click(window->previous);
    QCOMPARE(window->currentIndex, row - 1);
    QCOMPARE(window->windowTitle(), expectedRows.at(row - 1));
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PlayingState);

    click(window->stop);
    QCOMPARE(window->player->playbackState(), QMediaPlayer::StoppedState);
    QCOMPARE(playIconState(), QStringLiteral("play"));
    QCOMPARE(window->currentIndex, row - 1);
}

void TestEndToEnd::shuffleAndLoop()
{
    // The icons of each state are TestPlayback::shuffleAndLoopToggles'.
    click(window->shuffle);
    QVERIFY(window->shuffleEnabled);
    QVERIFY(showsIcon(window->shuffle, "shuffle", orange, QSize(32, 32)));

    const int from = window->currentIndex;
    click(window->forward);
    QCOMPARE(window->shuffle->toolTip(), QStringLiteral("Shuffle: On"));
    QVERIFY(window->currentIndex != from);
    QCOMPARE(window->windowTitle(), expectedRows.at(window->currentIndex));
    // Back through the history to where shuffle started.
    click(window->previous);
    QCOMPARE(window->currentIndex, from);
    QCOMPARE(window->windowTitle(), expectedRows.at(from));
    click(window->stop);
    click(window->shuffle);
    QVERIFY(!window->shuffleEnabled);

    for (const char *tip : {"Looping Playlist", "Looping Current Track", "Looping Off"}) {
        click(window->looping);
        QCOMPARE(window->looping->toolTip(), QString::fromLatin1(tip));
    }
    QCOMPARE(window->loopMode, PlayerWindow::Off);
}

void TestEndToEnd::trackEndStartsNextRow()
{
    // A one-second track followed by another row.
    int row = rowOf(mp3Path);
    if (row == expectedRows.size() - 1)
        row = rowOf(oggPath);
    QVERIFY(row < expectedRows.size() - 1);

    doubleClickRow(row);
    QCOMPARE(window->windowTitle(), expectedRows.at(row));
    QTRY_COMPARE_WITH_TIMEOUT(window->currentIndex, row + 1, playTimeout);
    QCOMPARE(window->windowTitle(), expectedRows.at(row + 1));
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(expectedPaths.at(row + 1)));
    QCOMPARE(window->playHistory.top(), row);
    QCOMPARE(playIconState(), QStringLiteral("pause"));
    click(window->stop);
}

void TestEndToEnd::queueFromListAndSearch()
{
    const int first = rowOf(mp3Path);
    const int second = rowOf(titleOnlyPath);
    const int third = rowOf(flacPath);
    const int total = expectedRows.size();

    // Right-click menu of the first track.
    {
        std::unique_ptr<QMenu> menu(window->createPlaylistContextMenu(rowCenter(first)));
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Add to Queue"));
        menu->actions().first()->trigger();
    }
    QCOMPARE(window->playlistWidget->item(first)->text(), QStringLiteral("[1] ") + expectedRows.at(first));
    QCOMPARE(window->statusLabel->text(), QStringLiteral("%1 tracks, 1 in queue (0:01)").arg(total));
    {
        std::unique_ptr<QMenu> menu(window->createPlaylistContextMenu(rowCenter(first)));
        QVERIFY(menu);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Remove from Queue"));
    }

    // Select the second track with a click and press Q.
    click(window->playlistWidget->viewport(), rowCenter(second));
    QCOMPARE(window->playlistWidget->currentRow(), second);
    QTest::keyClick(window->playlistWidget, Qt::Key_Q);
    QCOMPARE(window->playlistWidget->item(second)->text(), QStringLiteral("[2] ") + expectedRows.at(second));
    QCOMPARE(window->statusLabel->text(), QStringLiteral("%1 tracks, 2 in queue (0:02)").arg(total));

    // The third from the search dialog, opened with Ctrl+F.
    SearchDialog *search = window->searchDialog;
    QTest::keyClick(window->playlistWidget, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(search->isVisible());
    STAGE(activate(search));
    QTRY_VERIFY(search->searchInput->hasFocus());
    QTest::keyClicks(search->searchInput, QStringLiteral("FLÅC"));
    QCOMPARE(search->searchInput->text(), QStringLiteral("FLÅC"));
    QCOMPARE(search->resultLabel->text(), QStringLiteral("1 track found"));
    QCOMPARE(rowTexts(search->resultList), QStringList{expectedRows.at(third)});
    QTest::keyClick(search->searchInput, Qt::Key_Down);
    QVERIFY(search->resultList->hasFocus());
    QCOMPARE(search->resultList->currentRow(), 0);
    QTest::keyClick(search->resultList, Qt::Key_Q);
    QCOMPARE(rowTexts(search->resultList), QStringList{QStringLiteral("[3] ") + expectedRows.at(third)});
    QCOMPARE(window->playlistWidget->item(third)->text(), QStringLiteral("[3] ") + expectedRows.at(third));
    QCOMPARE(window->statusLabel->text(), QStringLiteral("%1 tracks, 3 in queue (0:03)").arg(total));
    QTest::keyClick(search->resultList, Qt::Key_Escape);
    QVERIFY(!search->isVisible());

    QCOMPARE(window->queue->getList(), (QStringList{pathOf(mp3Path), pathOf(titleOnlyPath), pathOf(flacPath)}));
}

void TestEndToEnd::reorderInQueueDialog()
{
    const int first = rowOf(mp3Path);
    const int second = rowOf(titleOnlyPath);
    const int third = rowOf(flacPath);
    const int total = expectedRows.size();

    STAGE(activate(window.get()));
    window->playlistWidget->setFocus();
    QTest::keyClick(window->playlistWidget, Qt::Key_Q, Qt::ControlModifier);
    QueueDialog *dialog = window->queueDialog;
    QVERIFY(dialog->isVisible());
    // The shortcut opened the dialog; the Q did not toggle the list's current row.
    QCOMPARE(window->queue->getList().size(), 3);
    QueueWidget *list = dialog->queueWidget;
    QCOMPARE(rowTexts(list), (QStringList{expectedRows.at(first), expectedRows.at(second), expectedRows.at(third)}));

    // Move the last entry to the top with two presses of the up button.
    QListWidgetItem *last = list->item(2);
    click(list->viewport(), list->visualItemRect(last).center());
    QCOMPARE(list->currentRow(), 2);
    click(dialog->moveUpButton);
    click(dialog->moveUpButton);
    QCOMPARE(rowTexts(list), (QStringList{expectedRows.at(third), expectedRows.at(first), expectedRows.at(second)}));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(window->queue->getList(), (QStringList{pathOf(flacPath), pathOf(mp3Path), pathOf(titleOnlyPath)}));
    // The track list follows at once.
    QCOMPARE(window->playlistWidget->item(third)->text(), QStringLiteral("[1] ") + expectedRows.at(third));

    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(window->playlistWidget->item(third)->text(), QStringLiteral("[1] ") + expectedRows.at(third));
    QCOMPARE(window->playlistWidget->item(first)->text(), QStringLiteral("[2] ") + expectedRows.at(first));
    QCOMPARE(window->playlistWidget->item(second)->text(), QStringLiteral("[3] ") + expectedRows.at(second));
    QCOMPARE(window->statusLabel->text(), QStringLiteral("%1 tracks, 3 in queue (0:03)").arg(total));
}

void TestEndToEnd::queuedTracksPlayFirst()
{
    QSignalSpy titles(window.get(), &QWidget::windowTitleChanged);
    const QString lastQueued = textOf(titleOnlyPath);
    doubleClickRow(rowOf(wavPath));
    QCOMPARE(window->windowTitle(), textOf(wavPath));

    // Each queued track ends for real and hands over to the next one.
    QTRY_VERIFY_WITH_TIMEOUT(window->windowTitle() == lastQueued, 3 * playTimeout);
    click(window->stop);

    QStringList played;
    for (const QList<QVariant> &arguments : std::as_const(titles)) {
        const QString title = arguments.first().toString();
        if (!title.startsWith(QStringLiteral("Now Playing: ")))
            played.append(title);
    }
    QCOMPARE(played.mid(0, 4),
             (QStringList{textOf(wavPath), textOf(flacPath), textOf(mp3Path), textOf(titleOnlyPath)}));
    QVERIFY(window->queue->isEmpty());
    QCOMPARE(rowTexts(window->playlistWidget), expectedRows);
    QCOMPARE(window->statusLabel->text(), QStringLiteral("%1 tracks").arg(expectedRows.size()));
}

void TestEndToEnd::setAndPlayFavorite()
{
    const int row = rowOf(flacPath);
    doubleClickRow(row);
    click(window->playPause); // hold it while the tags arrive
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PausedState);
    QTRY_VERIFY_WITH_TIMEOUT(!window->player->metaData().stringValue(QMediaMetaData::Title).isEmpty(),
                             playTimeout);

    click(window->favorite);
    QVERIFY(window->favorite->isChecked());
    FavoriteButton *fav1 = window->buttons.at(0);
    QCOMPARE(fav1->text(), QStringLiteral("Fav 1"));
    QCOMPARE(fav1->toolTip(), QStringLiteral("No favorite set"));
    click(fav1);
    QVERIFY(!window->favorite->isChecked());
    QCOMPARE(fav1->text(), QString());
    QCOMPARE(fav1->toolTip(), QStringLiteral("Flåc Ärtist - Flac Tøne ♪"));
    QVERIFY(showsIcon(fav1, "heart", pink, QSize(32, 32)));
    QCOMPARE(window->buttons.at(1)->text(), QStringLiteral("Fav 2"));
    click(window->stop);

    // Something else plays; then the favourite brings its track back.
    doubleClickRow(rowOf(untaggedPath));
    QCOMPARE(window->windowTitle(), textOf(untaggedPath));
    click(window->stop);
    click(fav1);
    QCOMPARE(window->currentIndex, row);
    QCOMPARE(window->windowTitle(), textOf(flacPath));
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(pathOf(flacPath)));
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PlayingState);
    click(window->stop);
}

void TestEndToEnd::changeStyleAndVolume()
{
    window->setGreen->trigger();
    QCOMPARE(window->mainColor, green);
    QVERIFY(showsIcon(window->playPause, "play", green, QSize(48, 48)));
    QVERIFY(showsIcon(window->buttons.at(0), "heart", pink, QSize(32, 32)));

    window->iconSmall->trigger();
    QVERIFY(showsIcon(window->playPause, "play", green, QSize(24, 24)));
    QVERIFY(showsIcon(window->buttons.at(0), "heart", pink, QSize(16, 16)));
    QCOMPARE(window->buttons.at(1)->size(), QSize(28, 28));
    QCOMPARE(store().value("mainColor").toString(), QStringLiteral("green"));
    QCOMPARE(store().value("iconSize").toString(), QStringLiteral("small"));

    // Drag the volume to 70, mute and unmute.
    window->volume->setValue(70);
    QCOMPARE(window->volume->toolTip(), QStringLiteral("70%"));
    QCOMPARE(window->audioOutput->volume(), 0.7f);
    QVERIFY(showsIcon(window->mute, "volume-2", green, QSize(8, 8)));
    click(window->mute);
    QCOMPARE(window->volume->value(), 0);
    QVERIFY(showsIcon(window->mute, "volume-x", gray, QSize(8, 8)));
    click(window->mute);
    QCOMPARE(window->volume->value(), 70);

    // Loop the list, shuffle on, and leave the last row on the ogg track.
    click(window->looping);
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping Playlist"));
    QVERIFY(showsIcon(window->looping, "repeat", green, QSize(16, 16)));
    click(window->shuffle);
    QVERIFY(showsIcon(window->shuffle, "shuffle", green, QSize(16, 16)));
    doubleClickRow(rowOf(oggPath));
    QCOMPARE(window->windowTitle(), textOf(oggPath));
    click(window->stop);
}

void TestEndToEnd::closeWindow()
{
    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
    destroyWindow();

    QSettings store = TestSupport::store();
    QCOMPARE(store.value(QStringLiteral("musicFolder")).toString(), music);
    QCOMPARE(store.value(QStringLiteral("shuffling")).toBool(), true);
    QCOMPARE(store.value(QStringLiteral("loopMode")).toInt(), 1);
    QCOMPARE(store.value(QStringLiteral("volume")).toFloat(), 70.0f);
    QCOMPARE(store.value(QStringLiteral("mainColor")).toString(), QStringLiteral("green"));
    QCOMPARE(store.value(QStringLiteral("iconSize")).toString(), QStringLiteral("small"));
    QCOMPARE(store.value(QStringLiteral("lastIndex")).toInt(), rowOf(oggPath));
    store.beginGroup(QStringLiteral("favorites"));
    QCOMPARE(store.childGroups(), QStringList{QStringLiteral("fav0")});
    QCOMPARE(QUrl(store.value(QStringLiteral("fav0/url")).toString()), QUrl::fromLocalFile(pathOf(flacPath)));
    QCOMPARE(store.value(QStringLiteral("fav0/artist")).toString(), QStringLiteral("Flåc Ärtist"));
    QCOMPARE(store.value(QStringLiteral("fav0/title")).toString(), QStringLiteral("Flac Tøne ♪"));
    store.endGroup();
}

void TestEndToEnd::restartRestoresEverything()
{
    // Change a title in the cache only: a rescan of the known files would
    // bring the file's own title back.
    const int wavRow = rowOf(wavPath);
    QJsonArray tracks = cachedTracks(music);
    QCOMPARE(tracks.size(), expectedRows.size());
    QJsonObject entry = tracks.at(wavRow).toObject();
    QCOMPARE(entry.value(QStringLiteral("path")).toString(), pathOf(wavPath));
    entry.insert(QStringLiteral("title"), QStringLiteral("Wav Tone From Cache"));
    tracks.replace(wavRow, entry);
    writeFile(music + QStringLiteral("/playlist_cache.json"), cacheJson(tracks));
    QStringList cachedRows = expectedRows;
    cachedRows[wavRow] = QStringLiteral("Wav Album Artist - Wav Tone From Cache (0:01)");

    // A new file arrives while the player is closed.
    QVERIFY(copyFixture(QStringLiteral("untagged.mp3"), pathOf(newPath)));

    window = freshWindow();
    const int lastRow = rowOf(oggPath);

    // The cached list is there before the event loop has run once.
    QCOMPARE(rowTexts(window->playlistWidget), cachedRows);
    QCOMPARE(window->statusLabel->text(), QStringLiteral("Checking for new tracks..."));
    QCOMPARE(window->playlistWidget->currentRow(), lastRow);
    QCOMPARE(window->currentIndex, lastRow);
    QCOMPARE(window->windowTitle(), QStringLiteral("Corvel Media Player"));

    // What the user set, as the controls show it.
    QVERIFY(showsIcon(window->shuffle, "shuffle", green, QSize(16, 16)));
    QCOMPARE(window->looping->toolTip(), QStringLiteral("Looping Playlist"));
    QVERIFY(showsIcon(window->looping, "repeat", green, QSize(16, 16)));
    QCOMPARE(window->volume->value(), 70);
    QVERIFY(showsIcon(window->mute, "volume-2", green, QSize(8, 8)));
    QVERIFY(showsIcon(window->playPause, "play", green, QSize(24, 24)));
    QCOMPARE(window->buttons.at(1)->size(), QSize(28, 28));
    QCOMPARE(window->buttonGrid->contentsMargins(), QMargins(25, 0, 10, 0));
    FavoriteButton *fav1 = window->buttons.at(0);
    QCOMPARE(fav1->text(), QString());
    QCOMPARE(fav1->toolTip(), QStringLiteral("Flåc Ärtist - Flac Tøne ♪"));
    QVERIFY(showsIcon(fav1, "heart", pink, QSize(16, 16)));
    QCOMPARE(window->buttons.at(1)->text(), QStringLiteral("Fav 2"));
    QCOMPARE(window->buttons.at(1)->toolTip(), QStringLiteral("No favorite set"));

    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    // Only the new file is scanned, and it joins at the end.
    const QString summary = QStringLiteral("%1 tracks").arg(cachedRows.size() + 1);
    const QStringList seen = recordLabel(window->statusLabel, summary, scanTimeout + summaryTimeout);
    QCOMPARE(seen, (QStringList{QStringLiteral("Checking for new tracks..."), QStringLiteral("Playlist updated."),
                                summary}));
    QCOMPARE(rowTexts(window->playlistWidget), cachedRows + QStringList{QStringLiteral("frisch.mp3")});
    QCOMPARE(window->mediaList->knownFilePaths(), expectedPaths + QStringList{pathOf(newPath)});
    const QJsonArray cached = cachedTracks(music);
    QCOMPARE(cached.size(), cachedRows.size() + 1);
    QCOMPARE(cached.last().toObject().value(QStringLiteral("path")).toString(), pathOf(newPath));

    // The first press of play/pause resumes the row of the last run.
    click(window->playPause);
    QCOMPARE(window->windowTitle(), cachedRows.at(lastRow));
    QCOMPARE(window->player->source(), QUrl::fromLocalFile(pathOf(oggPath)));
    QCOMPARE(window->player->playbackState(), QMediaPlayer::PlayingState);
    QVERIFY(showsIcon(window->playPause, "pause", green, QSize(24, 24)));
    click(window->stop);

    // The favourite still plays its track.
    click(fav1);
    QCOMPARE(window->currentIndex, rowOf(flacPath));
    QCOMPARE(window->windowTitle(), textOf(flacPath));
    click(window->stop);

    QVERIFY(window->close());
}

QTEST_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
