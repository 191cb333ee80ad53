// corvel-bench: the music library's speed and memory on a synthetic library.
//
//   corvel-bench [--tracks N] [--runs R]
//
// Builds N tracks from the fixture files in a temporary folder (every track
// retagged with its own album artist, title and album, in nested folders with
// non-ASCII names), then measures each figure R times and prints the medians as
// a table followed by one "key = value" line per figure.

#include "Playlist.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

TagLib::String tagText(const QString &text)
{
    return TagLib::String(text.toStdWString());
}

// TagLib takes wide paths on Windows and locally encoded bytes elsewhere.
#ifdef Q_OS_WIN
using NativePath = std::wstring;
NativePath nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}
const wchar_t *cPath(const NativePath &path) { return path.c_str(); }
#else
using NativePath = QByteArray;
NativePath nativePath(const QString &path)
{
    return QFile::encodeName(path);
}
const char *cPath(const NativePath &path) { return path.constData(); }
#endif

QString albumArtistFor(int i) { return QString::fromUtf8("Künstler %1 ♪").arg(i / 100); }
QString titleFor(int i) { return QString::fromUtf8("Tïtel Nummer %1").arg(i); }
QString albumFor(int i) { return QString::fromUtf8("Älbum %1 – %2").arg(i / 100).arg((i / 10) % 10); }

/**
 * Writes @p tracks files below @p root: the fixtures in turn, each retagged
 * through TagLib. Folders: artist / album / disc, 10 tracks per disc.
 */
bool buildLibrary(const QString &root, int tracks)
{
    static const QStringList kinds = {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"};
    for (int i = 0; i < tracks; ++i) {
        const QString kind = kinds[i % kinds.size()];
        const QString folder = QStringLiteral("%1/%2/%3/Disc %4")
                                   .arg(root, QString::fromUtf8("Künstler %1 ♪").arg(i / 100, 3, 10, QLatin1Char('0')),
                                        QString::fromUtf8("Älbum %1 – ß").arg((i / 10) % 10))
                                   .arg(i % 2 + 1);
        const QString path = QStringLiteral("%1/%2 Tïtel.%3")
                                 .arg(folder)
                                 .arg(i, 5, 10, QLatin1Char('0'))
                                 .arg(QFileInfo(kind).suffix());
        if (!QDir().mkpath(folder)
            || !QFile::copy(QStringLiteral(CORVEL_FIXTURES_DIR "/") + kind, path)) {
            err() << "cannot write " << path << Qt::endl;
            return false;
        }
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

        const NativePath native = nativePath(path);
        TagLib::FileRef ref(cPath(native), false);
        if (ref.isNull()) {
            err() << "TagLib cannot open " << path << Qt::endl;
            return false;
        }
        TagLib::PropertyMap properties = ref.file()->properties();
        properties.replace("ALBUMARTIST", TagLib::StringList(tagText(albumArtistFor(i))));
        properties.replace("TITLE", TagLib::StringList(tagText(titleFor(i))));
        properties.replace("ALBUM", TagLib::StringList(tagText(albumFor(i))));
        ref.file()->setProperties(properties);
        if (!ref.file()->save()) {
            err() << "TagLib cannot save " << path << Qt::endl;
            return false;
        }
        if ((i + 1) % 1000 == 0)
            err() << "  built " << (i + 1) << " / " << tracks << Qt::endl;
    }
    return true;
}

QStringList audioFiles(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, {"*.mp3", "*.ogg", "*.wav", "*.flac"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    return paths;
}

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

struct FillFigures {
    double totalMs = 0;
    double maxTickMs = 0;
};

/**
 * The window's batched fill of @p names into its track list: total time and
 * the longest single tick. Needs PlayerWindow's fill (startFillPlaylist);
 * returns nothing until that is wired in here.
 */
std::optional<FillFigures> measureFill(const QStringList &names, int runs)
{
    Q_UNUSED(names);
    Q_UNUSED(runs);
    return std::nullopt;
}

double peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    // /proc files report size 0, so read to the end rather than test atEnd().
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:")) {
            const QList<QByteArray> parts = line.mid(6).simplified().split(' ');
            return parts.value(0).toDouble() / 1024.0; // kB
        }
    }
    return -1;
}

QString ms(double value) { return QString::number(value, 'f', 1) + " ms"; }

void row(const QString &figure, const QString &value, const QString &target)
{
    out() << figure.leftJustified(28) << value.leftJustified(16) << target << '\n';
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvel-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Speed and memory of the music library."));
    parser.addHelpOption();
    const QCommandLineOption tracksOption(QStringLiteral("tracks"),
                                          QStringLiteral("Number of tracks (default 10000)."),
                                          QStringLiteral("N"), QStringLiteral("10000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("Runs per figure, the median is shown (default 5)."),
                                        QStringLiteral("R"), QStringLiteral("5"));
    parser.addOption(tracksOption);
    parser.addOption(runsOption);
    parser.process(app);

    bool ok = false;
    const int tracks = parser.value(tracksOption).toInt(&ok);
    if (!ok || tracks < 1) {
        err() << "--tracks needs a positive number" << Qt::endl;
        return 2;
    }
    const int runs = parser.value(runsOption).toInt(&ok);
    if (!ok || runs < 1) {
        err() << "--runs needs a positive number" << Qt::endl;
        return 2;
    }

    QTemporaryDir temp;
    if (!temp.isValid()) {
        err() << "cannot create a temporary folder" << Qt::endl;
        return 1;
    }
    const QString root = temp.filePath(QString::fromUtf8("Müsik ♫"));
    err() << "building " << tracks << " tracks in " << root << Qt::endl;
    if (!buildLibrary(root, tracks))
        return 1;
#ifdef Q_OS_UNIX
    // Flush the freshly written library first, so that its write-back does not
    // land in the timings (the cache save waits for its own data to reach disk).
    ::sync();
#endif

    const QStringList files = audioFiles(root);
    std::vector<NativePath> nativeFiles;
    nativeFiles.reserve(size_t(files.size()));
    for (const QString &file : files)
        nativeFiles.push_back(nativePath(file));

    // Scan and floor alternate, after one untimed pass that warms the page cache.
    qint64 checksum = 0;
    timeFloor(nativeFiles, checksum);
    std::vector<double> scanMs;
    std::vector<double> floorMs;
    Playlist library;
    for (int run = 0; run < runs; ++run) {
        err() << "  scan run " << (run + 1) << " / " << runs << Qt::endl;
        scanMs.push_back(timeScan(library, root));
        floorMs.push_back(timeFloor(nativeFiles, checksum));
    }

    // The scan must have read what was written.
    const QList<Playlist::TrackInfo> scanned = library.getTracks();
    if (scanned.size() != tracks) {
        err() << "scan found " << scanned.size() << " tracks, expected " << tracks << Qt::endl;
        return 1;
    }
    for (const Playlist::TrackInfo &track : scanned) {
        const int i = QFileInfo(track.url.toLocalFile()).fileName().left(5).toInt();
        if (track.artist != albumArtistFor(i) || track.title != titleFor(i)
            || track.album != albumFor(i) || track.duration != QLatin1String("0:01")) {
            err() << "wrong record for " << track.url.toLocalFile() << ": " << track.artist << " / "
                  << track.title << " / " << track.album << " / " << track.duration << Qt::endl;
            return 1;
        }
    }

    const QString cachePath = root + QStringLiteral("/playlist_cache.json");
    std::vector<double> saveMs;
    std::vector<double> loadMs;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!library.saveToCache(cachePath)) {
            err() << "saveToCache failed" << Qt::endl;
            return 1;
        }
        saveMs.push_back(elapsedMs(timer));

        Playlist loaded;
        timer.restart();
        if (!loaded.loadFromCache(cachePath) || loaded.getTracks().size() != tracks) {
            err() << "loadFromCache failed" << Qt::endl;
            return 1;
        }
        loadMs.push_back(elapsedMs(timer));
    }

    const std::optional<FillFigures> fill = measureFill(library.getList(), runs);
    const double peakMb = peakRssMb();

    const double scan = median(scanMs);
    const double floor = median(floorMs);
    const double ratio = floor > 0 ? scan / floor : 0;
    const double save = median(saveMs);
    const double load = median(loadMs);

    out() << "Corvel library benchmark: " << tracks << " tracks, median of " << runs << " runs\n\n";
    row("figure", "median", "target");
    row("scan (loadFromFolder)", ms(scan), "");
    row("floor (bare TagLib reads)", ms(floor), "");
    row("scan / floor", QString::number(ratio, 'f', 2), "<= 2");
    row("cache save", ms(save), tracks == 10000 ? "<= 100 ms" : "");
    row("cache load", ms(load), tracks == 10000 ? "<= 100 ms" : "");
    if (fill) {
        row("list fill, total", ms(fill->totalMs), tracks == 10000 ? "<= 1000 ms" : "");
        row("list fill, longest tick", ms(fill->maxTickMs), "<= 16 ms");
    } else {
        row("list fill", "not measured", "");
    }
    row("peak resident memory", QString::number(peakMb, 'f', 1) + " MB", "");
    out() << '\n';

    out() << "tracks = " << tracks << '\n';
    out() << "scan_ms = " << QString::number(scan, 'f', 1) << '\n';
    out() << "floor_ms = " << QString::number(floor, 'f', 1) << '\n';
    out() << "scan_over_floor = " << QString::number(ratio, 'f', 2) << '\n';
    out() << "cache_save_ms = " << QString::number(save, 'f', 1) << '\n';
    out() << "cache_load_ms = " << QString::number(load, 'f', 1) << '\n';
    if (fill) {
        out() << "fill_total_ms = " << QString::number(fill->totalMs, 'f', 1) << '\n';
        out() << "fill_max_tick_ms = " << QString::number(fill->maxTickMs, 'f', 1) << '\n';
    }
    out() << "peak_rss_mb = " << QString::number(peakMb, 'f', 1) << '\n';
    out().flush();
    return checksum == 0 ? 1 : 0; // a zero checksum means the floor read nothing
}
