// corvel-stress: switches tracks on the player's transport as fast as a user
// holding a media key, or a desktop-bus client sending Next in a loop, would,
// and reports whether the event loop ever stopped (a hang in the media
// backend) and whether the last request is what plays at the end.
//
//   corvel-stress [--switches N] [--max-interval MS] [--seed S]
//
// Prints one line: "RESULT OK switches=N longest-block-ms=B final=1", or
// "RESULT HANG after=N" (no event-loop turn for 6 s; the process then ends
// with status 3), or "RESULT NOLIBRARY" (the library did not load in 60 s;
// status 1). The switches start once the library is in place.

#include "library/Library.h"
#include "library/Playlist.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMediaPlayer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<qint64> lastBeat{0};
std::atomic<int> switches{0};

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

/** Copies of the fixtures in every format, under a cache the library loads at once. */
bool writeLibrary(const QString &folder)
{
    QJsonArray tracks;
    const QStringList suffixes = {"mp3", "ogg", "flac", "wav"};
    for (int copy = 0; copy < 3; ++copy) {
        for (const QString &suffix : suffixes) {
            const QString path = folder + QString("/%1-%2.%3").arg(copy).arg(suffix, suffix);
            if (!QFile::copy(QStringLiteral(CORVEL_FIXTURES_DIR "/tone.") + suffix, path))
                return false;
            tracks.append(QJsonObject{{"path", path}, {"title", QFileInfo(path).fileName()}});
        }
    }
    QFile cache(Library::cachePath(folder));
    return cache.open(QIODevice::WriteOnly)
        && cache.write(QJsonDocument(QJsonObject{{"tracks", tracks}}).toJson()) > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"switches", "Track switches to make.", "N", "2000"});
    parser.addOption({"max-interval", "Longest wait between two switches (ms).", "MS", "50"});
    parser.addOption({"seed", "Seed of the random waits and picks.", "S", "1"});
    parser.process(app);
    const int total = parser.value("switches").toInt();
    const int maxInterval = parser.value("max-interval").toInt();
    QRandomGenerator random(parser.value("seed").toUInt());

    QTemporaryDir folder;
    if (!folder.isValid() || !writeLibrary(folder.path())) {
        std::fprintf(stderr, "cannot write the library\n");
        return 1;
    }
    Library library;
    QueueController queue(library.tracks());
    PlayerController controller(&library, &queue);
    library.restoreFolder(folder.path());
    library.loadCacheAndCheck();
    controller.setVolume(0);

    // The watchdog: a GUI thread that makes no turn for 6 s is hung for good.
    lastBeat = nowMs();
    std::thread([] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (nowMs() - lastBeat > 6000) {
                std::printf("RESULT HANG after=%d\n", switches.load());
                std::fflush(stdout);
                _exit(3);
            }
        }
    }).detach();
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [] { lastBeat = nowMs(); });
    beat.start(20);

    qint64 longestBlock = 0;
    QTimer next;
    next.setSingleShot(true);
    QObject::connect(&next, &QTimer::timeout, [&] {
        QElapsedTimer blocked;
        blocked.start();
        // Mostly Next, as a held media key; now and then a row picked in the list.
        if (random.bounded(4) == 0)
            controller.playRow(int(random.bounded(library.tracks()->count())));
        else
            controller.next();
        longestBlock = std::max(longestBlock, blocked.elapsed());
        if (++switches < total)
            next.start(int(random.bounded(maxInterval + 1)));
        else
            QTimer::singleShot(0, &app, [&] {
                // The burst ends on the track last asked for, once it is applied.
                auto *media = controller.findChild<QMediaPlayer *>();
                QElapsedTimer settle;
                settle.start();
                while (media->source() != controller.source() && settle.elapsed() < 10000)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
                std::printf("RESULT OK switches=%d longest-block-ms=%lld final=%d\n",
                    switches.load(), longestBlock, media->source() == controller.source());
                app.quit();
            });
    });
    controller.setLoopMode(PlayOrder::List); // Next never stops at the last row
    // Rows are picked only once the library is in place: on a slow start the
    // cache is still being read, and there is no row to pick from.
    QTimer loadTimeout;
    loadTimeout.setSingleShot(true);
    QObject::connect(&loadTimeout, &QTimer::timeout, &app, [] {
        std::printf("RESULT NOLIBRARY\n");
        std::fflush(stdout);
        QCoreApplication::exit(1);
    });
    QObject::connect(&library, &Library::installed, &next, [&] {
        if (!loadTimeout.isActive() || library.tracks()->count() == 0)
            return;
        loadTimeout.stop();
        controller.playRow(0);
        next.start(0);
    });
    loadTimeout.start(60000);
    return app.exec();
}
