// corvel-bench: the music library's speed, memory and responsiveness on a
// synthetic library.
//
//   corvel-bench [--tracks N[,N...]] [--runs R]
//
// For each size (by default 10,000 and 50,000 tracks) a child process of this
// program builds N tracks from the fixture files in a temporary folder (every
// track retagged with its own album artist, title and album, in nested folders
// with non-ASCII names) and measures each figure R times; peak memory is thus
// the child's, per size. The parent prints the medians as one table, a column
// per size beside the target, followed by one "key = value" line per figure
// and size (e.g. startup_ms_50000). The window figures come from a real
// PlayerWindow shown on the offscreen platform, so layout and painting count,
// with a throw-away settings store. Every wait on the library is a wait for
// its installed() signal, never for a time or a status text.

#include "app/PlayerCore.h"
#include "library/Library.h"
#include "library/Playlist.h"
#include "library/watcher/FolderWatcher.h"
#include "playback/QueueController.h"
#include "ui/PlayerWindow.h"
#include "ui/dialogs/SearchDialog.h"
#include "ui/widgets/TrackList.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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

/** Counts paint events of one widget and notes when each one ended. */
class PaintProbe : public QObject {
public:
    PaintProbe(QWidget *widget, const QElapsedTimer &clock)
        : watched(widget)
        , clock(clock)
    {
        widget->installEventFilter(this);
    }
    ~PaintProbe() override
    {
        if (watched)
            watched->removeEventFilter(this);
    }

    int paints = 0;
    qint64 lastPaintNs = 0;
    std::vector<qint64> paintTimes;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (object == watched && event->type() == QEvent::Paint) {
            ++paints;
            lastPaintNs = clock.nsecsElapsed();
            paintTimes.push_back(lastPaintNs);
        }
        return false;
    }

private:
    QPointer<QWidget> watched;
    const QElapsedTimer &clock;
};

/**
 * Turns the event loop until @p done holds, checking every millisecond, or
 * until @p timeoutMs have passed. Returns whether @p done held when it was
 * last checked (a timer of the window firing in the same turn cannot undo
 * it). The short interval keeps the GUI thread from spinning while a scan or
 * a cache read runs beside it.
 */
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    bool held = false;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!held && done()) {
            held = true;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return held;
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

/**
 * The event loop's responsiveness: a 1 ms repeating timer that notes every
 * gap between its timeouts. A gap longer than a few milliseconds is a turn of
 * the loop that something held up: what the user feels as a frozen window.
 */
class StallMeter {
public:
    /** @p onTick runs after every timeout, with the time of the timeout. */
    StallMeter(const QElapsedTimer &clock, std::function<void(qint64)> onTick = {})
        : clock(clock)
        , onTick(std::move(onTick))
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { tick(); });
    }

    /** Starts a new measurement now. */
    void start()
    {
        gaps.clear();
        last = clock.nsecsElapsed();
        timer.start();
    }
    /** Ends the measurement; the gap up to now counts. */
    void stop()
    {
        record(clock.nsecsElapsed());
        timer.stop();
    }
    /** The longest gap that ended after @p fromNs and by @p toNs, in ms. */
    double longestMs(qint64 fromNs, qint64 toNs) const
    {
        qint64 longest = 0;
        for (const auto &[end, length] : gaps) {
            if (end > fromNs && end <= toNs)
                longest = std::max(longest, length);
        }
        return double(longest) / 1e6;
    }
    /** The longest gap of the whole measurement, in ms. */
    double longestMs() const
    {
        return longestMs(-1, std::numeric_limits<qint64>::max());
    }
    /** The first gap, in ms: the turn in which the measurement started. */
    double firstMs() const
    {
        return gaps.empty() ? 0 : double(gaps.front().second) / 1e6;
    }
    /** The longest gap after the first, in ms. */
    double longestAfterFirstMs() const
    {
        return gaps.empty() ? 0 : longestMs(gaps.front().first, std::numeric_limits<qint64>::max());
    }
    /** The gap during which @p atNs fell, in ms, or -1 while it has not ended. */
    double aroundMs(qint64 atNs) const
    {
        for (const auto &[end, length] : gaps) {
            if (end >= atNs && end - length <= atNs)
                return double(length) / 1e6;
        }
        return -1;
    }
    /** The end of the gap during which @p atNs fell, or -1. */
    qint64 endAround(qint64 atNs) const
    {
        for (const auto &[end, length] : gaps) {
            if (end >= atNs && end - length <= atNs)
                return end;
        }
        return -1;
    }

private:
    void record(qint64 now)
    {
        gaps.emplace_back(now, now - last);
        last = now;
    }
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        record(now);
        if (onTick)
            onTick(now);
    }

    const QElapsedTimer &clock;
    std::function<void(qint64)> onTick;
    QTimer timer;
    qint64 last = 0;
    std::vector<std::pair<qint64, qint64>> gaps; // end, length
};

/** What a stat of the cache file tells apart: a rewrite changes it. */
QString fileSignature(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QStringLiteral("%1 %2 %3")
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch())
        .arg(info.metadataChangeTime().toMSecsSinceEpoch());
}

/** A memory figure of /proc/self/status (VmRSS, VmHWM) in MB, or -1. */
double statusMb(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    // /proc files report size 0, so read to the end rather than test atEnd().
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(key)) {
            const QList<QByteArray> parts = line.mid(key.size()).simplified().split(' ');
            return parts.value(0).toDouble() / 1024.0; // kB
        }
    }
    return -1;
}

double residentMb()
{
    return statusMb("VmRSS:");
}

/** The resident memory once the heap has given back what is free (glibc), in MB. */
double liveResidentMb()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    return residentMb();
}

/** Deletes a window and then the core it shows, in the order the program ends them. */
struct WindowAndCore {
    void operator()(PlayerWindow *window) const
    {
        PlayerCore *core = window->core();
        delete window;
        delete core;
    }
};
using Window = std::unique_ptr<PlayerWindow, WindowAndCore>;

/** A core and a window on it, started as the program starts them. */
Window startWindow()
{
    Window window(new PlayerWindow(new PlayerCore));
    window->core()->start();
    return window;
}

TrackList *trackList(const PlayerWindow &window)
{
    return window.findChild<TrackList *>(QStringLiteral("trackList"));
}

int listRows(const PlayerWindow &window)
{
    return trackList(window)->model()->rowCount();
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

void storeFolder(const QString &folder)
{
    QSettings store(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"));
    store.clear();
    if (!folder.isEmpty())
        store.setValue(QStringLiteral("musicFolder"), folder);
    store.sync();
}

/**
 * Watches one window's library while an operation runs: the installs and the
 * status messages (for the report when a wait fails), the list's resets and
 * paints, the stalls, and the moment the cache file was rewritten.
 */
class LibraryWatch {
public:
    LibraryWatch(PlayerWindow &window, const QElapsedTimer &clock, const QString &cachePath)
        : window(window)
        , clock(clock)
        , cachePath(cachePath)
        , probe(trackList(window)->viewport(), clock)
        , meter(clock, [this](qint64 now) { checkCache(now); })
    {
        QObject::connect(
            window.library(), &Library::installed, &context, [this](Library::Install how) {
                installs.emplace_back(how, this->clock.nsecsElapsed());
                seen << QStringLiteral("installed %1").arg(int(how));
            });
        QObject::connect(window.library(), &Library::status, &context,
            [this](const QString &message) { seen << message; });
        QObject::connect(trackList(window)->model(), &QAbstractItemModel::modelReset, &context,
            [this] { paintsAtReset = probe.paints; });
    }

    /** Starts an operation: the stall meter runs and the cache's state is noted. */
    void begin()
    {
        installs.clear();
        seen.clear();
        cacheWrittenNs = -1;
        cacheBefore = fileSignature(cachePath);
        meter.start();
        beganNs = clock.nsecsElapsed();
    }
    /** Ends the operation's stall measurement. */
    void end()
    {
        meter.stop();
    }

    /** Waits for an install of @p how after begin() and its painted list; false with a report. */
    bool waitForInstall(Library::Install how, const char *operation)
    {
        const auto installed = [&] {
            return std::any_of(installs.cbegin(), installs.cend(),
                [how](const auto &install) { return install.first == how; });
        };
        if (!runUntil(installed, 180000)) {
            err() << operation << ": no install of kind " << int(how)
                  << " came; seen: " << seen.join(QStringLiteral(" | "))
                  << "; status line: " << statusText(window) << Qt::endl;
            return false;
        }
        return waitForPaintedList(operation);
    }
    /** Waits until the list shows every row and was painted after it was last reset. */
    bool waitForPaintedList(const char *operation, int rows = -1)
    {
        const auto painted = [&] {
            return (rows < 0 || listRows(window) == rows) && probe.paints > paintsAtReset;
        };
        if (!runUntil(painted, 30000)) {
            err() << operation << ": the list was not painted with " << rows << " rows (it has "
                  << listRows(window) << ")" << Qt::endl;
            return false;
        }
        return true;
    }
    /** Waits until the cache file was rewritten after begin(). */
    bool waitForCacheWrite(const char *operation)
    {
        if (!runUntil([&] { return cacheWrittenNs >= 0; }, 180000)) {
            err() << operation << ": the cache was not written" << Qt::endl;
            return false;
        }
        return true;
    }

    /** When the list was first painted after its last reset. */
    qint64 paintedAt() const
    {
        return probe.paintTimes.at(size_t(paintsAtReset));
    }
    /**
     * The longest stall while the cache was written: between the last install
     * and the turn that saw the new file, or the install's own turn when the
     * file was written in it.
     */
    double cacheSaveStallMs() const
    {
        if (cacheWrittenNs < 0 || installs.empty())
            return -1;
        const qint64 installTurnEnd = meter.endAround(installs.back().second);
        if (installTurnEnd < 0 || cacheWrittenNs <= installTurnEnd)
            return meter.aroundMs(installs.back().second);
        return meter.longestMs(installTurnEnd, cacheWrittenNs);
    }

    PlayerWindow &window;
    const QElapsedTimer &clock;
    const QString cachePath;
    PaintProbe probe;
    StallMeter meter;
    qint64 beganNs = 0;
    int paintsAtReset = 0;

private:
    void checkCache(qint64 now)
    {
        if (cacheWrittenNs < 0 && fileSignature(cachePath) != cacheBefore)
            cacheWrittenNs = now;
    }

    QObject context;
    std::vector<std::pair<Library::Install, qint64>> installs;
    QStringList seen;
    QString cacheBefore;
    qint64 cacheWrittenNs = -1;
};

using Figures = QMap<QString, double>;

/**
 * Drives real, shown PlayerWindows through their public API and named
 * children to time what a user waits for and how long the window freezes:
 * start-up from the cache (and an empty window's), a full refresh, an update,
 * an install, the cache save and typing into the search dialog.
 */
class WindowBench {
public:
    WindowBench(const QString &folder, int tracks, int runs)
        : folder(folder)
        , cachePath(Library::cachePath(folder))
        , tracks(tracks)
        , runs(runs)
    {
        clock.start();
    }

    /** Every figure as its key and median, or nothing when a step failed. */
    std::optional<Figures> run();

private:
    /** Start-up without a music folder: construction until the empty list is painted. */
    bool timeEmptyStartup(double &ms, double &constructionMs);
    /** Start-up with "musicFolder" stored: construction until the full list is painted. */
    bool timeStartup(Window &window, double &ms, double &constructionMs, double &stallMs);
    bool timeRefresh(PlayerWindow &window, double &stallMs, double &saveStallMs);
    bool timeUpdate(PlayerWindow &window, double &ms, double &stallMs);
    bool timeInstall(PlayerWindow &window, double &ms, double &stallMs);
    bool timeWatch(PlayerWindow &window, Figures &figures);
    std::optional<std::vector<double>> typeQueries(
        SearchDialog &dialog, const QStringList &queries);

    const QString folder;
    const QString cachePath;
    const int tracks;
    const int runs;
    QElapsedTimer clock;
};

bool WindowBench::timeEmptyStartup(double &ms, double &constructionMs)
{
    storeFolder(QString());
    StallMeter meter(clock);
    meter.start();
    const qint64 began = clock.nsecsElapsed();
    auto window = startWindow();
    PaintProbe probe(trackList(*window)->viewport(), clock);
    window->resize(900, 650);
    window->show();
    if (!runUntil([&] { return probe.paints > 0; }, 30000)) {
        err() << "empty start-up: the list was not painted" << Qt::endl;
        return false;
    }
    meter.stop();
    ms = double(probe.paintTimes.front() - began) / 1e6;
    constructionMs = meter.firstMs();
    return true;
}

bool WindowBench::timeStartup(Window &window, double &ms, double &constructionMs, double &stallMs)
{
    storeFolder(folder);
    window.reset();
    // The meter runs from before the construction: the constructor is a turn
    // of its own that the event loop waits for.
    StallMeter meter(clock);
    meter.start();
    const qint64 began = clock.nsecsElapsed();
    window = startWindow();
    LibraryWatch watch(*window, clock, cachePath);
    watch.begin();
    // The cache may have been installed in the constructor already, or come later.
    int paintsWhenFull = listRows(*window) == tracks ? 0 : -1;
    QObject context;
    QObject::connect(trackList(*window)->model(), &QAbstractItemModel::modelReset, &context, [&] {
        if (paintsWhenFull < 0 && listRows(*window) == tracks)
            paintsWhenFull = watch.probe.paints;
    });
    window->resize(900, 650);
    window->show();
    if (!runUntil(
            [&] { return paintsWhenFull >= 0 && watch.probe.paints > paintsWhenFull; }, 180000)) {
        err() << "start-up: the list was not painted with " << tracks << " rows (it has "
              << listRows(*window) << ")" << Qt::endl;
        return false;
    }
    ms = double(watch.probe.paintTimes.at(size_t(paintsWhenFull)) - began) / 1e6;
    // The update scan every start-up runs, through to its painted list.
    if (!watch.waitForInstall(Library::Install::Update, "start-up update"))
        return false;
    meter.stop();
    watch.end();
    constructionMs = meter.firstMs();
    stallMs = meter.longestAfterFirstMs();
    return true;
}

bool WindowBench::timeRefresh(PlayerWindow &window, double &stallMs, double &saveStallMs)
{
    LibraryWatch watch(window, clock, cachePath);
    watch.begin();
    window.setMusicFolder(folder);
    if (!watch.waitForInstall(Library::Install::Scan, "refresh")
        || !watch.waitForPaintedList("refresh", tracks) || !watch.waitForCacheWrite("refresh"))
        return false;
    watch.end();
    stallMs = watch.meter.longestMs();
    saveStallMs = watch.cacheSaveStallMs();
    return true;
}

bool WindowBench::timeUpdate(PlayerWindow &window, double &ms, double &stallMs)
{
    LibraryWatch watch(window, clock, cachePath);
    watch.begin();
    window.library()->update();
    if (!watch.waitForInstall(Library::Install::Update, "update")
        || !watch.waitForPaintedList("update", tracks))
        return false;
    watch.end();
    ms = double(watch.paintedAt() - watch.beganNs) / 1e6;
    stallMs = watch.meter.longestMs();
    return true;
}

/**
 * What the views do when a library installs, alone: the install signal sent
 * in a turn of its own, until the list is painted again.
 */
bool WindowBench::timeInstall(PlayerWindow &window, double &ms, double &stallMs)
{
    LibraryWatch watch(window, clock, cachePath);
    watch.begin();
    qint64 sent = -1;
    QTimer::singleShot(0, &window, [&] {
        sent = clock.nsecsElapsed();
        emit window.library()->installed(Library::Install::Update);
    });
    if (!watch.waitForInstall(Library::Install::Update, "install")
        || !watch.waitForPaintedList("install", tracks))
        return false;
    watch.end();
    ms = double(watch.paintedAt() - sent) / 1e6;
    stallMs = watch.meter.longestMs();
    return true;
}

/**
 * What watching the folder costs: a watch of the whole tree until every
 * folder is watched, with the memory it takes, and a file landing in the tree
 * until its row is painted, batching included. The file goes again after.
 */
bool WindowBench::timeWatch(PlayerWindow &window, Figures &figures)
{
    // The tables the installs before replaced are freed on workers: done
    // first, and what is free given back before each reading, so that only
    // what the watch holds counts.
    QThreadPool::globalInstance()->waitForDone();
    const double rssBefore = liveResidentMb();
    FolderWatcher extra;
    bool ready = false;
    QObject::connect(&extra, &FolderWatcher::ready, &extra, [&ready] { ready = true; });
    QElapsedTimer timer;
    timer.start();
    extra.watch(folder);
    if (!runUntil([&ready] { return ready; }, 120000)) {
        err() << "watch: the tree was not watched" << Qt::endl;
        return false;
    }
    figures["watch_ready_ms"] = elapsedMs(timer);
    figures["watch_memory_mb"] = liveResidentMb() - rssBefore;
    extra.stop();

    const QString landed = folder + QStringLiteral("/Landed/landed.mp3");
    LibraryWatch watch(window, clock, cachePath);
    watch.begin();
    const qint64 start = clock.nsecsElapsed();
    if (!QDir().mkpath(folder + QStringLiteral("/Landed"))
        || !QFile::copy(QStringLiteral(CORVEL_FIXTURES_DIR "/tone.mp3"), landed)) {
        err() << "watch: cannot write " << landed << Qt::endl;
        return false;
    }
    if (!watch.waitForInstall(Library::Install::Update, "watch, file landing")
        || !watch.waitForPaintedList("watch, file landing", tracks + 1))
        return false;
    watch.end();
    figures["watch_landing_ms"] = double(watch.paintedAt() - start) / 1e6;
    figures["stall_watch_ms"] = watch.meter.longestMs();

    LibraryWatch gone(window, clock, cachePath);
    gone.begin();
    QFile::remove(landed);
    QDir().rmdir(folder + QStringLiteral("/Landed"));
    return gone.waitForInstall(Library::Install::Update, "watch, file gone")
        && gone.waitForPaintedList("watch, file gone", tracks);
}

std::optional<std::vector<double>> WindowBench::typeQueries(
    SearchDialog &dialog, const QStringList &queries)
{
    PaintProbe probe(results(dialog)->viewport(), clock);
    std::vector<double> keystrokes;
    for (const QString &query : queries) {
        searchInput(dialog)->clear();
        QCoreApplication::processEvents();
        for (int length = 1; length <= query.size(); ++length) {
            const QString typed = query.left(length);
            const int paintsBefore = probe.paints;
            const qint64 began = clock.nsecsElapsed();
            searchInput(dialog)->setText(typed);
            if (!processUntilPainted(probe, paintsBefore)) {
                err() << "search: no repaint after typing " << typed << Qt::endl;
                return std::nullopt;
            }
            keystrokes.push_back(double(probe.lastPaintNs - began) / 1e6);
        }
        if (results(dialog)->model()->rowCount() == 0)
            err() << "  (search: no hit for " << query << " in this library)" << Qt::endl;
    }
    searchInput(dialog)->clear();
    QCoreApplication::processEvents();
    return keystrokes;
}

std::optional<Figures> WindowBench::run()
{
    Figures figures;
    // Runs alternate between an empty window and one on the library, after
    // an untimed empty one: the first window of a process sets up much that
    // every later one finds ready.
    double ms = 0;
    double construction = 0;
    if (!timeEmptyStartup(ms, construction))
        return std::nullopt;
    Window window;
    std::vector<double> emptyMs;
    std::vector<double> startupMs;
    std::vector<double> startupStall;
    for (int run = 0; run < runs; ++run) {
        err() << "  start-up run " << (run + 1) << " / " << runs << Qt::endl;
        window.reset();
        double emptyConstruction = 0;
        double stall = 0;
        if (!timeEmptyStartup(ms, emptyConstruction))
            return std::nullopt;
        emptyMs.push_back(ms);
        if (!timeStartup(window, ms, construction, stall))
            return std::nullopt;
        startupMs.push_back(ms);
        // The window's own construction is a turn the event loop waits for in
        // any case; of it only what the library adds counts as its stall.
        startupStall.push_back(std::max(stall, construction - emptyConstruction));
    }
    figures["startup_ms"] = median(startupMs);
    figures["startup_empty_ms"] = median(emptyMs);
    figures["startup_library_ms"] = median(startupMs) - median(emptyMs);
    figures["stall_startup_ms"] = median(startupStall);

    // Each operation runs R times; of each of its two figures the median is kept.
    const auto repeat = [&](const char *label, const char *firstKey, const char *secondKey,
                            const std::function<bool(double &, double &)> &once) {
        std::vector<double> first;
        std::vector<double> second;
        for (int run = 0; run < runs; ++run) {
            err() << "  " << label << " run " << (run + 1) << " / " << runs << Qt::endl;
            double a = 0;
            double b = 0;
            if (!once(a, b))
                return false;
            first.push_back(a);
            second.push_back(b);
        }
        figures[firstKey] = median(first);
        figures[secondKey] = median(second);
        return true;
    };
    if (!repeat("full refresh", "stall_refresh_ms", "stall_cache_save_ms",
            [&](double &stall, double &save) { return timeRefresh(*window, stall, save); })
        || !repeat("update", "update_ms", "stall_update_ms",
            [&](double &ms, double &stall) { return timeUpdate(*window, ms, stall); })
        || !repeat("install", "install_ms", "stall_install_ms",
            [&](double &ms, double &stall) { return timeInstall(*window, ms, stall); }))
        return std::nullopt;

    err() << "  watch" << Qt::endl;
    if (!timeWatch(*window, figures))
        return std::nullopt;

    // Queued tracks all over the library, so that hits carry queue marks.
    const Playlist *records = window->library()->tracks();
    for (int i = 0; i < 20; ++i)
        window->queue()->toggle(records->pathAt(int(qint64(i) * records->count() / 20)));
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
    PaintProbe dialogProbe(&dialog, clock);
    if (!processUntilPainted(dialogProbe, 0)) {
        err() << "search: the dialog was not shown" << Qt::endl;
        return std::nullopt;
    }
    std::vector<double> keystrokes;
    std::vector<double> slowest;
    for (int run = 0; run < runs; ++run) {
        err() << "  search run " << (run + 1) << " / " << runs << Qt::endl;
        const std::optional<std::vector<double>> times = typeQueries(dialog, queries);
        if (!times || times->empty())
            return std::nullopt;
        keystrokes.insert(keystrokes.end(), times->begin(), times->end());
        slowest.push_back(*std::max_element(times->begin(), times->end()));
    }
    figures["search_ms"] = median(keystrokes);
    figures["search_max_ms"] = median(slowest);
    dialog.hide();
    return figures;
}

double peakRssMb()
{
    return statusMb("VmHWM:");
}

/** Measures every figure at @p tracks tracks and prints them as "key = value" lines. */
int measure(int tracks, int runs)
{
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

    Figures figures;
    qint64 checksum = 0;
    const QString cachePath = Library::cachePath(root);
    {
        // Scan and floor alternate, after one untimed pass that warms the page cache.
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
                err() << "wrong record for " << track.url.toLocalFile() << ": " << track.artist
                      << " / " << track.title << " / " << track.album << " / " << track.duration
                      << Qt::endl;
                return 1;
            }
        }

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
        figures["scan_ms"] = median(scanMs);
        figures["floor_ms"] = median(floorMs);
        figures["scan_over_floor"]
            = figures["floor_ms"] > 0 ? figures["scan_ms"] / figures["floor_ms"] : 0;
        figures["cache_save_ms"] = median(saveMs);
        figures["cache_load_ms"] = median(loadMs);
    }

    // What the player holds is measured from here: the scans above keep
    // libraries and file lists of the bench's own, so their peak is noted and
    // the high-water mark starts again (Linux: 5 in clear_refs resets it).
    figures["peak_rss_bench_mb"] = peakRssMb();
    nativeFiles = {};
#ifdef __GLIBC__
    // What they freed, glibc would keep: a player that never ran them has none of it.
    malloc_trim(0);
#endif
    {
        QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
        if (!clearRefs.open(QIODevice::WriteOnly) || clearRefs.write("5") != 1)
            err() << "cannot reset the peak memory figure" << Qt::endl;
    }

    // The cache the window starts from is the one just written and read.
    const std::optional<Figures> window = WindowBench(root, tracks, runs).run();
    if (!window)
        return 1;
    for (auto it = window->cbegin(); it != window->cend(); ++it)
        figures.insert(it.key(), it.value());
    figures["peak_rss_mb"] = peakRssMb();

    for (auto it = figures.cbegin(); it != figures.cend(); ++it)
        out() << it.key() << " = " << QString::number(it.value(), 'f', 2) << '\n';
    out().flush();
    return checksum == 0 ? 1 : 0; // a zero checksum means the floor read nothing
}

/** One line of the table: a figure's key, its label, its unit and its target at 50,000 tracks. */
struct TableRow {
    const char *key;
    const char *label;
    const char *unit;
    const char *target;
};

const TableRow tableRows[] = {
    {"scan_ms", "scan (loadFromFolder)", "ms", ""},
    {"floor_ms", "floor (bare TagLib reads)", "ms", ""},
    {"scan_over_floor", "scan / floor", "", "<= 1.6"},
    {"cache_save_ms", "cache save (saveToCache)", "ms", ""},
    {"cache_load_ms", "cache load (loadFromCache)", "ms", ""},
    {"startup_ms", "start-up from the cache", "ms", "<= 300 ms"},
    {"startup_empty_ms", "start-up, empty window", "ms", ""},
    {"startup_library_ms", "start-up, library's share", "ms", "<= 150 ms"},
    {"update_ms", "update (to painted list)", "ms", ""},
    {"install_ms", "install (to painted list)", "ms", ""},
    {"search_ms", "search, per keystroke", "ms", "<= 10 ms"},
    {"search_max_ms", "search, slowest keystroke", "ms", "<= 16 ms"},
    {"stall_startup_ms", "longest stall, start-up", "ms", "<= 50 ms"},
    {"stall_refresh_ms", "longest stall, full refresh", "ms", "<= 50 ms"},
    {"stall_update_ms", "longest stall, update", "ms", "<= 50 ms"},
    {"stall_install_ms", "longest stall, install", "ms", "<= 50 ms"},
    {"stall_cache_save_ms", "longest stall, cache save", "ms", "<= 50 ms"},
    {"stall_watch_ms", "longest stall, file landing", "ms", "<= 50 ms"},
    {"watch_ready_ms", "watch, whole tree watched", "ms", ""},
    {"watch_memory_mb", "watch, resident memory", "MB", ""},
    {"watch_landing_ms", "watch, file landed to row", "ms", ""},
    {"peak_rss_mb", "peak memory, the player", "MB", "<= 220 MB"},
    {"peak_rss_bench_mb", "peak memory, scan figures", "MB", ""},
};

QString shown(double value, const char *unit)
{
    const QString number = QString::number(value, 'f', qstrlen(unit) ? 1 : 2);
    return qstrlen(unit) ? number + ' ' + QLatin1String(unit) : number;
}

/** Runs this program once per size and prints what the children measured. */
int runSizes(const QList<int> &sizes, int runs)
{
    QList<QMap<QString, QString>> measured;
    bool failed = false;
    for (const int size : sizes) {
        err() << "== " << size << " tracks" << Qt::endl;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--size"), QString::number(size), QStringLiteral("--runs"),
                QString::number(runs)});
        QMap<QString, QString> values;
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit
            || child.exitCode() != 0) {
            err() << "the measurement at " << size << " tracks failed" << Qt::endl;
            failed = true;
        }
        const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            const qsizetype equals = line.indexOf(" = ");
            if (equals > 0)
                values.insert(
                    QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 3)));
        }
        measured.append(values);
    }

    QStringList sizeNames;
    for (const int size : sizes)
        sizeNames << QString::number(size);
    out() << "Corvel library benchmark: " << sizeNames.join(QStringLiteral(", "))
          << " tracks, median of " << runs << " runs; targets at 50000 tracks\n\n";
    out() << QStringLiteral("figure").leftJustified(30);
    for (const QString &name : sizeNames)
        out() << name.leftJustified(14);
    out() << "target\n";
    for (const TableRow &row : tableRows) {
        out() << QString::fromUtf8(row.label).leftJustified(30);
        for (const auto &values : measured) {
            const QString value = values.value(QLatin1String(row.key));
            out() << (value.isEmpty() ? QStringLiteral("-") : shown(value.toDouble(), row.unit))
                         .leftJustified(14);
        }
        out() << row.target << '\n';
    }
    out() << '\n';
    for (int i = 0; i < sizes.size(); ++i) {
        for (const TableRow &row : tableRows) {
            const QString value = measured.at(i).value(QLatin1String(row.key));
            if (!value.isEmpty())
                out() << row.key << '_' << sizes.at(i) << " = " << value << '\n';
        }
    }
    out().flush();
    return failed ? 1 : 0;
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
    parser.setApplicationDescription(
        QStringLiteral("Speed, memory and responsiveness of the music library."));
    parser.addHelpOption();
    const QCommandLineOption tracksOption(QStringLiteral("tracks"),
        QStringLiteral("Library sizes, comma-separated (default 10000,50000); each is measured "
                       "in a process of its own."),
        QStringLiteral("N[,N...]"), QStringLiteral("10000,50000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"),
        QStringLiteral("Runs per figure, the median is shown (default 5)."), QStringLiteral("R"),
        QStringLiteral("5"));
    // One size, measured in this process: what the parent runs per size.
    QCommandLineOption sizeOption(QStringLiteral("size"), QString(), QStringLiteral("N"));
    sizeOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(tracksOption);
    parser.addOption(runsOption);
    parser.addOption(sizeOption);
    parser.process(app);

    bool ok = false;
    const int runs = parser.value(runsOption).toInt(&ok);
    if (!ok || runs < 1) {
        err() << "--runs needs a positive number" << Qt::endl;
        return 2;
    }
    if (parser.isSet(sizeOption)) {
        const int size = parser.value(sizeOption).toInt(&ok);
        return ok && size > 0 ? measure(size, runs) : 2;
    }
    QList<int> sizes;
    for (const QString &part : parser.value(tracksOption).split(QLatin1Char(','))) {
        sizes.append(part.trimmed().toInt(&ok));
        if (!ok || sizes.last() < 1) {
            err() << "--tracks needs positive numbers separated by commas" << Qt::endl;
            return 2;
        }
    }
    return runSizes(sizes, runs);
}
