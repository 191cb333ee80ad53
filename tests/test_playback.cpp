// Playing through the window: starting rows, what follows a track, the
// transport buttons and keys, the clock, the volume and the favourite grid.

#include "PlayQueue.h"
#include "ProgressBar.h"
#include "TestSupport.h"

#include <QAudioOutput>
#include <QDataStream>
#include <QLabel>
#include <QMediaMetaData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

using namespace TestSupport;
using Rows = QList<int>;

namespace {

// Mono 8-bit silence at 8 kHz: long enough to pause, seek and read the clock.
QByteArray silentWav(quint32 seconds)
{
    const quint32 size = 8000 * seconds;
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << 36 + size;
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(8000) << quint16(1) << quint16(8);
    out.writeRawData("data", 4);
    out << size;
    return wav + QByteArray(int(size), char(0x80));
}

QColor color(const char *name) { return PlayerWindow::palette.value(QString::fromLatin1(name)); }

void storeFavorite(int slot, const QString &path, const QString &title)
{
    QSettings settings = store();
    settings.beginGroup(QStringLiteral("favorites/fav%1").arg(slot));
    settings.setValue("url", QUrl::fromLocalFile(path).toString());
    settings.setValue("artist", "Stored Artist");
    settings.setValue("title", title);
}

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
    bool playing() { return w->player->playbackState() == QMediaPlayer::PlayingState; }
    bool plays(int row)
    {
        return w->currentIndex == row && w->player->source() == w->mediaList->at(row) && playing()
            && w->windowTitle() == w->mediaList->textAt(row) && showsPlay("pause");
    }
    bool idle(int row) { return w->currentIndex == row && !playing() && showsPlay("play"); }

private slots:
    void initTestCase() { isolateSettings(); }
    void init()
    {
        w.reset();
        finishBackgroundWork();
        clearStore();
        dir = std::make_unique<QTemporaryDir>();
        paths = writeLibrary(dir->path());
        store().setValue("musicFolder", dir->path());
        QVERIFY(open());
    }

    // Rows started by hand, the next run resuming one, a double click, two real tracks playing out.
    void session()
    {
        w->playTrack(2);
        QVERIFY(plays(2));
        w->stop->click();
        for (int row : {-1, 3}) {
            w->playTrack(row);
            QVERIFY(idle(2));
        }
        QVERIFY(open());
        // The list stands elsewhere, left alone for over a minute; the first press does not move it.
        w->playlistWidget->setCurrentRow(0);
        w->lastScrollTime = QDateTime::currentDateTime().addSecs(-61);
        w->playPause->click();
        QVERIFY(plays(2));
        QCOMPARE(w->playlistWidget->currentRow(), 0);
        w->playPause->click();
        QCOMPARE(w->player->playbackState(), QMediaPlayer::PausedState);

        const QRect rect = w->playlistWidget->visualItemRect(w->playlistWidget->item(1));
        // As the system delivers a double click: a click, then the second press.
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
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("shuffled");
        QTest::addColumn<int>("loop"); // clicks on the loop button: list, then track
        QTest::addColumn<int>("from");
        QTest::addColumn<Rows>("history");
        QTest::addColumn<int>("queued"); // -1: nothing queued, 3: a file gone from the library
        QTest::addColumn<int>("expected");
        QTest::addColumn<Rows>("after");
        QTest::addColumn<QString>("tip");
        const QString on = "Shuffle: On", off = "Shuffle: Off", end = "end", next = "next", prev = "previous";
        QTest::newRow("end, middle") << end << false << 0 << 1 << Rows{} << -1 << 2 << Rows{1} << off;
        QTest::newRow("end, last") << end << false << 0 << 2 << Rows{} << -1 << -1 << Rows{} << "";
        QTest::newRow("end, last, loop list wraps") << end << false << 1 << 2 << Rows{} << -1 << 0 << Rows{} << "";
        QTest::newRow("end, loop track") << end << false << 2 << 1 << Rows{} << -1 << 1 << Rows{} << "";
        QTest::newRow("end, shuffle, last") << end << true << 0 << 2 << Rows{} << -1 << -2 << Rows{2} << on;
        QTest::newRow("end, shuffle, loop list") << end << true << 1 << 1 << Rows{} << -1 << -2 << Rows{1} << on;
        QTest::newRow("end, shuffle, loop track") << end << true << 2 << 1 << Rows{} << -1 << 1 << Rows{} << "";
        QTest::newRow("end, queue before loop track") << end << false << 2 << 1 << Rows{} << 0 << 0 << Rows{} << "";
        QTest::newRow("end, queued file gone") << end << false << 0 << 1 << Rows{} << 3 << 2 << Rows{1} << off;
        QTest::newRow("next, middle") << next << false << 0 << 1 << Rows{} << -1 << 2 << Rows{1} << off;
        QTest::newRow("next, last never wraps") << next << false << 1 << 2 << Rows{} << -1 << -1 << Rows{} << "";
        QTest::newRow("next, shuffle") << next << true << 0 << 1 << Rows{0} << -1 << -2 << Rows{0, 1} << on;
        QTest::newRow("next, queue before shuffle") << next << true << 0 << 1 << Rows{} << 2 << 2 << Rows{} << "";
        QTest::newRow("next, queued file gone") << next << false << 0 << 0 << Rows{} << 3 << 1 << Rows{0} << off;
        QTest::newRow("previous, middle") << prev << false << 0 << 1 << Rows{2} << -1 << 0 << Rows{2} << "";
        QTest::newRow("previous, first row") << prev << false << 1 << 0 << Rows{2} << -1 << -1 << Rows{2} << "";
        QTest::newRow("previous, shuffle, no history") << prev << true << 0 << 1 << Rows{} << -1 << -1 << Rows{} << "";
        QTest::newRow("previous, shuffle, history") << prev << true << 0 << 1 << Rows{0, 2} << -1 << 2 << Rows{0} << "";
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
        QTEST(w->shuffle->toolTip(), "tip");
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

    // Keys in the list with row 1 selected; "before": the row playing first, if any.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("row");
        QTest::addColumn<QMediaPlayer::PlaybackState>("state");
        const auto playing = QMediaPlayer::PlayingState, paused = QMediaPlayer::PausedState;
        const auto stopped = QMediaPlayer::StoppedState;
        QTest::newRow("Return") << int(Qt::Key_Return) << 0 << -1 << 1 << playing;
        QTest::newRow("Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << -1 << 1 << playing;
        QTest::newRow("Q queues") << int(Qt::Key_Q) << 0 << -1 << 0 << stopped;
        QTest::newRow("P") << int(Qt::Key_P) << 0 << 2 << 2 << paused;
        QTest::newRow("play/pause") << int(Qt::Key_MediaTogglePlayPause) << 0 << 2 << 2 << paused;
        QTest::newRow("stop") << int(Qt::Key_MediaStop) << 0 << 2 << 2 << stopped;
        QTest::newRow("media next") << int(Qt::Key_MediaNext) << 0 << 0 << 1 << playing;
        QTest::newRow("media previous") << int(Qt::Key_MediaPrevious) << 0 << 2 << 1 << playing;
        QTest::newRow("Ctrl+Right") << int(Qt::Key_Right) << int(Qt::ControlModifier) << 0 << 1 << playing;
        QTest::newRow("Ctrl+Left") << int(Qt::Key_Left) << int(Qt::ControlModifier) << 2 << 1 << playing;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, before);
        if (before >= 0)
            w->playTrack(before);
        w->playlistWidget->setCurrentRow(1);
        // Media keys have no text for QTest::keyClick to derive.
        QTest::sendKeyEvent(QTest::Click, w->playlistWidget, Qt::Key(key), QString(), Qt::KeyboardModifiers(modifiers));
        QTEST(w->currentIndex, "row");
        QTEST(w->player->playbackState(), "state");
        QCOMPARE(w->queue->getList(), key == Qt::Key_Q ? QStringList{paths.at(1)} : QStringList{});
    }

    // The list follows the playing row once the user has left it alone for a minute.
    void follow_data()
    {
        QTest::addColumn<int>("idleSeconds"); // -1: the clock was never set
        QTest::addColumn<int>("row");
        QTest::newRow("clock never set") << -1 << 0;
        QTest::newRow("59 s") << 59 << 0;
        QTest::newRow("61 s") << 61 << 2;
    }
    void follow()
    {
        QFETCH(int, idleSeconds);
        w->playTrack(2);
        w->stop->click();
        w->playlistWidget->setCurrentRow(0);
        w->lastScrollTime = idleSeconds < 0 ? QDateTime() : QDateTime::currentDateTime().addSecs(-idleSeconds);
        QVERIFY(fire(w->followTimer));
        QTEST(w->playlistWidget->currentRow(), "row");
    }

    // A stored slot plays its row; armed, a slot takes the playing track; a right click clears one.
    void favourites()
    {
        w.reset();
        storeFavorite(3, paths.at(1), "Stored Title");
        QVERIFY(open());
        QCOMPARE(w->buttons.at(3)->toolTip(), QStringLiteral("Stored Artist - Stored Title"));
        QTest::mouseClick(w->buttons.at(3), Qt::LeftButton);
        QVERIFY(plays(1));

        w->playTrack(2);
        QTRY_VERIFY_WITH_TIMEOUT(!w->player->metaData().stringValue(QMediaMetaData::Title).isEmpty(), 10000);
        QTest::mouseClick(w->favorite, Qt::LeftButton);
        QTest::mouseClick(w->buttons.at(0), Qt::LeftButton);
        QCOMPARE(w->buttons.at(0)->toolTip(), QStringLiteral("Ogg Album Artist - Ogg Tone"));
        QVERIFY(showsIcon(w->buttons.at(0), "heart", color("pink"), QSize(32, 32)));
        QVERIFY(!w->favorite->isChecked());
        QCOMPARE(w->player->source(), QUrl::fromLocalFile(paths.at(2)));

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

    // Slots outside the library play their stored address: a broken file shows a failure; a long
    // one pauses, shows its clock, seeks where the slider is clicked and stops.
    void storedAddress()
    {
        QTemporaryDir elsewhere;
        const QString broken = elsewhere.filePath("broken.mp3"), silent = elsewhere.filePath("silent.wav");
        writeFile(broken, QByteArray("no audio here, only text. ").repeated(200));
        writeFile(silent, silentWav(200));
        w.reset();
        storeFavorite(5, broken, "Broken");
        storeFavorite(6, silent, "Silence");
        QVERIFY(open());
        w->playTrack(0);
        QTest::mouseClick(w->buttons.at(5), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w->statusLabel->text().startsWith("Cannot play broken.mp3: "), 20000);
        QVERIFY(showsPlay("play"));

        QTest::mouseClick(w->buttons.at(6), Qt::LeftButton);
        QCOMPARE(w->player->source(), QUrl::fromLocalFile(silent));
        QCOMPARE(w->windowTitle(), QStringLiteral("Silence"));
        QVERIFY(playing() && showsPlay("pause"));
        QCOMPARE(w->currentIndex, 0);
        QTRY_COMPARE_WITH_TIMEOUT(w->player->duration(), qint64(200000), 20000);
        w->playPause->click();
        QCOMPARE(w->player->playbackState(), QMediaPlayer::PausedState);
        QVERIFY(showsPlay("play"));
        emit w->player->positionChanged(75000);
        QCOMPARE(w->timeLabel->text(), QStringLiteral("01:15 / 03:20"));
        QTest::mouseClick(w->timeLabel, Qt::LeftButton);
        emit w->player->positionChanged(75000);
        QCOMPARE(w->timeLabel->text(), QStringLiteral("-02:05 / 03:20"));

        QSignalSpy moved(w->slider, &QSlider::sliderMoved);
        QTest::mouseClick(w->slider, Qt::LeftButton, {}, QPoint(w->slider->width() / 4, w->slider->height() / 2));
        QCOMPARE(moved.count(), 1);
        QVERIFY2(qAbs(moved.at(0).at(0).toInt() - 50000) < 5000, qPrintable(moved.at(0).at(0).toString()));
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(w->player->position() - 50000) < 5000, 10000);
        w->playPause->click();
        QVERIFY(playing() && showsPlay("pause"));
        w->stop->click();
        QCOMPARE(w->player->playbackState(), QMediaPlayer::StoppedState);
        QVERIFY(showsPlay("play"));
    }

    void formatTime_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
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
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("icon");
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
