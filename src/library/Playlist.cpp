#include "library/Playlist.h"

#include "library/TimeText.h"
#include "library/cache/TrackCache.h"
#include "library/scan/BackgroundThreads.h"
#include "library/scan/FileState.h"
#include "library/scan/MusicFiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <utility>

namespace {

using Generation = std::shared_ptr<std::atomic<quint64>>;
using Record = TrackTable::Record;
using Table = std::shared_ptr<const TrackTable>;

Playlist::TrackInfo trackInfo(const Record &record, const QString &searchKey)
{
    Playlist::TrackInfo track;
    track.artist = record.artist;
    track.title = record.title;
    track.album = record.album;
    track.trackArtist = record.trackArtist;
    track.duration = record.duration;
    track.url = QUrl::fromLocalFile(record.path);
    track.fileName = TrackTable::fileName(record.path);
    track.displayName = TrackTable::displayName(record);
    track.searchKey = searchKey;
    return track;
}

} // namespace

Playlist::Playlist(QObject *parent)
    : QObject(parent)
{
    // A scan, a cache read and an overtaken one still ending.
    workers.setMaxThreadCount(3);
    background.setMaxThreadCount(1);
}

Playlist::~Playlist()
{
    // Running workers stop and their pending progress calls are dropped: the
    // callbacks may refer to objects that go away with us.
    scanGeneration->fetch_add(1);
}

void Playlist::install(std::shared_ptr<const TrackTable> next, QHash<QString, QString> moved)
{
    movedPaths = std::move(moved);
    Table old = std::exchange(data, std::move(next));
    // Tens of thousands of strings take a while to free: the old table goes on
    // a worker, unless a save still holds it.
    background.start([old = std::move(old)]() mutable {
        BackgroundThreads::yieldToWindow();
        old.reset();
    });
}

void Playlist::startScan(const QString &folderPath, ScanKind kind,
    std::shared_ptr<const QSet<QString>> known, std::function<void(int)> onProgress,
    std::function<void(bool)> onDone, bool installIfGone, QList<UpdateMerge::Move> moves,
    QStringList scope)
{
    const quint64 myGeneration = scanGeneration->fetch_add(1) + 1;
    const Generation generation = scanGeneration;

    using Outcome = LibraryScanner::Outcome;
    auto *watcher = new QFutureWatcher<Outcome>(this);
    connect(watcher, &QFutureWatcher<Outcome>::finished, this,
        [this, watcher, onDone = std::move(onDone), myGeneration, installIfGone] {
            watcher->deleteLater();
            if (scanGeneration->load() != myGeneration)
                return; // overtaken by a newer scan
            const Outcome outcome = watcher->result();
            const bool installs = !outcome.folderGone || installIfGone;
            if (installs) {
                // A scoped update listed only part of the folder.
                if (!outcome.scoped)
                    skipped = outcome.skipped;
                install(outcome.table, outcome.moved);
            }
            if (onDone)
                onDone(installs);
        });
    // An overtaken scan (or one whose Playlist is gone) stops early, and its
    // progress calls, posted to the application object, are dropped.
    const auto overtaken = [generation, myGeneration] {
        return generation->load(std::memory_order_relaxed) != myGeneration;
    };
    std::function<void(int)> report;
    if (onProgress) {
        report = [onProgress = std::move(onProgress), generation, myGeneration](int found) {
            QMetaObject::invokeMethod(
                qApp,
                [onProgress, found, generation, myGeneration] {
                    if (generation->load() == myGeneration)
                        onProgress(found);
                },
                Qt::QueuedConnection);
        };
    }
    watcher->setFuture(QtConcurrent::run(&workers,
        [folderPath, kind, base = data, known = std::move(known), moves = std::move(moves),
            scope = std::move(scope),
            scanner = LibraryScanner(overtaken, std::move(report))]() mutable {
            return scanner.scan(folderPath, kind, base, known.get(), moves, std::move(scope));
        }));
}

void Playlist::loadFromFolder(const QString &folderPath, std::function<void(int)> onProgress,
    std::function<void()> onFinished)
{
    startScan(
        folderPath, ScanKind::Full, nullptr, std::move(onProgress),
        [onFinished = std::move(onFinished)](bool) {
            if (onFinished)
                onFinished();
        },
        true);
}

void Playlist::updateFromFolder(
    const QString &folderPath, const QStringList &knownFiles, std::function<void()> onDone)
{
    // A hash set keeps the lookup cheap for libraries of many thousand files.
    auto known = std::make_shared<const QSet<QString>>(knownFiles.cbegin(), knownFiles.cend());
    startScan(
        folderPath, ScanKind::Full, std::move(known), {},
        [onDone = std::move(onDone)](bool) {
            if (onDone)
                onDone();
        },
        true);
}

void Playlist::scanFolder(const QString &folderPath, ScanKind kind,
    std::function<void(int)> onProgress, std::function<void(bool installed)> onDone,
    QList<UpdateMerge::Move> moves, QStringList scope)
{
    startScan(folderPath, kind, nullptr, std::move(onProgress), std::move(onDone), false,
        std::move(moves), std::move(scope));
}

bool Playlist::saveToCache(const QString &cachePath) const
{
    return TrackCache::write(cachePath, data->records());
}

bool Playlist::loadFromCache(const QString &cachePath)
{
    std::optional<QList<Record>> records = TrackCache::read(cachePath, data.get());
    if (!records)
        return false;
    scanGeneration->fetch_add(1);
    install(std::make_shared<const TrackTable>(std::move(*records)));
    return true;
}

void Playlist::readCache(const QString &cachePath, std::function<void(bool loaded)> onDone,
    std::shared_ptr<const TrackTable> holding)
{
    const quint64 myGeneration = scanGeneration->fetch_add(1) + 1;
    auto *watcher = new QFutureWatcher<Table>(this);
    connect(watcher, &QFutureWatcher<Table>::finished, this,
        [this, watcher, onDone = std::move(onDone), myGeneration] {
            watcher->deleteLater();
            if (scanGeneration->load() != myGeneration)
                return;
            const Table table = watcher->result();
            if (table) {
                install(table);
                // After the list is shown, not before: a search typed
                // meanwhile waits for what is left of it.
                background.start([table] {
                    BackgroundThreads::yieldToWindow();
                    table->prepareSearch();
                });
            }
            if (onDone)
                onDone(bool(table));
        });
    watcher->setFuture(QtConcurrent::run(&workers, [cachePath, inPlace = data, holding]() -> Table {
        if (holding)
            return holding;
        std::optional<QList<Record>> records = TrackCache::read(cachePath, inPlace.get());
        if (!records)
            return nullptr;
        return std::make_shared<const TrackTable>(std::move(*records), TrackTable::Keys::Later);
    }));
}

MusicFiles::SkippedNames Playlist::skippedNames() const
{
    return skipped;
}

void Playlist::rebuildSearchIndex()
{
    install(std::make_shared<const TrackTable>(data->records()));
}

std::shared_ptr<const TrackTable> Playlist::table() const
{
    return data;
}

QHash<QString, QString> Playlist::lastMoves() const
{
    return movedPaths;
}

QStringList Playlist::knownFilePaths() const
{
    QStringList paths;
    paths.reserve(data->count());
    for (const Record &record : data->records())
        paths.append(record.path);
    return paths;
}

QStringList Playlist::getList() const
{
    QStringList names;
    names.reserve(data->count());
    for (const Record &record : data->records())
        names.append(TrackTable::displayName(record));
    return names;
}

QString Playlist::textAt(int i) const
{
    if (i < 0 || i >= data->count())
        return QString();
    return TrackTable::displayName(data->at(i));
}

int Playlist::count() const
{
    return data->count();
}

QUrl Playlist::at(int i) const
{
    if (i < 0 || i >= data->count())
        return QUrl();
    return QUrl::fromLocalFile(data->at(i).path);
}

int Playlist::indexOf(const QUrl &url) const
{
    if (!url.isLocalFile())
        return -1;
    return data->rowOf(url.toLocalFile());
}

QString Playlist::pathAt(int i) const
{
    if (i < 0 || i >= data->count())
        return QString();
    return data->at(i).path;
}

int Playlist::indexOfPath(const QString &path) const
{
    return data->rowOf(path);
}

QString Playlist::durationAt(int i) const
{
    if (i < 0 || i >= data->count())
        return QString();
    return data->at(i).duration;
}

Playlist::TrackInfo Playlist::track(int i) const
{
    if (i < 0 || i >= data->count())
        return TrackInfo();
    // Of the record itself: the table's keys may still be being laid out.
    return trackInfo(data->at(i), TrackTable::searchKeyOf(data->at(i)));
}

QString Playlist::searchText(const QString &query)
{
    return TrackTable::searchForm(query.trimmed());
}

QList<int> Playlist::search(const QString &query, const QList<int> *within) const
{
    return data->search(searchText(query), within);
}

bool Playlist::isAudioName(const QString &name)
{
    return MusicFiles::isAudioName(name);
}

QString Playlist::formatDuration(qint64 ms)
{
    return TimeText::length(ms);
}

Playlist::TrackInfo Playlist::readTrack(const QString &path)
{
    return trackOf(LibraryScanner::read(path, FileState::of(QFileInfo(path))));
}

Playlist::TrackInfo Playlist::trackOf(const Record &record)
{
    return trackInfo(record, TrackTable::searchKeyOf(record));
}
