// The real backend with real files: the platform facts the transport stands on. A source start
// costs GStreamer about a second, so the rows share one backend.

#include "TestSupport.h"
#include "playback/MediaBackend.h"

#include <QtTest>

using namespace TestSupport;

class TestMediaBackend : public QObject {
    Q_OBJECT

    std::unique_ptr<MediaBackend> backend;

private slots:
    void initTestCase()
    {
        isolateSettings();
        backend = MediaBackend::create();
    }

    void cleanupTestCase()
    {
        // Torn down with the failed decoder of the last row still attached.
        backend.reset();
    }

    void play_data()
    {
        // content: a fixture, hollow (a WAV header without samples), text or missing. seek:
        // a jump to 0.6 s once the track can seek. played: a position or a length was reported.
        // destroyed: the backend is deleted once the jump is done, while it plays, and a new one
        // made.
        columns<QString, bool, bool, bool, bool>("content", "seek", "ends", "played", "destroyed");
        for (const char *name : {"tone.mp3", "tone.wav", "tone.opus", "tone.m4a", "alac.m4a",
                 "tone.wma", "tone.wv", "tone.aiff", "tone.ape"})
            QTest::newRow(name) << name << true << true << true << false;
        // GStreamer sees the picture as a video stream; deleting a player fed such a file
        // through a device has crashed in Qt's own teardown.
        for (const char *name : {"art.flac", "art.opus"})
            QTest::newRow(
                qPrintable(QString("%1, embedded art, destroyed while it plays").arg(name)))
                << name << true << true << true << true;
        QTest::newRow("a codec no decoder knows: an error")
            << "unknown codec" << false << false << false << false;
        QTest::newRow("a WAV header, no samples: ends unplayed")
            << "hollow" << false << true << false << false;
        QTest::newRow("missing: an error") << "missing" << false << false << false << false;
        QTest::newRow("text named .mp3: an error") << "text" << false << false << false << false;
    }

    void play()
    {
        QFETCH(QString, content);
        QFETCH(bool, seek);
        QFETCH(bool, ends);
        QTemporaryDir dir;
        const QString path = dir.filePath(content.contains('.') ? content
                : content == "unknown codec"                    ? "track.wav"
                                                                : "track.mp3");
        if (content == "unknown codec") // a WAV header of format 0x7a7a, and data
            writeFile(path,
                QByteArray::fromHex("52494646 44060000 57415645 666d7420 10000000 7a7a 0100"
                                    " 401f0000 401f0000 0100 0800 64617461 20060000")
                    + QByteArray(1600, '\x33'));
        else if (content == "hollow")
            writeFile(path,
                QByteArray::fromHex("52494646 24000000 57415645 666d7420 10000000 0100 0100"
                                    " 401f0000 401f0000 0100 0800 64617461 00000000"));
        else if (content == "text")
            writeFile(path, QByteArray("not audio at all\n").repeated(200));
        else if (content != "missing")
            copyFixture(content, path);
        QSignalSpy errors(backend.get(), &MediaBackend::errorOccurred);
        QSignalSpy positions(backend.get(), &MediaBackend::positionChanged);

        backend->setSource(QUrl::fromLocalFile(path), QMediaPlayer::PlayingState);
        // Nothing of the previous row's source, which is still in the player.
        QCOMPARE(backend->playbackState(), QMediaPlayer::PlayingState);
        QCOMPARE(backend->mediaStatus(), QMediaPlayer::LoadingMedia);
        QCOMPARE(backend->duration(), 0);
        QCOMPARE(backend->position(), 0);
        QVERIFY(!backend->isSeekable());
        if (seek) {
            QVERIFY2(QTest::qWaitFor(
                         [&] { return backend->isSeekable() && backend->duration() > 0; }, 20000),
                "the track never became seekable");
            backend->setPosition(600);
            QTRY_VERIFY2_WITH_TIMEOUT(qAbs(backend->position() - 600) < 100,
                qPrintable(QString("position %1").arg(backend->position())), 20000);
        }
        QFETCH(bool, destroyed);
        if (destroyed) { // while it plays; a crash ends the run here
            backend = MediaBackend::create();
            return;
        }
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return backend->mediaStatus() == QMediaPlayer::EndOfMedia
                             || !errors.isEmpty();
                     },
                     20000),
            "neither an end nor an error");

        QCOMPARE(backend->mediaStatus() == QMediaPlayer::EndOfMedia, ends);
        qint64 furthest = 0;
        for (const QList<QVariant> &position : positions)
            furthest = std::max(furthest, position.first().toLongLong());
        QTEST(furthest > 0 || backend->duration() > 0, "played");
        if (ends) {
            QCOMPARE(backend->playbackState(), QMediaPlayer::StoppedState);
            QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).value(0).toString()));
        } else {
            // GStreamer stays "playing" what it cannot play: stopping is the transport's job.
            QCOMPARE(backend->playbackState(), QMediaPlayer::PlayingState);
            QVERIFY2(!errors.first().first().toString().isEmpty(), "the error has no message");
        }
    }
};

QTEST_MAIN(TestMediaBackend)
#include "test_mediabackend.moc"
