// Playing through the window: starting rows, what follows a track, the
// transport buttons and keys, the clock, the volume and the favourite grid.

#include "PlayQueue.h"
#include "ProgressBar.h"
#include "TestSupport.h"

#include <QAudioOutput>
#include <QLabel>
#include <QMediaMetaData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

using namespace TestSupport;
using Rows = QList<int>;
using State = QMediaPlayer::PlaybackState;

namespace {

QColor color(const char *name) { return PlayerWindow::palette.value(QString::fromLatin1(name)); }

template <typename... T, typename... Names> void columns(Names... names) { (QTest::addColumn<T>(names), ...); }

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
        return QTest::qWaitForWindowActive(w.get()) && QTest::qWaitFor([this] {
            return w->statusLabel->text() == QLatin1String("Playlist updated.");
        }, 20000);
    }
    bool showsPlay(const char *icon) { return showsIcon(w->playPause, icon, w->mainColor, QSize(48, 48)); }
    bool is(State state) { return w->player->playbackState() == state; }
    bool plays(int row)
    {
        return w->currentIndex == row && w->player->source() == w->mediaList->at(row) && is(State::PlayingState)
            && w->windowTitle() == w->mediaList->textAt(row) && showsPlay("pause");
    }
    bool idle(int row) { return w->currentIndex == row && !is(State::PlayingState) && showsPlay("play"); }
    bool follows() // one tick of the follow timer; whether it put the list on the playing row
    {
        w->playlistWidget->setCurrentRow(w->currentIndex ? 0 : 1);
        return fire(w->followTimer) && w->playlistWidget->currentRow() == w->currentIndex;
    }

private slots:
    void initTestCase() { isolateSettings(); }
    void init()
    {
        w.reset(); // before its folder goes
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
        for (int row : {-1, 3}) {
            w->playTrack(row);
            QVERIFY(idle(2));
        }
        QVERIFY(!follows()); // the clock was never set
        QVERIFY(open());
        // Left alone for over a minute, the list stays where it is on the press that resumes the last row.
        w->playlistWidget->setCurrentRow(0);
        w->lastScrollTime = QDateTime::currentDateTime().addSecs(-61);
        w->playPause->click();
        QVERIFY(plays(2));
        QCOMPARE(w->playlistWidget->currentRow(), 0);
        w->playPause->click();
        QVERIFY(is(State::PausedState) && idle(2));
        QVERIFY(!follows());
        w->lastScrollTime = QDateTime::currentDateTime().addSecs(-61);
        QVERIFY(follows());

        // As the system delivers a double click: a click, then the second press.
        const QRect rect = w->playlistWidget->visualItemRect(w->playlistWidget->item(1));
        QTest::mouseClick(w->playlistWidget->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(w->playlistWidget->viewport(), Qt::LeftButton, {}, rect.center());
        QVERIFY(plays(1));
        QVERIFY(w->playHistory.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Playing finished."), 20000);
        QCOMPARE(Rows(w->playHistory), Rows{1});
        QVERIFY(idle(2));
    }

    // What the end of a track, Next and Previous start; -1: nothing, -2: a random other row.
    void whatPlaysNext_data()
    {
        // loop: clicks on the loop button (list, then track); queued 3: a file gone from the library.
        columns<QString, bool, int, int, Rows, int, int, Rows>("event", "shuffled", "loop", "from", "history",
                                                               "queued", "expected", "after");
        const QString end = "end", next = "next", prev = "previous";
        QTest::newRow("end, middle") << end << false << 0 << 1 << Rows{} << -1 << 2 << Rows{1};
        QTest::newRow("end, last") << end << false << 0 << 2 << Rows{} << -1 << -1 << Rows{};
        QTest::newRow("end, last, loop list wraps") << end << false << 1 << 2 << Rows{} << -1 << 0 << Rows{};
        QTest::newRow("end, loop track") << end << false << 2 << 1 << Rows{} << -1 << 1 << Rows{};
        QTest::newRow("end, shuffle, last") << end << true << 1 << 2 << Rows{} << -1 << -2 << Rows{2};
        QTest::newRow("end, shuffle, loop track") << end << true << 2 << 1 << Rows{} << -1 << 1 << Rows{};
        QTest::newRow("end, queue before loop track") << end << false << 2 << 1 << Rows{} << 0 << 0 << Rows{};
        QTest::newRow("end, queued file gone") << end << false << 0 << 1 << Rows{} << 3 << 2 << Rows{1};
        QTest::newRow("next, middle") << next << false << 0 << 1 << Rows{} << -1 << 2 << Rows{1};
        QTest::newRow("next, last never wraps") << next << false << 1 << 2 << Rows{} << -1 << -1 << Rows{};
        QTest::newRow("next, shuffle") << next << true << 0 << 1 << Rows{0} << -1 << -2 << Rows{0, 1};
        QTest::newRow("next, queue before shuffle") << next << true << 0 << 1 << Rows{} << 2 << 2 << Rows{};
        QTest::newRow("next, queued file gone") << next << false << 0 << 0 << Rows{} << 3 << 1 << Rows{0};
        QTest::newRow("previous, middle") << prev << false << 0 << 1 << Rows{2} << -1 << 0 << Rows{2};
        QTest::newRow("previous, first row") << prev << false << 1 << 0 << Rows{2} << -1 << -1 << Rows{2};
        QTest::newRow("previous, shuffle, history") << prev << true << 0 << 1 << Rows{0, 2} << -1 << 2 << Rows{0};
    }
    void whatPlaysNext()
    {
        QFETCH(QString, event);
        QFETCH(bool, shuffled);
        QFETCH(int, loop);
        QFETCH(int, from);
        QFETCH(Rows, history);
        QFETCH(int, queued);
        QFETCH(int, expected);
        for (int i = 0; i < loop; ++i)
            w->looping->click();
        if (shuffled)
            w->shuffle->click();
        w->playTrack(from);
        w->stop->click();
        for (int row : std::as_const(history))
            w->playHistory.push(row);
        if (queued >= 0)
            w->addToQueue(queued < 3 ? paths.at(queued) : dir->filePath("gone.mp3"));

        if (event == "end")
            emit w->player->mediaStatusChanged(QMediaPlayer::EndOfMedia);
        else
            QTest::mouseClick(event == "next" ? w->forward : w->previous, Qt::LeftButton);
        if (expected == -2)
            QVERIFY(w->currentIndex != from && plays(w->currentIndex));
        else
            QVERIFY(expected >= 0 ? plays(expected) : idle(from));
        if (expected == -1 && event == "end")
            QCOMPARE(w->windowTitle(), QStringLiteral("Playing finished."));
        QTEST(Rows(w->playHistory), "after");
        // A queued track plays once and leaves no mark behind.
        QVERIFY(w->queue->isEmpty());
        QCOMPARE(rowTexts(w->playlistWidget), w->mediaList->getList());
    }

    void shuffleAndLoopToggles()
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
        w->close();
        QCOMPARE(store().value("shuffling").toBool(), true);
        QCOMPARE(store().value("loopMode").toInt(), 1);
    }

    // Keys in the list with row 1 selected, after row "before" (if any) was started.
    void keys_data()
    {
        columns<QString, int, int, State>("keys", "before", "row", "state");
        const auto on = State::PlayingState, paused = State::PausedState, off = State::StoppedState;
        QTest::newRow("Return") << "Return" << -1 << 1 << on;
        QTest::newRow("Enter") << "Num+Enter" << -1 << 1 << on;
        QTest::newRow("Q queues") << "Q" << -1 << 0 << off;
        QTest::newRow("P pauses") << "P" << 2 << 2 << paused;
        QTest::newRow("P resumes") << "P, P" << 2 << 2 << on;
        QTest::newRow("play/pause") << "Toggle Media Play/Pause" << 2 << 2 << paused;
        QTest::newRow("stop") << "Media Stop" << 2 << 2 << off;
        QTest::newRow("play after stop") << "Media Stop, P" << 2 << 2 << on;
        QTest::newRow("media next") << "Media Next" << 0 << 1 << on;
        QTest::newRow("media previous") << "Media Previous" << 2 << 1 << on;
        QTest::newRow("Ctrl+Right") << "Ctrl+Right" << 0 << 1 << on;
        QTest::newRow("Ctrl+Left") << "Ctrl+Left" << 2 << 1 << on;
    }
    void keys()
    {
        QFETCH(QString, keys);
        QFETCH(int, before);
        if (before >= 0)
            w->playTrack(before);
        w->playlistWidget->setCurrentRow(1);
        const QKeySequence sequence(keys);
        for (int i = 0; i < sequence.count(); ++i) {
            QVERIFY(sequence[i].key() != Qt::Key_unknown);
            // Media keys have no text for QTest::keyClick to derive.
            QTest::sendKeyEvent(QTest::Click, w->playlistWidget, sequence[i].key(), QString(), sequence[i].keyboardModifiers());
        }
        QTEST(w->currentIndex, "row");
        QTEST(w->player->playbackState(), "state");
        QCOMPARE(w->queue->getList(), keys == "Q" ? QStringList{paths.at(1)} : QStringList{});
        QVERIFY(showsPlay(is(State::PlayingState) ? "pause" : "play"));
    }

    // Stored slots: one in the library plays its row, one outside its stored address, a broken one
    // shows a failure; armed, a slot takes the playing track; a right click clears one.
    void favourites()
    {
        QTemporaryDir elsewhere;
        const QString broken = elsewhere.filePath("broken.mp3"), outside = elsewhere.filePath("outside.mp3");
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
        QTest::mouseClick(w->buttons.at(3), Qt::LeftButton);
        QVERIFY(plays(1));
        QTest::mouseClick(w->buttons.at(6), Qt::LeftButton);
        QVERIFY(w->player->source() == QUrl::fromLocalFile(outside) && is(State::PlayingState));
        QVERIFY(w->windowTitle() == "outside" && showsPlay("pause") && w->currentIndex == 1);
        QTest::mouseClick(w->buttons.at(5), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w->statusLabel->text().startsWith("Cannot play broken.mp3: "), 20000);
        QVERIFY(showsPlay("play"));

        w->playTrack(2);
        QTRY_VERIFY_WITH_TIMEOUT(!w->player->metaData().stringValue(QMediaMetaData::Title).isEmpty(), 10000);
        QTest::mouseClick(w->favorite, Qt::LeftButton);
        QTest::mouseClick(w->buttons.at(0), Qt::LeftButton);
        QCOMPARE(w->buttons.at(0)->toolTip(), QStringLiteral("Ogg Album Artist - Ogg Tone"));
        QVERIFY(showsIcon(w->buttons.at(0), "heart", color("pink"), QSize(32, 32)));
        QVERIFY(!w->favorite->isChecked() && w->player->source() == QUrl::fromLocalFile(paths.at(2)));
        QTest::mouseClick(w->buttons.at(3), Qt::RightButton);
        QCOMPARE(w->buttons.at(3)->text(), QStringLiteral("Fav 4"));
        QCOMPARE(w->buttons.at(3)->toolTip(), QStringLiteral("No favorite set"));
        w->close();
        QVERIFY(open());
        QCOMPARE(w->buttons.at(0)->toolTip(), QStringLiteral("Ogg Album Artist - Ogg Tone"));
        QCOMPARE(w->buttons.at(3)->text(), QStringLiteral("Fav 4"));
        QTest::mouseClick(w->buttons.at(0), Qt::LeftButton);
        QVERIFY(plays(2));
    }

    // The clock shows elapsed or, once clicked, remaining time; a click on the slider seeks there.
    void clockAndSeek()
    {
        w->playTrack(1);
        w->playPause->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->player->duration() >= 1000 && w->slider->maximum() == w->player->duration(), 20000);
        emit w->player->positionChanged(0);
        QCOMPARE(w->timeLabel->text(), QStringLiteral("00:00 / 00:01"));
        QTest::mouseClick(w->timeLabel, Qt::LeftButton);
        emit w->player->positionChanged(0);
        QCOMPARE(w->timeLabel->text(), QStringLiteral("-00:01 / 00:01"));
        QSignalSpy moved(w->slider, &QSlider::sliderMoved);
        QTest::mouseClick(w->slider, Qt::LeftButton, {}, QPoint(w->slider->width() / 4, w->slider->height() / 2));
        const int target = w->slider->maximum() / 4;
        QCOMPARE(moved.count(), 1);
        QVERIFY2(qAbs(moved.at(0).at(0).toInt() - target) < target / 5, qPrintable(moved.at(0).at(0).toString()));
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(w->player->position() - target) < target / 5, 10000);
    }

    void formatTime_data()
    {
        columns<qint64, QString>("ms", "text");
        QTest::newRow("negative") << qint64(-5000) << "00:00";
        QTest::newRow("under a second") << qint64(999) << "00:00";
        QTest::newRow("75 s") << qint64(75000) << "01:15";
        QTest::newRow("59:59") << qint64(3599999) << "59:59";
        QTest::newRow("minutes not wrapped") << qint64(3725000) << "62:05";
        QTest::newRow("three-digit minutes") << qint64(6000000) << "100:00";
    }
    void formatTime()
    {
        QFETCH(qint64, ms);
        QTEST(PlayerWindow::formatTime(ms), "text");
    }

    void volume_data()
    {
        columns<int, QString>("level", "icon");
        const std::pair<int, const char *> rows[] = {{0, "volume-x"}, {1, "volume"}, {32, "volume"}, {33, "volume-1"},
                                                     {65, "volume-1"}, {66, "volume-2"}, {100, "volume-2"}};
        for (const auto &[level, icon] : rows)
            QTest::addRow("%d", level) << level << QString::fromLatin1(icon);
    }
    // The slider sets the output and the icon; mute takes the volume away and gives it back.
    void volume()
    {
        QFETCH(int, level);
        QFETCH(QString, icon);
        QCOMPARE(w->volume->value(), 50); // the first start
        w->setBlue->trigger();
        w->volume->setValue(level);
        QCOMPARE(qRound(w->audioOutput->volume() * 100), level);
        QCOMPARE(w->volume->toolTip(), QStringLiteral("%1%").arg(level));
        QVERIFY(showsIcon(w->mute, icon, level ? color("blue") : color("gray"), QSize(16, 16)));
        w->mute->click();
        QCOMPARE(w->volume->value(), level ? 0 : 50);
        w->mute->click();
        QCOMPARE(w->volume->value(), level);
    }
};

QTEST_MAIN(TestPlayback)
#include "test_playback.moc"
