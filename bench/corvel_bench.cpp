// corvel-bench: the music library's speed and memory on a synthetic library.
//
//   corvel-bench [--tracks N] [--runs R]
//
// Builds N tracks from the fixture files in a temporary folder (every track
// retagged with its own album artist, title and album, in nested folders with
// non-ASCII names), then measures each figure R times and prints the medians as
// a table followed by one "key = value" line per figure. The window figures
// (start-up from the cache, update, search per keystroke) come
// from a real PlayerWindow shown on the offscreen platform, so layout and
// painting count, with a throw-away settings store.

#include "Library.h"
#include "PlayerWindow.h"
#include "Playlist.h"
#include "SearchDialog.h"
#include "TrackList.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
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
const wchar_t *cPath(const NativePath &path)
{
    return path.c_str();
}
#else
using NativePath = QByteArray;
NativePath nativePath(const QString &path)
{
    return QFile::encodeName(path);
}
const char *cPath(const NativePath &path)
{
    return path.constData();
}
#endif

QString albumArtistFor(int i)
{
    return QString::fromUtf8("Künstler %1 ♪").arg(i / 100);
}
QString titleFor(int i)
{
    return QString::fromUtf8("Tïtel Nummer %1").arg(i);
}
QString albumFor(int i)
{
    return QString::fromUtf8("Älbum %1 – %2").arg(i / 100).arg((i / 10) % 10);
}

/**
 * Writes @p tracks files below @p root: the fixtures in turn, each retagged
 * through TagLib. Folders: artist / album / disc, 10 tracks per disc.
 */
bool buildLibrary(const QString &root, int tracks)
{
    static const QStringList kinds = {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"};
    for (int i = 0; i < tracks; ++i) {
        const QString kind = kinds[i % kinds.size()];
        const QString folder
            = QStringLiteral("%1/%2/%3/Disc %4")
                  .arg(root,
                      QString::fromUtf8("Künstler %1 ♪").arg(i / 100, 3, 10, QLatin1Char('0')),
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
    QDirIterator it(
        root, {"*.mp3", "*.ogg", "*.wav", "*.flac"}, QDir::Files, QDirIterator::Subdirectories);
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

/** Counts paint events of one widget; every frame the bench waits for ends in one. */
class PaintProbe : public QObject {
public:
    explicit PaintProbe(QWidget *widget)
        : watched(widget)
    {
        widget->installEventFilter(this);
    }
    ~PaintProbe() override
    {
        if (watched)
            watched->removeEventFilter(this);
    }

    int paints = 0;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (object == watched && event->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private:
    QPointer<QWidget> watched;
};

/**
 * Turns the event loop until @p done holds, checking every millisecond, or
 * until @p timeoutMs have passed. Returns whether @p done held. The short
 * interval keeps the GUI thread from spinning while a scan runs beside it.
 */
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

/** Processes pending events until @p probe has seen a paint beyond @p paintsBefore. */
bool processUntilPainted(const PaintProbe &probe, int paintsBefore, int timeoutMs = 10000)
{
    QElapsedTimer guard;
    guard.start();
    do {
        QCoreApplication::processEvents();
        if (probe.paints > paintsBefore)
            return true;
    } while (guard.elapsed() < timeoutMs);
    return false;
}

struct WindowFigures {
    double startupMs = 0;
    double refillMs = 0;
    double searchMs = 0;
    double searchMaxMs = 0;
};

} // namespace

namespace {

TrackList *trackList(const PlayerWindow &window)
{
    return window.findChild<TrackList *>(QStringLiteral("trackList"));
}

QString statusText(const PlayerWindow &window)
{
    return window.findChild<QLabel *>(QStringLiteral("statusLine"))->text();
}

QListView *results(const SearchDialog &dialog)
{
    return dialog.findChild<QListView *>(QStringLiteral("searchResults"));
}

QLineEdit *searchInput(const SearchDialog &dialog)
{
    return dialog.findChild<QLineEdit *>(QStringLiteral("searchInput"));
}

} // namespace

/**
 * Drives a real, shown PlayerWindow through its public API and named children to
 * time what a user waits for: start-up from the cache, the update and
 * typing into the search dialog.
 */
class WindowBench {
public:
    WindowBench(const QString &folder, int tracks, int runs)
        : folder(folder)
        , tracks(tracks)
        , runs(runs)
    {
    }

    std::optional<WindowFigures> run();

private:
    /** Start-up with "musicFolder" stored: construction until the list is painted with every row.
     */
    std::optional<double> timeStartup(std::unique_ptr<PlayerWindow> &window);
    /** Waits for the update scan that every start-up and updatePlaylist() launch. */
    bool waitForUpdate(PlayerWindow &window);
    std::optional<double> timeRefill(PlayerWindow &window);

    const QString folder;
    const int tracks;
    const int runs;
};

/** Types queries into the window's search dialog. */
class SearchBench {
public:
    /** Every keystroke's time, from setting the text until the hits are painted. */
    static std::optional<std::vector<double>> typeQueries(
        SearchDialog &dialog, const QStringList &queries);
};

std::optional<double> WindowBench::timeStartup(std::unique_ptr<PlayerWindow> &window)
{
    QElapsedTimer timer;
    timer.start();
    window = std::make_unique<PlayerWindow>();
    PaintProbe probe(trackList(*window)->viewport());
    window->resize(900, 650);
    window->show();
    if (!processUntilPainted(probe, 0) || trackList(*window)->model()->rowCount() != tracks) {
        err() << "start-up: the list did not show " << tracks << " rows (it has "
              << trackList(*window)->model()->rowCount() << ")" << Qt::endl;
        return std::nullopt;
    }
    return elapsedMs(timer);
}

bool WindowBench::waitForUpdate(PlayerWindow &window)
{
    const auto updated = [&] { return statusText(window) == QLatin1String("Playlist updated."); };
    if (!runUntil(updated, 120000)) {
        err() << "the update scan did not finish: " << statusText(window) << Qt::endl;
        return false;
    }
    return true;
}

std::optional<double> WindowBench::timeRefill(PlayerWindow &window)
{
    PaintProbe probe(trackList(window)->viewport());
    // The rows go in before the status line says so, and the list may be
    // painted before the wait below notices the text: count paints from the
    // last insertion.
    int paintsAtLastInsert = 0;
    QObject context;
    QObject::connect(trackList(window)->model(), &QAbstractItemModel::modelReset, &context,
        [&] { paintsAtLastInsert = probe.paints; });
    QElapsedTimer timer;
    timer.start();
    window.library()->update();
    if (!waitForUpdate(window))
        return std::nullopt;
    if (!processUntilPainted(probe, paintsAtLastInsert)
        || trackList(window)->model()->rowCount() != tracks) {
        err() << "refill: the list did not show " << tracks << " rows" << Qt::endl;
        return std::nullopt;
    }
    return elapsedMs(timer);
}

std::optional<std::vector<double>> SearchBench::typeQueries(
    SearchDialog &dialog, const QStringList &queries)
{
    PaintProbe probe(results(dialog)->viewport());
    std::vector<double> keystrokes;
    for (const QString &query : queries) {
        searchInput(dialog)->clear();
        QCoreApplication::processEvents();
        for (int length = 1; length <= query.size(); ++length) {
            const QString typed = query.left(length);
            const int paintsBefore = probe.paints;
            QElapsedTimer timer;
            timer.start();
            searchInput(dialog)->setText(typed);
            if (!processUntilPainted(probe, paintsBefore)) {
                err() << "search: no repaint after typing " << typed << Qt::endl;
                return std::nullopt;
            }
            keystrokes.push_back(elapsedMs(timer));
        }
        if (results(dialog)->model()->rowCount() == 0)
            err() << "  (search: no hit for " << query << " in this library)" << Qt::endl;
    }
    searchInput(dialog)->clear();
    QCoreApplication::processEvents();
    return keystrokes;
}

std::optional<WindowFigures> WindowBench::run()
{
    {
        QSettings store(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"));
        store.clear();
        store.setValue(QStringLiteral("musicFolder"), folder);
        store.sync();
    }

    WindowFigures figures;
    std::unique_ptr<PlayerWindow> window;

    std::vector<double> startupMs;
    for (int run = 0; run < runs; ++run) {
        err() << "  start-up run " << (run + 1) << " / " << runs << Qt::endl;
        window.reset();
        const std::optional<double> ms = timeStartup(window);
        if (!ms || !waitForUpdate(*window))
            return std::nullopt;
        startupMs.push_back(*ms);
    }
    figures.startupMs = median(startupMs);

    std::vector<double> refillMs;
    for (int run = 0; run < runs; ++run) {
        err() << "  refill run " << (run + 1) << " / " << runs << Qt::endl;
        const std::optional<double> ms = timeRefill(*window);
        if (!ms)
            return std::nullopt;
        refillMs.push_back(*ms);
    }
    figures.refillMs = median(refillMs);

    // What users type: part of an artist, a title, an album, a file type, a
    // number, in any case; every prefix is one keystroke.
    const QStringList queries = {
        QString::fromUtf8("Künstler 42"),
        QString::fromUtf8("nummer 1234"),
        QString::fromUtf8("älbum 7 – 3"),
        QStringLiteral("flac"),
        QString::fromUtf8("TÏTEL NUMMER 99"),
        QStringLiteral("0815"),
    };
    window->showSearchDialog();
    SearchDialog &dialog = *window->findChild<SearchDialog *>();
    PaintProbe dialogProbe(&dialog);
    if (!processUntilPainted(dialogProbe, 0)) {
        err() << "search: the dialog was not shown" << Qt::endl;
        return std::nullopt;
    }
    std::vector<double> keystrokes;
    std::vector<double> slowest;
    for (int run = 0; run < runs; ++run) {
        err() << "  search run " << (run + 1) << " / " << runs << Qt::endl;
        const std::optional<std::vector<double>> times = SearchBench::typeQueries(dialog, queries);
        if (!times || times->empty())
            return std::nullopt;
        keystrokes.insert(keystrokes.end(), times->begin(), times->end());
        slowest.push_back(*std::max_element(times->begin(), times->end()));
    }
    figures.searchMs = median(keystrokes);
    figures.searchMaxMs = median(slowest);
    dialog.hide();
    return figures;
}

namespace {

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

QString ms(double value)
{
    return QString::number(value, 'f', 1) + " ms";
}

void row(const QString &figure, const QString &value, const QString &target)
{
    out() << figure.leftJustified(28) << value.leftJustified(16) << target << '\n';
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window reads and writes the per-user settings store: give it a
    // throw-away one before anything opens a QSettings, never the user's.
    QTemporaryDir configHome;
    if (!configHome.isValid()) {
        err() << "cannot create a temporary settings folder" << Qt::endl;
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvel-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Speed and memory of the music library."));
    parser.addHelpOption();
    const QCommandLineOption tracksOption(QStringLiteral("tracks"),
        QStringLiteral("Number of tracks (default 10000)."), QStringLiteral("N"),
        QStringLiteral("10000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"),
        QStringLiteral("Runs per figure, the median is shown (default 5)."), QStringLiteral("R"),
        QStringLiteral("5"));
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
    if (library.count() != tracks) {
        err() << "scan found " << library.count() << " tracks, expected " << tracks << Qt::endl;
        return 1;
    }
    for (int row = 0; row < tracks; ++row) {
        const Playlist::TrackInfo track = library.track(row);
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
        if (!loaded.loadFromCache(cachePath) || loaded.count() != tracks) {
            err() << "loadFromCache failed" << Qt::endl;
            return 1;
        }
        loadMs.push_back(elapsedMs(timer));
    }

    // The cache the window starts from is the one just written and read.
    const std::optional<WindowFigures> window = WindowBench(root, tracks, runs).run();
    if (!window)
        return 1;
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
    row("start-up from cache", ms(window->startupMs), "");
    row("refill (updatePlaylist)", ms(window->refillMs), "");
    row("search, per keystroke", ms(window->searchMs), tracks == 10000 ? "<= 16 ms" : "");
    row("search, slowest keystroke", ms(window->searchMaxMs), "");
    row("peak resident memory", QString::number(peakMb, 'f', 1) + " MB", "");
    out() << '\n';

    out() << "tracks = " << tracks << '\n';
    out() << "scan_ms = " << QString::number(scan, 'f', 1) << '\n';
    out() << "floor_ms = " << QString::number(floor, 'f', 1) << '\n';
    out() << "scan_over_floor = " << QString::number(ratio, 'f', 2) << '\n';
    out() << "cache_save_ms = " << QString::number(save, 'f', 1) << '\n';
    out() << "cache_load_ms = " << QString::number(load, 'f', 1) << '\n';
    out() << "startup_ms = " << QString::number(window->startupMs, 'f', 1) << '\n';
    out() << "refill_ms = " << QString::number(window->refillMs, 'f', 1) << '\n';
    out() << "search_ms = " << QString::number(window->searchMs, 'f', 1) << '\n';
    out() << "search_max_ms = " << QString::number(window->searchMaxMs, 'f', 1) << '\n';
    out() << "peak_rss_mb = " << QString::number(peakMb, 'f', 1) << '\n';
    out().flush();
    return checksum == 0 ? 1 : 0; // a zero checksum means the floor read nothing
}
