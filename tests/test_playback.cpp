// Playing through the window: starting rows, what follows a track, the
// transport buttons and keys, the clock, the volume and the favourite grid.

#include "PlayQueue.h"
#include "ProgressBar.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QAudioOutput>
#include <QMediaMetaData>
#include <QSignalSpy>
#include <QtTest>

using namespace TestSupport;
using Rows = QList<int>;
using State = QMediaPlayer::PlaybackState;

namespace {
QColor color(const char *name) { return PlayerWindow::palette.value(QString::fromLatin1(name)); }
} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QStringList paths; // rows 0..2 of the library
    std::unique_ptr<PlayerWindow> w;

    // The window started on the library, as after a restart, once its update scan is in.
    bool open()
    {
        w.reset();
        finishBackgroundWork();
        w = freshWindow();
        w->show();
        w->activateWindow();
        w->playlistWidget->setFocus();
        const auto updated = [this] { return w->statusLabel->text() == QLatin1String("Playlist updated."); };
        return QTest::qWaitForWindowActive(w.get()) && QTest::qWaitFor(updated, 20000);
    }
    bool showsPlay(const char *icon) // the drawing and the name a screen reader reads, at once after a click
    {
        return showsIcon(w->playPause, icon, w->mainColor, QSize(48, 48))
            && w->playPause->accessibleName().toLower() == icon;
    }
    bool playing() { return w->player->playbackState() == State::PlayingState; }
    bool plays(int row)
    {
        return w->currentIndex == row && w->player->source() == w->mediaList->at(row) && playing()
            && w->windowTitle() == w->mediaList->textAt(row) && showsPlay("pause");
    }
    QPoint rowCenter(int row) { return w->playlistWidget->visualItemRect(w->playlistWidget->item(row)).center(); }
    bool idle(int row) { return w->currentIndex == row && !playing() && showsPlay("play"); }
    // One tick of the follow timer with the list elsewhere, untouched for @p seconds (-1: never).
    bool follows(int seconds)
    {
        w->playlistWidget->setCurrentRow(w->currentIndex ? 0 : 1);
        w->lastScrollTime = seconds < 0 ? QDateTime() : QDateTime::currentDateTime().addSecs(-seconds);
        return fire(w->followTimer) && w->playlistWidget->currentRow() == w->currentIndex;
    }
private slots:
    void initTestCase() { isolateSettings(); }
    void init()
    {
        clearStore();
        dir = std::make_unique<QTemporaryDir>();
        paths = writeLibrary(dir->path());
        store().setValue("musicFolder", dir->path());
        QVERIFY(open());
    }

    // Rows started by hand, the next run resuming one, the list following, a double click, tracks playing out.
    void session()
    {
        w->playTrack(2);
        QVERIFY(plays(2));
        w->stop->click();
        w->playTrack(-1);
        w->playTrack(3);
        QVERIFY(idle(2));
        QVERIFY(!follows(-1));
        QVERIFY(open());
        w->playPause->click(); // the first press resumes the last run's row
        w->setGreen->trigger(); // the repaint shows what the player does
        QVERIFY(plays(2));
        w->playPause->click();
        QVERIFY(w->player->playbackState() == State::PausedState && idle(2));
        // The clock shows elapsed or, once clicked, remaining time; a click on the slider seeks there.
        QTRY_VERIFY_WITH_TIMEOUT(w->player->duration() >= 1000 && w->slider->maximum() == w->player->duration(), 9000);
        emit w->player->positionChanged(0);
        QCOMPARE(w->timeLabel->text(), QStringLiteral("00:00 / 00:01"));
        QTest::mouseClick(w->timeLabel, Qt::LeftButton);
        emit w->player->positionChanged(0);
        QCOMPARE(w->timeLabel->text(), QStringLiteral("-00:01 / 00:01"));
        // Position reports leave a held slider where the pointer is: moving it would seek again.
        QSignalSpy moved(w->slider, &QSlider::sliderMoved);
        const QPoint quarter(w->slider->width() / 4, w->slider->height() / 2);
        QTest::mousePress(w->slider, Qt::LeftButton, {}, quarter);
        const int target = w->slider->maximum() / 4, held = w->slider->value();
        emit w->player->positionChanged(w->slider->maximum());
        QVERIFY(w->slider->isSliderDown() && w->slider->value() == held);
        QTest::mouseRelease(w->slider, Qt::LeftButton, {}, quarter);
        QVERIFY(moved.count() == 1 && qAbs(moved.at(0).at(0).toInt() - target) < target / 5);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(w->player->position() - target) < target / 5, 9000);
        QVERIFY(!follows(59) && follows(61));
        // As the system delivers a double click: a click, then the second press.
        const QPoint row1 = rowCenter(1);
        QTest::mouseClick(w->playlistWidget->viewport(), Qt::LeftButton, {}, row1);
        QTest::mouseDClick(w->playlistWidget->viewport(), Qt::LeftButton, {}, row1);
        QVERIFY(plays(1));
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Playing finished."), 20000);
        QCOMPARE(Rows(w->playHistory), Rows{1});
        QVERIFY(idle(2));
    }

    // What the player does after row "from" was started and stopped, then each step came: the end of the
    // track, a click on a button, a key typed in the list (row 1 selected), "gone": a file gone from the
    // library queued, a user's pick of row 0 ("click", "jump" from the search) or a follow "tick".
    // expected -2: a random other row; from -1: nothing loaded.
    void transport_data()
    {
        columns<QString, int, int, State, Rows>("steps", "from", "expected", "state", "history");
        const auto on = State::PlayingState, paused = State::PausedState, off = State::StoppedState;
        QTest::newRow("end, middle") << "end" << 1 << 2 << on << Rows{1};
        QTest::newRow("end, last") << "end" << 2 << 2 << off << Rows{};
        QTest::newRow("end, last, loop list wraps") << "loop, end" << 2 << 0 << on << Rows{};
        QTest::newRow("end, loop track") << "loop, loop, end" << 1 << 1 << on << Rows{};
        QTest::newRow("end, shuffle, last") << "shuffle, loop, end" << 2 << -2 << on << Rows{2};
        QTest::newRow("end, shuffle, loop track") << "shuffle, loop, loop, end" << 1 << 1 << on << Rows{};
        QTest::newRow("end, queue before loop track") << "loop, loop, Q, end" << 2 << 1 << on << Rows{};
        QTest::newRow("end, queued file gone") << "gone, end" << 1 << 2 << on << Rows{1};
        QTest::newRow("next, last never wraps") << "loop, next" << 2 << 2 << off << Rows{};
        QTest::newRow("next, shuffle") << "shuffle, next" << 1 << -2 << on << Rows{1};
        QTest::newRow("next, queue before shuffle") << "shuffle, Q, next" << 2 << 1 << on << Rows{};
        QTest::newRow("next, queued file gone") << "gone, next" << 0 << 1 << on << Rows{0};
        QTest::newRow("previous, first row") << "next, previous, previous" << 0 << 0 << on << Rows{0};
        QTest::newRow("walk back") << "shuffle, next, next, previous, previous, previous" << 1 << 1 << on << Rows{};
        QTest::newRow("Return") << "Return" << 0 << 1 << on << Rows{};
        QTest::newRow("P plays") << "P" << 2 << 2 << on << Rows{};
        QTest::newRow("P pauses") << "P, P" << 2 << 2 << paused << Rows{};
        QTest::newRow("play/pause") << "Toggle Media Play/Pause" << 2 << 2 << on << Rows{};
        QTest::newRow("stop") << "P, Media Stop" << 2 << 2 << off << Rows{};
        QTest::newRow("media next") << "Media Next" << 0 << 1 << on << Rows{0};
        QTest::newRow("media previous") << "Media Previous" << 2 << 1 << on << Rows{};
        QTest::newRow("Ctrl+Right") << "Ctrl+Right" << 0 << 1 << on << Rows{0};
        QTest::newRow("Ctrl+Left") << "Ctrl+Left" << 2 << 1 << on << Rows{};
        QTest::newRow("P, nothing loaded") << "P" << -1 << 0 << off << Rows{};
        QTest::newRow("a click holds the list") << "click, tick, Return" << 2 << 0 << on << Rows{};
        QTest::newRow("Home holds the list") << "Home, tick, Return" << 2 << 0 << on << Rows{};
        QTest::newRow("a search jump holds the list") << "jump, tick, Return" << 2 << 0 << on << Rows{};
    }
    void transport()
    {
        QFETCH(QString, steps);
        QFETCH(int, from);
        QFETCH(int, expected);
        w->playTrack(from);
        w->stop->click();
        w->playlistWidget->setCurrentRow(1);
        if (steps.contains("tick")) // the list untouched for long: the follow is due
            w->lastScrollTime = QDateTime::currentDateTime().addSecs(-120);
        const QHash<QString, QPushButton *> buttons{
            {"next", w->forward}, {"previous", w->previous}, {"shuffle", w->shuffle}, {"loop", w->looping}};
        for (const QString &step : steps.split(", ")) {
            const QKeyCombination key = QKeySequence(step)[0];
            if (step == "end")
                emit w->player->mediaStatusChanged(QMediaPlayer::EndOfMedia);
            else if (step == "gone")
                w->addToQueue(dir->filePath("gone.mp3"));
            else if (step == "click")
                QTest::mouseClick(w->playlistWidget->viewport(), Qt::LeftButton, {}, rowCenter(0));
            else if (step == "jump")
                emit w->searchDialog->jumpRequested(0);
            else if (step == "tick")
                fire(w->followTimer);
            else if (buttons.contains(step))
                QTest::mouseClick(buttons.value(step), Qt::LeftButton);
            else // media keys have no text for QTest::keyClick to derive
                QTest::sendKeyEvent(QTest::Click, w->playlistWidget, key.key(), QString(), key.keyboardModifiers());
        }
        const int row = expected == -2 ? w->currentIndex : expected;
        QTEST(w->player->playbackState(), "state");
        QVERIFY((row != from || expected != -2) && (playing() ? plays(row) : idle(row)));
        QFETCH(Rows, history); // not QList ==, which on Qt 6.4 hands memcmp a null pointer for two empty lists
        QVERIFY(std::equal(w->playHistory.cbegin(), w->playHistory.cend(), history.cbegin(), history.cend()));
        QVERIFY(w->queue->isEmpty()); // a queued track plays once
    }

    // The toggles light up and cycle, and come back after a restart; so does a mute, with nothing to return to.
    void togglesAcrossRestart()
    {
        const QColor theme = w->mainColor;
        QVERIFY(showsIcon(w->shuffle, "shuffle", color("gray"), QSize(32, 32)));
        w->shuffle->click();
        QVERIFY(showsIcon(w->shuffle, "shuffle", theme, QSize(32, 32)));
        const struct { const char *icon; bool lit; const char *tip; } steps[] = {
            {"repeat", true, "Looping Playlist"}, {"repeat-1", true, "Looping Current Track"},
            {"repeat", false, "Looping Off"}, {"repeat", true, "Looping Playlist"}};
        for (const auto &step : steps) {
            QTest::mouseClick(w->looping, Qt::LeftButton);
            QVERIFY2(showsIcon(w->looping, step.icon, step.lit ? theme : color("gray"), QSize(32, 32)), step.tip);
            QCOMPARE(w->looping->toolTip(), QString::fromLatin1(step.tip));
        }
        w->volume->setValue(30);
        w->mute->click();
        QVERIFY(w->close() && store().value("shuffling").toBool() && store().value("loopMode").toInt() == 1);
        QVERIFY(open() && w->shuffleEnabled && w->volume->value() == 0);
        w->mute->click(); // the first-start volume
        QCOMPARE(w->volume->value(), 50);
    }

    // Stored slots: one in the library plays its row, one outside its stored address (and play/pause then
    // pauses it), a broken one shows a failure; armed, a slot takes the playing track, or nothing when
    // nothing is loaded; a right click clears one.
    void favourites()
    {
        QTemporaryDir elsewhere;
        const QString broken = elsewhere.filePath("bad.mp3"), outside = elsewhere.filePath("outside.mp3");
        writeFile(broken, QByteArray("no audio here, only text. ").repeated(200));
        copyFixture("tone.mp3", outside);
        w.reset();
        QSettings settings = store();
        for (const auto &[slot, path] : QList<std::pair<int, QString>>{{3, paths.at(1)}, {5, broken}, {6, outside}}) {
            settings.setValue(QStringLiteral("favorites/fav%1/url").arg(slot), QUrl::fromLocalFile(path).toString());
            settings.setValue(QStringLiteral("favorites/fav%1/title").arg(slot), QFileInfo(path).baseName());
        }
        settings.sync();
        QVERIFY(open());
        QTest::mouseClick(w->favorite, Qt::LeftButton);
        QTest::mouseClick(w->buttons.at(3), Qt::LeftButton); // nothing loaded: disarms only, so the next click plays
        QTest::mouseClick(w->buttons.at(6), Qt::LeftButton);
        QVERIFY(w->player->source() == QUrl::fromLocalFile(outside) && playing() && showsPlay("pause"));
        QVERIFY(w->windowTitle() == "outside" && w->currentIndex == 0);
        w->playPause->click(); // pauses it: the last run's row is no longer resumed
        QVERIFY(w->player->source() == QUrl::fromLocalFile(outside) && !playing() && showsPlay("play"));
        QTest::mouseClick(w->buttons.at(3), Qt::LeftButton);
        QVERIFY(plays(1));
        QTest::mouseClick(w->buttons.at(5), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w->statusLabel->text().startsWith("Cannot play bad.mp3:") && showsPlay("play"), 20000);
        w->playTrack(2);
        QTRY_VERIFY_WITH_TIMEOUT(!w->player->metaData().stringValue(QMediaMetaData::Title).isEmpty(), 10000);
        QTest::mouseClick(w->favorite, Qt::LeftButton);
        QTest::mouseClick(w->buttons.at(0), Qt::LeftButton);
        QCOMPARE(w->buttons.at(0)->toolTip(), QStringLiteral("Ogg Album Artist - Ogg Tone"));
        QVERIFY(showsIcon(w->buttons.at(0), "heart", color("pink"), QSize(32, 32)));
        QVERIFY(!w->favorite->isChecked() && w->player->source() == QUrl::fromLocalFile(paths.at(2)));
        QTest::mouseClick(w->buttons.at(3), Qt::RightButton);
        QVERIFY(w->buttons.at(3)->text() == "Fav 4" && w->buttons.at(3)->toolTip() == "No favorite set");
        QVERIFY(w->close() && open());
        QCOMPARE(w->buttons.at(0)->toolTip(), QStringLiteral("Ogg Album Artist - Ogg Tone"));
        QTest::mouseClick(w->buttons.at(0), Qt::LeftButton);
        QVERIFY(plays(2));
    }

    void formatTime() // nothing below zero, whole seconds, minutes never wrap into hours
    {
        const std::pair<qint64, const char *> rows[] = {{-5000, "00:00"}, {999, "00:00"}, {3725000, "62:05"}};
        for (const auto &[ms, text] : rows)
            QCOMPARE(PlayerWindow::formatTime(ms), QString::fromLatin1(text));
    }

    void volume_data()
    {
        columns<int, QString>("level", "icon");
        const std::pair<int, const char *> rows[] = {{0, "volume-x"}, {1, "volume"}, {32, "volume"}, {33, "volume-1"},
                                                     {65, "volume-1"}, {66, "volume-2"}, {100, "volume-2"}};
        for (const auto &[level, icon] : rows)
            QTest::addRow("%d", level) << level << QString::fromLatin1(icon);
    }
    // The slider sets the output and the icon; mute takes the volume away and gives it back, named for what it does.
    void volume()
    {
        QFETCH(int, level);
        QFETCH(QString, icon);
        w->setBlue->trigger();
        w->volume->setValue(level);
        QCOMPARE(qRound(w->audioOutput->volume() * 100), level);
        QVERIFY(showsIcon(w->mute, icon, level ? color("blue") : color("gray"), QSize(16, 16)));
        w->mute->click();
        QCOMPARE(w->volume->value(), level ? 0 : 50);
        QCOMPARE(w->mute->accessibleName(), level ? "Unmute" : "Mute");
        w->mute->click();
        QCOMPARE(w->volume->value(), level);
    }
};

QTEST_MAIN(TestPlayback)
#include "test_playback.moc"
