// corvel-bench: the music library's speed, memory and responsiveness on a
// synthetic library.
//
//   corvel-bench [--tracks N[,N...]] [--runs R] [--scan-only] [--library DIR]
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
// its installed() signal, never for a time or a status text. --scan-only
// stops after the scan, walk and cache figures, without the window.
// --library keeps each size's library in a folder of DIR and builds it only
// in the first call that needs it, so that calls minutes apart (a before and
// an after) measure the very same files without writing them again.

#include "CoverMeasurements.h"
#include "HandOverBench.h"
#include "Probes.h"
#include "Report.h"
#include "ScanMeasurements.h"
#include "SyntheticLibrary.h"
#include "WindowBench.h"
#include "library/Library.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <optional>
#include <vector>

using namespace bench;

namespace {

/** Measures every figure at @p tracks tracks and prints them as "key = value" lines. */
int measure(int tracks, int runs, bool scanOnly, const QString &keptIn)
{
    QTemporaryDir temp;
    if (!temp.isValid()) {
        err() << "cannot create a temporary folder" << Qt::endl;
        return 1;
    }
    const QString home = keptIn.isEmpty() ? temp.path() : keptIn + '/' + QString::number(tracks);
    const QString root = home + QString::fromUtf8("/Müsik ♫");
    // Written last, so a build cut short is built again.
    const QString built = home + QStringLiteral("/built");
    if (QFileInfo::exists(built)) {
        err() << "reusing " << tracks << " tracks in " << root << Qt::endl;
        // What a run cut short may have left: the landed file, the cache.
        QDir(root + QStringLiteral("/Landed")).removeRecursively();
        QFile::remove(Library::cachePath(root));
    } else {
        QDir(home).removeRecursively();
        err() << "building " << tracks << " tracks in " << root << Qt::endl;
        if (!buildLibrary(root, tracks))
            return 1;
        QFile marker(built);
        if (!keptIn.isEmpty() && !marker.open(QIODevice::WriteOnly)) {
            err() << "cannot write " << built << Qt::endl;
            return 1;
        }
    }
#ifdef Q_OS_UNIX
    // Flush the freshly written library first, so that its write-back does not
    // land in the timings (the cache save waits for its own data to reach disk).
    ::sync();
#endif

    std::vector<NativePath> nativeFiles;
    {
        // Not kept: the window's figures are the player's memory, not the bench's list.
        const QStringList files = audioFiles(root);
        nativeFiles.reserve(size_t(files.size()));
        for (const QString &file : files)
            nativeFiles.push_back(nativePath(file));
    }

    Figures figures;
    qint64 checksum = 0;
    if (!measureScan(root, nativeFiles, tracks, runs, figures, checksum))
        return 1;

    if (!measureCovers(runs, figures))
        return 1;

    if (scanOnly) {
        figures["peak_rss_bench_mb"] = peakRssMb();
        printFigures(figures);
        return checksum == 0 ? 1 : 0;
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
    if (!resetPeakRss())
        err() << "cannot reset the peak memory figure" << Qt::endl;

    // The cache the window starts from is the one just written and read.
    const std::optional<Figures> window = WindowBench(root, tracks, runs).run();
    if (!window)
        return 1;
    for (auto it = window->cbegin(); it != window->cend(); ++it)
        figures.insert(it.key(), it.value());
    // Each phase's peak was taken and the mark started again after it.
    figures["peak_rss_mb"] = std::max(window->value("peak_rss_mb"), peakRssMb());

#ifdef CORVEL_HAS_DBUS
    // After the peak: the files it writes and the second start are not the player's.
    const std::optional<Figures> handOver = HandOverBench(root, 20000, runs).run();
    if (!handOver)
        return 1;
    for (auto it = handOver->cbegin(); it != handOver->cend(); ++it)
        figures.insert(it.key(), it.value());
#endif

    printFigures(figures);
    return checksum == 0 ? 1 : 0; // a zero checksum means the floor read nothing
}

/** Runs this program once per size and prints what the children measured. */
int runSizes(const QList<int> &sizes, int runs, bool scanOnly, const QString &keptIn)
{
    QList<QMap<QString, QString>> measured;
    bool failed = false;
    for (const int size : sizes) {
        err() << "== " << size << " tracks" << Qt::endl;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments = {QStringLiteral("--size"), QString::number(size),
            QStringLiteral("--runs"), QString::number(runs)};
        if (scanOnly)
            arguments << QStringLiteral("--scan-only");
        if (!keptIn.isEmpty())
            arguments << QStringLiteral("--library") << keptIn;
        child.start(QCoreApplication::applicationFilePath(), arguments);
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit
            || child.exitCode() != 0) {
            err() << "the measurement at " << size << " tracks failed" << Qt::endl;
            failed = true;
        }
        measured.append(parseFigures(child.readAllStandardOutput()));
    }

    printTable(sizes, runs, measured);
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
    const QCommandLineOption scanOnlyOption(QStringLiteral("scan-only"),
        QStringLiteral("Only the scan, walk and cache figures: no window."));
    const QCommandLineOption libraryOption(QStringLiteral("library"),
        QStringLiteral("Keeps the libraries in DIR, one folder per size, and builds each only "
                       "once: later calls measure the same files."),
        QStringLiteral("DIR"));
    // One size, measured in this process: what the parent runs per size.
    QCommandLineOption sizeOption(QStringLiteral("size"), QString(), QStringLiteral("N"));
    sizeOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(tracksOption);
    parser.addOption(runsOption);
    parser.addOption(scanOnlyOption);
    parser.addOption(libraryOption);
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
        return ok && size > 0
            ? measure(size, runs, parser.isSet(scanOnlyOption), parser.value(libraryOption))
            : 2;
    }
    QList<int> sizes;
    for (const QString &part : parser.value(tracksOption).split(QLatin1Char(','))) {
        sizes.append(part.trimmed().toInt(&ok));
        if (!ok || sizes.last() < 1) {
            err() << "--tracks needs positive numbers separated by commas" << Qt::endl;
            return 2;
        }
    }
    QString keptIn = parser.value(libraryOption);
    if (!keptIn.isEmpty()) {
        keptIn = QDir(keptIn).absolutePath();
        if (!QDir().mkpath(keptIn)) {
            err() << "cannot create " << keptIn << Qt::endl;
            return 2;
        }
    }
    return runSizes(sizes, runs, parser.isSet(scanOnlyOption), keptIn);
}
