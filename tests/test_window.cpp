// The window as a view of the core: the stored settings and cache it starts from, the list, the
// status line and queue marks, buttons and keys, favourites, and a session with a restart.

#include "TestSupport.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"
#include "ui/dialogs/QueueDialog.h"
#include "ui/dialogs/SearchDialog.h"
#include "ui/widgets/CoverView.h"
#include "ui/widgets/TrackList.h"

#include <QAccessible>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QtTest>

using namespace TestSupport;
using Rows = QList<int>;
using State = QMediaPlayer::PlaybackState;

namespace {

QColor color(const QString &name)
{
    return PlayerWindow::palette.value(name);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

    Window w;
    std::unique_ptr<QTemporaryDir> music;

    PlayerController *player() const
    {
        return w->controller();
    }
    TrackList *list() const
    {
        return child<TrackList>(w.get(), "trackList");
    }
    QPushButton *button(const char *name) const
    {
        return child<QPushButton>(w.get(), name);
    }
    QPushButton *fav(int slot) const
    {
        return button(qPrintable(QString("fav%1").arg(slot + 1)));
    }
    QAction *action(const char *name) const
    {
        return child<QAction>(w.get(), name);
    }
    QSlider *slider(const char *name) const
    {
        return child<QSlider>(w.get(), name);
    }
    QString status() const
    {
        return child<QLabel>(w.get(), "statusLine")->text();
    }
    QStringList texts() const
    {
        return w->library()->tracks()->getList();
    }
    QColor theme() const
    {
        return color(store().value("mainColor").toString());
    }

    // The window restarted on a library of a.mp3, b.wav, c.ogg, once its update is in.
    QStringList openLibrary()
    {
        const QStringList paths = writeLibrary(music->path());
        store().setValue("musicFolder", music->path());
        w = freshWindow();
        w->show();
        if (!QTest::qWaitFor([this] { return status() == "Playlist updated."; }, 20000))
            qWarning("the library did not load: %s", qPrintable(status()));
        return paths;
    }
    // What the window shows that differs from row @p row playing (@p on) or being current.
    QString wrongFor(int row, bool on) const
    {
        QStringList wrong;
        if (player()->currentRow() != row)
            wrong << QString("current row %1").arg(player()->currentRow());
        if ((player()->playbackState() == State::PlayingState) != on)
            wrong << QString("state %1").arg(player()->playbackState());
        if (on && w->windowTitle() != texts().value(row))
            wrong << "title " + w->windowTitle();
        const QString icon = on ? "pause" : "play";
        if (!showsIcon(button("playPauseButton"), icon, theme(), QSize(48, 48))
            || button("playPauseButton")->accessibleName().toLower() != icon)
            wrong << "play/pause button";
        return wrong.join(", ");
    }
    QPoint rowCenter(int row) const
    {
        return list()->visualRect(list()->model()->index(row, 0)).center();
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
    }
    void init()
    {
        clearStore();
        music = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        w.reset();
        finishBackgroundWork();
        music.reset();
    }

    // Then: what the status line says once the ready message's time is over.
    void startFromTheCache_data()
    {
        columns<bool, bool, bool, QString>("withPath", "gone", "upToDate", "then");
        QTest::newRow("stored row only, as an older store has it")
            << false << false << false << "3 tracks";
        // The update drops the vanished file that the cache still lists: the stored track moves up.
        QTest::newRow("an earlier file vanished") << true << true << false << "2 tracks";
        // An update that changes nothing leaves the cache alone: a read-only folder would fail.
        QTest::newRow("an up-to-date cache") << true << false << true << "3 tracks";
    }

    void startFromTheCache()
    {
        const QString ready = "Playlist updated.";
        const QStringList paths = writeLibrary(music->path());
        store().setValue("musicFolder", music->path());
        store().setValue("lastIndex", 2);
        QFETCH(bool, withPath);
        if (withPath)
            store().setValue("lastPath", paths.at(2));
        QFETCH(bool, gone);
        if (gone)
            QVERIFY(QFile::remove(paths.at(0)));
        QFETCH(bool, upToDate);
        if (upToDate) { // the cache as this build writes it
            Library library;
            QVERIFY(openUnwatched(library, music->path()));
        }
        const QFileInfo cache(music->filePath("playlist_cache.json"));
        const QDateTime written = cache.lastModified();
        const QUrl track = QUrl::fromLocalFile(paths.at(2));
        w = freshWindow();
        w->show();
        // The stored track is current at once from the cache, and again once the folder is read.
        QCOMPARE(list()->model()->rowCount(), 3);
        const auto current = [this] { return w->library()->tracks()->at(list()->currentRow()); };
        QCOMPARE(current(), track);
        QTRY_COMPARE_WITH_TIMEOUT(status(), ready, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(!w->library()->busy(), 60000);
        finishBackgroundWork();
        QCOMPARE(status(), ready);
        if (upToDate)
            QCOMPARE(QFileInfo(cache.filePath()).lastModified(), written);
        fire(child<QTimer>(w.get(), "statusTimer"));
        QTEST(status(), "then");
        QCOMPARE(current(), track);
        QVERIFY(w->close());
        QCOMPARE(store().value("lastPath").toString(), paths.at(2));
        button("playPauseButton")->click(); // the first press resumes the stored track
        QCOMPARE(player()->source(), track);
    }

    // A new library shows every row at once, marked, and leaves the list where the user had it: the
    // current row on its file (rows above it gone), the scroll position.
    void installKeepsPlace()
    {
        for (int i = 0; i < 300; ++i)
            writeFile(music->filePath(QString("%1.mp3").arg(i, 3, 10, QLatin1Char('0'))), {});
        w = freshWindow();
        w->show();
        w->setMusicFolder(music->path());
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist refreshed."), 60000);
        const Playlist *tracks = w->library()->tracks();
        const QString chosen = tracks->pathAt(200);
        for (int row = 0; row < 10; ++row)
            QVERIFY(QFile::remove(tracks->pathAt(row)));
        w->queue()->toggle(chosen); // its mark moves with it
        list()->setCurrentRow(200);
        list()->verticalScrollBar()->setValue(150);
        action("updateAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist updated."), 60000);
        QStringList shown = texts();
        shown[tracks->indexOfPath(chosen)].prepend("[1] ");
        QCOMPARE(shown.size(), 290);
        QCOMPARE(rowTexts(list()), shown);
        QCOMPARE(tracks->pathAt(list()->currentRow()), chosen);
        QCOMPARE(list()->verticalScrollBar()->value(), 150);
    }

    // One timer for the line: an older message's time never cuts a newer one short, and the
    // summary follows the queue unless a message is showing. Marks follow the queue.
    void statusLineAndMarks()
    {
        const QStringList paths = openLibrary();
        w->updateStatusLabel("short", 1);
        w->updateStatusLabel("long", 3);
        QTest::qWait(1500);
        QCOMPARE(status(), QString("long"));
        w->queue()->toggle(paths.at(0));
        QCOMPARE(status(), QString("long"));
        w->updateStatusLabel(QString(), 0);
        QCOMPARE(status(), QString("3 tracks, 1 in queue (0:01)"));
        // The row's menu offers what a click does.
        QTimer::singleShot(0, this, [] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QAction *first = menu ? menu->actions().value(0) : nullptr;
            if (first && first->text() == "Add to Queue")
                first->trigger();
            if (menu)
                menu->close();
        });
        // Only the rows whose mark changed are repainted.
        QList<int> repainted;
        QObject context;
        connect(list()->model(), &QAbstractItemModel::dataChanged, &context,
            [&repainted](const QModelIndex &from, const QModelIndex &to) {
                for (int row = from.row(); row <= to.row(); ++row)
                    repainted << row;
            });
        const auto takeRepainted = [&repainted] {
            std::sort(repainted.begin(), repainted.end());
            return std::exchange(repainted, {});
        };
        emit list()->customContextMenuRequested(rowCenter(1));
        QCOMPARE(rowTexts(list()),
            (QStringList{"[1] " + texts().at(0), "[2] " + texts().at(1), texts().at(2)}));
        QCOMPARE(takeRepainted(), QList<int>{1});
        // The queue dialog's requests reach the queue: a move down renumbers the list at once.
        emit w->findChild<QueueDialog *>()->moveDownRequested(paths.at(0));
        QCOMPARE(rowTexts(list()).mid(0, 2),
            (QStringList{"[2] " + texts().at(0), "[1] " + texts().at(1)}));
        QCOMPARE(takeRepainted(), (QList<int>{0, 1}));
        // Its front taken by the next button: the list and the line show the rest.
        button("nextButton")->click();
        QCOMPARE(player()->currentRow(), 1);
        QCOMPARE(
            rowTexts(list()), (QStringList{"[1] " + texts().at(0), texts().at(1), texts().at(2)}));
        QCOMPARE(takeRepainted(), (QList<int>{0, 1}));
        QCOMPARE(status(), QString("3 tracks, 1 in queue (0:01)"));
        action("clearQueueAction")->trigger();
        QCOMPARE(takeRepainted(), QList<int>{0});
        QCOMPARE(status(), QString("Queue cleared."));
        QCOMPARE(rowTexts(list()), texts());
    }

    // Steps: "m text seconds" a message, "p text seconds" a library's problem, "summary" asked
    // for, "fire" the shown text's time over; what the line shows after each step.
    void statusLineKeepsProblems_data()
    {
        columns<QString, QString>("steps", "shown");
        QTest::newRow("a message after a problem waits")
            << "m Checking 5, p Limit 10, m Updated 5, fire, fire"
            << "Checking / Limit / Limit / Updated / 3 tracks";
        QTest::newRow("a message interrupted comes back")
            << "m Updated 5, p Failed 10, fire, fire"
            << "Updated / Failed / Updated / 3 tracks";
        QTest::newRow("the summary waits too") << "m Queue 5, p Failed 10, summary, fire"
                                               << "Queue / Failed / Failed / 3 tracks";
    }
    void statusLineKeepsProblems()
    {
        QFETCH(QString, steps);
        openLibrary();
        auto *timer = child<QTimer>(w.get(), "statusTimer");
        w->updateStatusLabel(QString(), 0); // the library's ready message is over
        QStringList shown;
        for (const QString &step : steps.split(", ")) {
            const QStringList words = step.split(' ');
            if (step == "fire")
                fire(timer);
            else if (step == "summary")
                w->updateStatusLabel(QString(), 0);
            else if (words[0] == "m")
                w->updateStatusLabel(words[1], words[2].toInt());
            else
                emit w->library()->status(words[1], words[2].toInt(), Library::Status::Problem);
            shown << status();
        }
        QTEST(shown.join(" / "), "shown");
    }

    // What the window does after row "from" was started and stopped and row 1 selected, then each
    // step came: a button, a key typed in the list, "end" of the track, a user's pick of row 0
    // ("click", or "jump" from the search) or a follow "tick" with the list long untouched.
    void controls_data()
    {
        columns<QString, int, int, State, Rows>("steps", "from", "expected", "state", "history");
        const auto on = State::PlayingState;
        QTest::newRow("next button") << "next" << 0 << 1 << on << Rows{0};
        QTest::newRow("previous button") << "previous" << 2 << 1 << on << Rows{};
        QTest::newRow("Ctrl+Right") << "Ctrl+Right" << 0 << 1 << on << Rows{0};
        QTest::newRow("Ctrl+Left") << "Ctrl+Left" << 2 << 1 << on << Rows{};
        QTest::newRow("media next") << "Media Next" << 0 << 1 << on << Rows{0};
        QTest::newRow("media previous") << "Media Previous" << 2 << 1 << on << Rows{};
        QTest::newRow("Return") << "Return" << 0 << 1 << on << Rows{};
        QTest::newRow("P pauses") << "P, P" << 2 << 2 << State::PausedState << Rows{};
        QTest::newRow("play/pause key") << "Toggle Media Play/Pause" << 2 << 2 << on << Rows{};
        QTest::newRow("stop key") << "P, Media Stop" << 2 << 2 << State::StoppedState << Rows{};
        QTest::newRow("Q queues the selected row") << "Q, next" << 2 << 1 << on << Rows{};
        QTest::newRow("the end") << "end" << 2 << 2 << State::StoppedState << Rows{};
        QTest::newRow("a tick follows") << "tick, Return" << 2 << 2 << on << Rows{};
        QTest::newRow("a click holds the list") << "click, tick, Return" << 2 << 0 << on << Rows{};
        QTest::newRow("Home holds the list") << "Home, tick, Return" << 2 << 0 << on << Rows{};
        QTest::newRow("a search jump holds") << "jump, tick, Return" << 2 << 0 << on << Rows{};
    }
    void controls()
    {
        QFETCH(QString, steps);
        QFETCH(int, from);
        QFETCH(State, state);
        openLibrary();
        player()->playRow(from);
        button("stopButton")->click();
        auto *media = player()->findChild<QMediaPlayer *>();
        // The track is handed to the backend an event-loop turn later; its end comes after that.
        QTRY_VERIFY_WITH_TIMEOUT(media->source() == player()->source(), 20000);
        if (steps.contains("end")) // a track known to be empty would not be looped
            QTRY_VERIFY_WITH_TIMEOUT(media->duration() > 0, 20000);
        list()->setCurrentRow(1);
        list()->hold(QDateTime::currentDateTime().addSecs(-120));
        const QHash<QString, const char *> buttons{
            {"next", "nextButton"}, {"previous", "previousButton"}, {"loop", "loopButton"}};
        for (const QString &step : steps.split(", ")) {
            const QKeyCombination key = QKeySequence(step)[0];
            if (step == "end")
                emit player()->findChild<QMediaPlayer *>()->mediaStatusChanged(
                    QMediaPlayer::EndOfMedia);
            else if (step == "click")
                QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowCenter(0));
            else if (step == "jump")
                emit w->findChild<SearchDialog *>()->jumpRequested(0);
            else if (step == "tick")
                fire(child<QTimer>(w.get(), "followTimer"));
            else if (buttons.contains(step))
                QTest::mouseClick(button(buttons.value(step)), Qt::LeftButton);
            else if (step.startsWith("Ctrl")) // a window shortcut, not a key of the list
                QTest::keyClick(w.get(), key.key(), key.keyboardModifiers());
            else // media keys have no text for QTest::keyClick to derive
                QTest::sendKeyEvent(
                    QTest::Click, list(), key.key(), QString(), key.keyboardModifiers());
        }
        QCOMPARE(player()->playbackState(), state);
        QFETCH(int, expected);
        QCOMPARE(wrongFor(expected, state == State::PlayingState), QString());
        QTEST(player()->history(), "history");
        QVERIFY2(w->queue()->isEmpty(), "a queued track plays once");
        if (steps == "end")
            QCOMPARE(w->windowTitle(), QStringLiteral("Playing finished."));
    }

    // The toggles, the volume and the clock show the player's state; a held slider stays where the
    // pointer is; the list follows the playing row after a minute left alone.
    void toggleVolumeClock()
    {
        openLibrary();
        player()->setVolume(33.5f); // shown as 33 on the slider, kept as it is
        QCOMPARE(player()->volume(), 33.5f);
        action("blueAction")->trigger();
        QVERIFY(showsIcon(button("stopButton"), "stop", color("blue"), QSize(16, 16)));
        const struct {
            const char *button;
            const char *icon;
            const char *tip;
        } toggles[] = {{"shuffleButton", "shuffle", "Shuffle: On"},
            {"loopButton", "repeat", "Looping Playlist"},
            {"loopButton", "repeat-1", "Looping Current Track"}};
        for (const auto &toggle : toggles) {
            button(toggle.button)->click();
            QVERIFY2(
                showsIcon(button(toggle.button), toggle.icon, theme(), QSize(32, 32)), toggle.tip);
            // A screen reader hears the state: shuffle as a switch, the loop mode described.
            QAccessibleInterface *spoken
                = QAccessible::queryAccessibleInterface(button(toggle.button));
            const QString description = spoken->text(QAccessible::Description);
            QVERIFY2(spoken->state().checked || description.startsWith(toggle.tip),
                qPrintable(description));
        }
        // A click checks the button by itself: the switch must follow the player too.
        player()->setShuffle(false);
        QVERIFY(!QAccessible::queryAccessibleInterface(button("shuffleButton"))->state().checked);
        const std::pair<int, const char *> levels[] = {
            {0, "volume-x"}, {32, "volume"}, {33, "volume-1"}, {65, "volume-1"}, {66, "volume-2"}};
        for (const auto &[level, icon] : levels) {
            slider("volumeSlider")->setValue(level);
            QCOMPARE(player()->volume(), float(level));
            QVERIFY2(showsIcon(button("muteButton"), icon, level ? theme() : color("gray"),
                         QSize(16, 16)),
                icon);
        }
        player()->playRow(2);
        QTRY_VERIFY_WITH_TIMEOUT(player()->duration() >= 1000, 9000);
        QCOMPARE(qint64(slider("positionSlider")->maximum()), player()->duration());
        auto *clock = child<QLabel>(w.get(), "timeLabel");
        emit player()->positionChanged(0);
        QCOMPARE(clock->text(), QStringLiteral("00:00 / 00:01"));
        QSignalSpy seeked(player(), &PlayerController::seeked);
        QSlider *position = slider("positionSlider");
        const QPoint quarter(position->width() / 4, position->height() / 2);
        QTest::mousePress(position, Qt::LeftButton, {}, quarter);
        const int held = position->value();
        emit player()->positionChanged(position->maximum());
        QCOMPARE(position->value(), held);
        QTest::mouseRelease(position, Qt::LeftButton, {}, quarter);
        QCOMPARE(seeked.count(), 1);
        for (const int seconds : {59, 61}) {
            list()->setCurrentRow(0);
            list()->hold(QDateTime::currentDateTime().addSecs(-seconds));
            fire(child<QTimer>(w.get(), "followTimer"));
            QCOMPARE(list()->currentRow(), seconds > 60 ? 2 : 0);
        }
    }

    // Stored slots: one in the library plays its row, one outside its stored address, a broken one
    // shows a failure; armed with nothing loaded, a click only disarms; a right click clears one.
    void favourites()
    {
        QTemporaryDir elsewhere;
        const QString broken = elsewhere.filePath("bad.mp3");
        const QString outside = copyFixture("tone.mp3", elsewhere.filePath("outside.mp3"));
        writeFile(broken, QByteArray("no audio here, only text. ").repeated(200));
        const QList<std::pair<int, QString>> kept{
            {3, music->filePath("b.wav")}, {5, broken}, {6, outside}};
        for (const auto &[slot, path] : kept) {
            store().setValue(
                QString("favorites/fav%1/url").arg(slot), QUrl::fromLocalFile(path).toString());
            store().setValue(
                QString("favorites/fav%1/title").arg(slot), QFileInfo(path).baseName());
        }
        openLibrary();
        button("setFavoriteButton")->click();
        fav(3)->click(); // nothing loaded: disarms only, so the next click plays
        fav(6)->click();
        QCOMPARE(player()->source(), QUrl::fromLocalFile(outside));
        QCOMPARE(w->windowTitle(), QStringLiteral("outside"));
        fav(3)->click();
        QCOMPARE(wrongFor(1, true), QString());
        fav(5)->click();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith("Cannot play bad.mp3:"), 20000);
        QCOMPARE(wrongFor(2, true), QString()); // once on to the next track
        QTest::mouseClick(fav(3), Qt::RightButton);
        QCOMPARE(fav(3)->text(), QStringLiteral("Fav 4"));
    }

    // The cover of the playing track beside the heart, scaled to fit; a placeholder for none.
    void coverView_data()
    {
        columns<QStringList, QString>("plays", "centre");
        QTest::newRow("embedded art") << QStringList{"art.flac"} << "#ff8000";
        QTest::newRow("then a track without") << QStringList{"art.flac", "tone.mp3"} << "";
    }
    void coverView()
    {
        QFETCH(QStringList, plays);
        QFETCH(QString, centre);
        w = freshWindow();
        w->show();
        auto *view = child<CoverView>(w.get(), "coverView");
        for (const QString &name : plays) {
            player()->playUrl(QUrl::fromLocalFile(copyFixture(name, music->filePath(name))));
            QTRY_COMPARE_WITH_TIMEOUT(!view->image().isNull(), name.startsWith("art."), 20000);
        }
        const QColor seen
            = view->grab().toImage().pixelColor(view->width() / 2, view->height() / 2);
        QVERIFY2(centre.isEmpty() ? seen != QColor(0xff8000)
                                  : qAbs(seen.green() - 0x80) < 12 && seen.red() > 240,
            qPrintable(seen.name()));
    }

    // A row played by a double click and kept on a favourite, a colour, a size and a ReplayGain
    // mode chosen: a restart brings each back.
    void userSessionAndRestart()
    {
        openLibrary();
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowCenter(1));
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, rowCenter(1));
        QCOMPARE(wrongFor(1, true), QString());
        button("setFavoriteButton")->click();
        fav(2)->click();
        button("stopButton")->click();
        // Colour and size repaint every control at once.
        action("greenAction")->trigger();
        action("bigAction")->trigger();
        QVERIFY(showsIcon(button("stopButton"), "stop", color("green"), QSize(32, 32)));
        QVERIFY(showsIcon(fav(2), "heart", color("pink"), QSize(64, 64)));
        action("gainAlbumAction")->trigger();
        QVERIFY(w->close());
        w.reset();
        finishBackgroundWork();
        w = freshWindow();
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Playlist updated."), 60000);
        QCOMPARE(list()->currentRow(), 1);
        QVERIFY(showsIcon(button("playPauseButton"), "play", color("green"), QSize(96, 96)));
        QCOMPARE(fav(2)->toolTip(), QString("Artist b - Tone"));
        QVERIFY2(action("gainAlbumAction")->isChecked() && !action("gainOffAction")->isChecked(),
            "the ReplayGain mode chosen was not restored");
        action("searchAction")->trigger();
        // The search opens in its query field; a bus client's Raise brings a minimised window back.
        QCOMPARE(
            w->findChild<SearchDialog *>()->focusWidget(), child<QWidget>(w.get(), "searchInput"));
        w->showMinimized();
        w->raiseWindow();
        QVERIFY(!w->isMinimized());
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
