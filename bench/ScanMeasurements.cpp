#include "ScanMeasurements.h"

#include "Probes.h"
#include "library/Library.h"
#include "library/Playlist.h"
#include "library/scan/MusicFiles.h"

#include <QDirIterator>
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

/**
 * The walk alone, in the library's name order, beside the file system's own
 * order with no sorting: what taking a folder's entries sorted costs the scan.
 */
void timeWalks(const QString &root, int tracks, double &sortedMs, double &unsortedMs)
{
    QElapsedTimer timer;
    timer.start();
    int sorted = 0;
    MusicFiles::walk(root, MusicFiles::Entries::All, [&sorted](const QFileInfo &entry) {
        sorted += !entry.isDir() && MusicFiles::isAudioName(entry.fileName());
        return true;
    });
    sortedMs = elapsedMs(timer);

    timer.restart();
    int unsorted = 0;
    QDirIterator it(
        root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        unsorted += it.fileInfo().isFile() && MusicFiles::isAudioName(it.fileName());
    }
    unsortedMs = elapsedMs(timer);
    if (sorted != tracks || unsorted != tracks)
        err() << "walks found " << sorted << " and " << unsorted << " files, expected " << tracks
              << Qt::endl;
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
    std::vector<double> walkMs;
    std::vector<double> walkUnsortedMs;
    Playlist library;
    for (int run = 0; run < runs; ++run) {
        err() << "  scan run " << (run + 1) << " / " << runs << Qt::endl;
        scanMs.push_back(timeScan(library, root));
        floorMs.push_back(timeFloor(files, checksum));
        walkMs.emplace_back();
        walkUnsortedMs.emplace_back();
        timeWalks(root, tracks, walkMs.back(), walkUnsortedMs.back());
    }

    // The scan must have read what was written.
    if (library.count() != tracks) {
        err() << "scan found " << library.count() << " tracks, expected " << tracks << Qt::endl;
        return false;
    }
    for (int row = 0; row < tracks; ++row) {
        const Playlist::TrackInfo track = library.track(row);
        // The name starts with the track's number: five digits, more past 99,999.
        const QString name = QFileInfo(track.url.toLocalFile()).fileName();
        const int i = name.left(name.indexOf(QLatin1Char(' '))).toInt();
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
    figures["walk_ms"] = median(walkMs);
    figures["walk_unsorted_ms"] = median(walkUnsortedMs);
    figures["cache_save_ms"] = median(saveMs);
    figures["cache_load_ms"] = median(loadMs);
    return true;
}

} // namespace bench
