#include "WindowBench.h"

#include "LibraryWatch.h"
#include "PaintProbe.h"
#include "Probes.h"
#include "StallMeter.h"
#include "app/PlayerCore.h"
#include "library/Library.h"
#include "library/Playlist.h"
#include "library/watcher/FolderWatcher.h"
#include "playback/QueueController.h"
#include "ui/PlayerWindow.h"
#include "ui/dialogs/SearchDialog.h"
#include "ui/widgets/TrackList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QSettings>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace bench {

namespace {

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

} // namespace

WindowBench::WindowBench(const QString &folder, int tracks, int runs)
    : folder(folder)
    , cachePath(Library::cachePath(folder))
    , tracks(tracks)
    , runs(runs)
{
    clock.start();
}

void WindowAndCore::operator()(PlayerWindow *window) const
{
    PlayerCore *core = window->core();
    delete window;
    delete core;
}

Window WindowBench::openWindow()
{
    Window window(new PlayerWindow(new PlayerCore));
    window->core()->start();
    return window;
}

bool WindowBench::timeEmptyStartup(double &ms, double &constructionMs)
{
    storeFolder(QString());
    StallMeter meter(clock);
    meter.start();
    const qint64 began = clock.nsecsElapsed();
    auto window = openWindow();
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
    window = openWindow();
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
    window.library()->loadCacheAndCheck();
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

void WindowBench::notePeak(Figures &figures, const char *key)
{
    const double peak = peakRssMb();
    figures[key] = std::max(figures.value(key), peak);
    figures["peak_rss_mb"] = std::max(figures.value("peak_rss_mb"), peak);
    resetPeakRss();
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
        notePeak(figures, "peak_startup_mb");
    }
    figures["startup_ms"] = median(startupMs);
    figures["startup_empty_ms"] = median(emptyMs);
    figures["startup_library_ms"] = median(startupMs) - median(emptyMs);
    figures["stall_startup_ms"] = median(startupStall);

    // Each operation runs R times; of each of its two figures the median is kept.
    const auto repeat
        = [&](const char *label, const char *peakKey, const char *firstKey, const char *secondKey,
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
                  notePeak(figures, peakKey);
              }
              figures[firstKey] = median(first);
              figures[secondKey] = median(second);
              return true;
          };
    if (!repeat("full refresh", "peak_refresh_mb", "stall_refresh_ms", "stall_cache_save_ms",
            [&](double &stall, double &save) { return timeRefresh(*window, stall, save); })
        || !repeat("update", "peak_update_mb", "update_ms", "stall_update_ms",
            [&](double &ms, double &stall) { return timeUpdate(*window, ms, stall); })
        || !repeat("install", "peak_install_mb", "install_ms", "stall_install_ms",
            [&](double &ms, double &stall) { return timeInstall(*window, ms, stall); }))
        return std::nullopt;

    err() << "  watch" << Qt::endl;
    if (!timeWatch(*window, figures))
        return std::nullopt;
    notePeak(figures, "peak_watch_mb");

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
    notePeak(figures, "peak_search_mb");
    dialog.hide();
    return figures;
}

} // namespace bench
