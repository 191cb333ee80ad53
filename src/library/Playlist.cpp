#include "library/Playlist.h"
#include "library/scan/MusicFiles.h"

#include "library/TimeText.h"
#include "library/cache/TrackCache.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

using Generation = std::shared_ptr<std::atomic<quint64>>;
using Record = TrackTable::Record;
using Table = std::shared_ptr<const TrackTable>;

/** A scan's result: the new table, or none when the folder was gone at the end. */
struct ScanOutcome {
    Table table;
    bool folderGone = false;
};

QString toQString(const TagLib::String &text)
{
    const std::wstring wide = text.toWString();
    return QString::fromWCharArray(wide.data(), qsizetype(wide.size()));
}

/** What the library records of a file's state to notice a change. */
struct FileState {
    bool isFile = false;
    qint64 mtime = -1;
    qint64 size = -1;
};

/** The state of the file @p info describes, with one look at the file. */
FileState stateOf(const QFileInfo &info)
{
    FileState state;
#ifdef Q_OS_UNIX
    // QFileInfo's own stat is as costly, but its modification time is a local
    // QDateTime, and glibc looks at /etc/localtime twice for each conversion.
    struct stat status;
    if (::stat(QFile::encodeName(info.filePath()).constData(), &status) != 0
        || !S_ISREG(status.st_mode))
        return state;
    state.isFile = true;
    state.mtime = qint64(status.st_mtime);
    state.size = qint64(status.st_size);
#else
    state.isFile = info.isFile();
    if (state.isFile) {
        state.mtime = info.lastModified().toSecsSinceEpoch();
        state.size = info.size();
    }
#endif
    return state;
}

/**
 * Reads album artist, title, album and length of the file at @p path, which
 * @p state describes. Anything but a regular file gives empty tags.
 */
Record readRecord(const QString &path, const FileState &state)
{
    Record record;
    record.path = path;
    record.mtime = state.mtime;
    record.size = state.size;
    // The walk also yields symbolic links to FIFOs and devices; opening one of
    // those could block the scan for good.
    if (!state.isFile) {
        record.duration = Playlist::formatDuration(0);
        return record;
    }

#ifdef Q_OS_WIN
    const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
    TagLib::FileRef ref(nativePath.c_str(), true, TagLib::AudioProperties::Average);
#else
    const QByteArray nativePath = QFile::encodeName(path);
    TagLib::FileRef ref(nativePath.constData(), true, TagLib::AudioProperties::Average);
#endif

    qint64 lengthMs = 0;
    // A null reference is a file TagLib could not open or parse (empty,
    // truncated, not audio): it still becomes a record, with empty tags.
    if (!ref.isNull()) {
        // The property map is the one reader that sees every format's tags,
        // the RIFF INFO chunk of a WAV file (INAM, IPRD) included, where
        // FileRef::tag() shows only the ID3v2 chunk. It comes from a single tag
        // of the file, though, while tag() merges ID3v2 and ID3v1 field by
        // field, so a field the map lacks is taken from tag().
        const TagLib::PropertyMap properties = ref.file()->properties();
        const TagLib::Tag *tag = ref.tag();
        // Several values are joined as tag() joins them: with a space.
        const auto field = [&properties](const char *key, const TagLib::String &fallback,
                               const char *separator = " ") {
            const auto found = properties.find(key);
            if (found != properties.end() && !found->second.isEmpty())
                return toQString(found->second.toString(separator));
            return toQString(fallback);
        };
        record.title = field("TITLE", tag ? tag->title() : TagLib::String());
        record.album = field("ALBUM", tag ? tag->album() : TagLib::String());
        // The album artist has no accessor on TagLib::Tag; the map names it
        // the same for every format (ID3v2 TPE2, Vorbis and FLAC ALBUMARTIST).
        // Many files name only the track artist (ID3v2 TPE1, Vorbis ARTIST,
        // RIFF INFO IART): the list shows that one then.
        record.trackArtist = field("ARTIST", tag ? tag->artist() : TagLib::String(), ", ");
        record.artist = field("ALBUMARTIST", TagLib::String(), ", ");
        if (record.artist.isEmpty())
            record.artist = record.trackArtist;
        if (const TagLib::AudioProperties *audio = ref.audioProperties())
            lengthMs = audio->lengthInMilliseconds();
    }
    record.duration = Playlist::formatDuration(lengthMs);
    return record;
}

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

/** The file's recorded state is known and no longer matches @p state. */
bool changed(const Record &record, const FileState &state)
{
    return record.mtime >= 0 && record.size >= 0
        && (record.mtime != state.mtime || record.size != state.size);
}

/**
 * Walks @p folderPath on a thread of its own, looking at each audio file found
 * there that @p skip does not hold, while @p take is called here with each in
 * walk order: the reads of the tags need not wait for the walk. False when
 * @p overtaken said so before the end.
 */
bool walkAhead(const QString &folderPath, const QSet<QString> *skip,
    const std::function<bool()> &overtaken,
    const std::function<void(const QString &, const FileState &)> &take)
{
    std::mutex lock;
    std::condition_variable arrived;
    QList<std::pair<QString, FileState>> found; // guarded by lock
    bool walked = false; // guarded by lock
    std::atomic<bool> stop{false};
    std::thread walker([&] {
        // Every entry, folders included, comes back here: an overtaken scan
        // stops within one entry even in a large tree of other files (a home
        // folder), where name filters would let the iterator walk on to the
        // next match.
        QDirIterator it(folderPath, QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext() && !stop.load(std::memory_order_relaxed)) {
            const QString path = it.next();
            if (overtaken())
                break;
            if (!Playlist::isAudioName(it.fileName()))
                continue;
            const QFileInfo info = it.fileInfo();
            if (info.isDir() || (skip && skip->contains(path)))
                continue;
            const FileState state = stateOf(info);
            const std::lock_guard<std::mutex> guard(lock);
            found.append({path, state});
            if (found.size() == 1)
                arrived.notify_one();
        }
        const std::lock_guard<std::mutex> guard(lock);
        walked = true;
        arrived.notify_one();
    });
    QList<std::pair<QString, FileState>> batch;
    bool done = false;
    while (!done) {
        {
            std::unique_lock<std::mutex> guard(lock);
            arrived.wait(guard, [&] { return !found.isEmpty() || walked; });
            done = found.isEmpty();
            batch.swap(found);
        }
        for (const auto &[path, state] : std::as_const(batch)) {
            if (overtaken()) {
                stop = true;
                done = true;
                break;
            }
            take(path, state);
        }
        batch.clear();
    }
    walker.join();
    return !overtaken();
}

/**
 * The worker of every scan. Walks @p folderPath and builds the new table as
 * @p kind says, against @p base for an update, leaving out the paths in
 * @p known for an append. Stops early once a newer scan has been started,
 * since its result would be dropped anyway.
 */
ScanOutcome runScan(const QString &folderPath, Playlist::ScanKind kind, const Table &base,
    const QSet<QString> *known, const std::function<void(int)> &onProgress,
    const Generation &generation, quint64 myGeneration)
{
    const auto overtaken
        = [&] { return generation->load(std::memory_order_relaxed) != myGeneration; };
    int count = 0;
    const auto postProgress = [&](int found) {
        QMetaObject::invokeMethod(
            qApp,
            [onProgress, found, generation, myGeneration] {
                if (generation->load() == myGeneration)
                    onProgress(found);
            },
            Qt::QueuedConnection);
    };
    const auto counted = [&] {
        ++count;
        if (onProgress && count % 100 == 0)
            postProgress(count);
    };

    const bool update = kind == Playlist::ScanKind::Update;
    QList<Record> records = update || known ? base->records() : QList<Record>();
    QHash<QString, FileState> seen; // an update: the files of known records, as the walk found them
    QList<std::pair<QString, FileState>> fresh; // an update: new files, in walk order
    // An empty path would make the iterator walk the working directory.
    if (!folderPath.isEmpty()) {
        const bool walked = walkAhead(folderPath, update ? nullptr : known, overtaken,
            [&](const QString &path, const FileState &state) {
                if (!update) {
                    records.append(readRecord(path, state));
                    counted();
                } else if (base->rowOf(path) != -1) {
                    seen.insert(path, state);
                } else {
                    fresh.append({path, state});
                }
            });
        if (!walked)
            return {};
    }
    // A folder removed, renamed or unmounted walks as an empty one.
    const bool folderGone = !QFileInfo(folderPath).isDir();
    if (update && !folderGone) {
        QHash<QString, Record> reread; // by path: a path twice is read once
        const auto needsRead = [&](const Record &record, const FileState &state) {
            return state.isFile && changed(record, state);
        };
        QList<Record> kept;
        kept.reserve(records.size() + fresh.size());
        bool same = fresh.isEmpty(); // whether the base can stay as it is
        for (const Record &record : std::as_const(records)) {
            auto found = seen.constFind(record.path);
            FileState state;
            if (found != seen.constEnd()) {
                state = *found;
            } else {
                // Not below the folder as walked (a file elsewhere, an unreadable
                // sub-folder): kept while it exists.
                const QFileInfo info(record.path);
                if (!info.exists()) {
                    same = false;
                    continue;
                }
                state = stateOf(info);
            }
            if (needsRead(record, state)) {
                same = false;
                if (overtaken())
                    return {};
                auto done = reread.constFind(record.path);
                if (done == reread.constEnd()) {
                    done = reread.insert(record.path, readRecord(record.path, state));
                    counted();
                }
                kept.append(*done);
            } else if (record.mtime < 0 || record.size < 0) {
                // Recorded by an older build: trusted, so that the first start
                // after an upgrade is no full rescan.
                same = same && record.mtime == state.mtime && record.size == state.size;
                Record trusted = record;
                trusted.mtime = state.mtime;
                trusted.size = state.size;
                kept.append(std::move(trusted));
            } else {
                kept.append(record);
            }
        }
        for (const auto &[path, state] : std::as_const(fresh)) {
            if (overtaken())
                return {};
            kept.append(readRecord(path, state));
            counted();
        }
        if (same && !overtaken()) {
            if (onProgress)
                postProgress(count);
            return {base, false};
        }
        records = std::move(kept);
    }
    if (onProgress)
        postProgress(count);
    if (overtaken())
        return {};
    // Shared only now: freeing the duplicates between the reads left holes
    // that made the reader's many small allocations a tenth slower.
    TrackTable::Interner interner;
    for (Record &record : records)
        interner.intern(record);
    return {std::make_shared<const TrackTable>(std::move(records)), folderGone};
}

} // namespace

Playlist::Playlist(QObject *parent)
    : QObject(parent)
{
}

Playlist::~Playlist()
{
    // Running workers stop and their pending progress calls are dropped: the
    // callbacks may refer to objects that go away with us.
    scanGeneration->fetch_add(1);
}

void Playlist::install(std::shared_ptr<const TrackTable> next)
{
    Table old = std::exchange(data, std::move(next));
    // Tens of thousands of strings take a while to free: the old table goes on
    // a worker, unless a save still holds it.
    QThreadPool::globalInstance()->start([old = std::move(old)]() mutable {
        old.reset();
#ifdef __GLIBC__
        // glibc gives back only the free space at the top of each thread's
        // arena; what the scan, the cache text and the old table leave below
        // it would stay with the process, tens of megabytes more with each
        // install at 50,000 tracks.
        malloc_trim(0);
#endif
    });
}

void Playlist::startScan(const QString &folderPath, ScanKind kind,
    std::shared_ptr<const QSet<QString>> known, std::function<void(int)> onProgress,
    std::function<void(bool)> onDone, bool installIfGone)
{
    const quint64 myGeneration = scanGeneration->fetch_add(1) + 1;
    const Generation generation = scanGeneration;

    auto *watcher = new QFutureWatcher<ScanOutcome>(this);
    connect(watcher, &QFutureWatcher<ScanOutcome>::finished, this,
        [this, watcher, onDone = std::move(onDone), myGeneration, installIfGone] {
            watcher->deleteLater();
            if (scanGeneration->load() != myGeneration)
                return; // overtaken by a newer scan
            const ScanOutcome outcome = watcher->result();
            const bool installs = !outcome.folderGone || installIfGone;
            if (installs)
                install(outcome.table);
            if (onDone)
                onDone(installs);
        });
    watcher->setFuture(QtConcurrent::run([folderPath, kind, base = data, known = std::move(known),
                                             onProgress = std::move(onProgress), generation,
                                             myGeneration] {
        return runScan(folderPath, kind, base, known.get(), onProgress, generation, myGeneration);
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
    std::function<void(int)> onProgress, std::function<void(bool installed)> onDone)
{
    startScan(folderPath, kind, nullptr, std::move(onProgress), std::move(onDone), false);
}

bool Playlist::saveToCache(const QString &cachePath) const
{
    return TrackCache::write(cachePath, TrackCache::toJson(data->records()));
}

bool Playlist::loadFromCache(const QString &cachePath)
{
    std::optional<QList<Record>> records = TrackCache::read(cachePath);
    if (!records)
        return false;
    scanGeneration->fetch_add(1);
    install(std::make_shared<const TrackTable>(std::move(*records)));
    return true;
}

void Playlist::readCache(const QString &cachePath, std::function<void(bool loaded)> onDone)
{
    const quint64 myGeneration = scanGeneration->fetch_add(1) + 1;
    auto *watcher = new QFutureWatcher<Table>(this);
    connect(watcher, &QFutureWatcher<Table>::finished, this,
        [this, watcher, onDone = std::move(onDone), myGeneration] {
            watcher->deleteLater();
            if (scanGeneration->load() != myGeneration)
                return;
            const Table table = watcher->result();
            if (table)
                install(table);
            if (onDone)
                onDone(bool(table));
        });
    watcher->setFuture(QtConcurrent::run([cachePath]() -> Table {
        std::optional<QList<Record>> records = TrackCache::read(cachePath);
        if (!records)
            return nullptr;
        return std::make_shared<const TrackTable>(std::move(*records));
    }));
}

void Playlist::rebuildSearchIndex()
{
    install(std::make_shared<const TrackTable>(data->records()));
}

std::shared_ptr<const TrackTable> Playlist::table() const
{
    return data;
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
    return trackInfo(data->at(i), data->searchKey(i).toString());
}

QString Playlist::searchText(const QString &query)
{
    return query.trimmed().toCaseFolded();
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
    const Record record = readRecord(path, stateOf(QFileInfo(path)));
    return trackInfo(record, TrackTable::searchKeyOf(record));
}
