#include "ScanMeasurements.h"

#include "Probes.h"
#include "library/Library.h"
#include "library/Playlist.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

namespace bench {

namespace {

/** loadFromFolder until onFinished, with a progress callback like the window's. */
double timeScan(Playlist &playlist, const QString &root)
{
    QEventLoop loop;
    int lastProgress = 0;
    QElapsedTimer timer;
    timer.start();
    playlist.loadFromFolder(
        root, [&lastProgress](int found) { lastProgress = found; }, [&loop] { loop.quit(); });
    loop.exec();
    return elapsedMs(timer);
}

/** The floor: the same TagLib reads over the same files, with nothing around them. */
double timeFloor(const std::vector<NativePath> &files, qint64 &checksum)
{
    QElapsedTimer timer;
    timer.start();
    for (const NativePath &file : files) {
        TagLib::FileRef ref(cPath(file), true, TagLib::AudioProperties::Average);
        if (ref.isNull())
            continue;
        checksum += ref.tag()->title().size() + ref.tag()->album().size();
        const TagLib::PropertyMap properties = ref.file()->properties();
        const auto albumArtist = properties.find("ALBUMARTIST");
        if (albumArtist != properties.end())
            checksum += albumArtist->second.size();
        if (ref.audioProperties())
            checksum += ref.audioProperties()->lengthInMilliseconds();
    }
    return elapsedMs(timer);
}

} // namespace

bool measureScan(const QString &root, const std::vector<NativePath> &files, int tracks, int runs,
    Figures &figures, qint64 &checksum)
{
    const QString cachePath = Library::cachePath(root);
    // Scan and floor alternate, after one untimed pass that warms the page cache.
    timeFloor(files, checksum);
    std::vector<double> scanMs;
    std::vector<double> floorMs;
    Playlist library;
    for (int run = 0; run < runs; ++run) {
        err() << "  scan run " << (run + 1) << " / " << runs << Qt::endl;
        scanMs.push_back(timeScan(library, root));
        floorMs.push_back(timeFloor(files, checksum));
    }

    // The scan must have read what was written.
    if (library.count() != tracks) {
        err() << "scan found " << library.count() << " tracks, expected " << tracks << Qt::endl;
        return false;
    }
    for (int row = 0; row < tracks; ++row) {
        const Playlist::TrackInfo track = library.track(row);
        const int i = QFileInfo(track.url.toLocalFile()).fileName().left(5).toInt();
        if (track.artist != albumArtistFor(i) || track.title != titleFor(i)
            || track.album != albumFor(i) || track.duration != QLatin1String("0:01")) {
            err() << "wrong record for " << track.url.toLocalFile() << ": " << track.artist << " / "
                  << track.title << " / " << track.album << " / " << track.duration << Qt::endl;
            return false;
        }
    }

    std::vector<double> saveMs;
    std::vector<double> loadMs;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!library.saveToCache(cachePath)) {
            err() << "saveToCache failed" << Qt::endl;
            return false;
        }
        saveMs.push_back(elapsedMs(timer));

        Playlist loaded;
        timer.restart();
        if (!loaded.loadFromCache(cachePath) || loaded.count() != tracks) {
            err() << "loadFromCache failed" << Qt::endl;
            return false;
        }
        loadMs.push_back(elapsedMs(timer));
    }
    figures["scan_ms"] = median(scanMs);
    figures["floor_ms"] = median(floorMs);
    figures["scan_over_floor"]
        = figures["floor_ms"] > 0 ? figures["scan_ms"] / figures["floor_ms"] : 0;
    figures["cache_save_ms"] = median(saveMs);
    figures["cache_load_ms"] = median(loadMs);
    return true;
}

} // namespace bench
