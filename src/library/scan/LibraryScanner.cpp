#include "library/scan/LibraryScanner.h"

#include "library/Playlist.h"
#include "library/scan/MusicFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace {

using Record = TrackTable::Record;
using Found = UpdateMerge::Found;

QString toQString(const TagLib::String &text)
{
    const std::wstring wide = text.toWString();
    return QString::fromWCharArray(wide.data(), qsizetype(wide.size()));
}

} // namespace

LibraryScanner::LibraryScanner(std::function<bool()> overtaken, std::function<void(int)> progress)
    : overtaken(std::move(overtaken))
    , progress(std::move(progress))
{
}

Record LibraryScanner::read(const QString &path, const FileState &state)
{
    // The walk also yields symbolic links to FIFOs and devices; opening one of
    // those could block the scan for good.
    if (!state.isFile)
        return read(path, state, TagLib::FileRef());
#ifdef Q_OS_WIN
    const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
    const TagLib::FileRef ref(nativePath.c_str(), true, TagLib::AudioProperties::Average);
#else
    const QByteArray nativePath = QFile::encodeName(path);
    const TagLib::FileRef ref(nativePath.constData(), true, TagLib::AudioProperties::Average);
#endif
    return read(path, state, ref);
}

Record LibraryScanner::read(const QString &path, const FileState &state, const TagLib::FileRef &ref)
{
    Record record;
    record.path = path;
    record.mtime = state.mtime;
    record.size = state.size;
    record.ctime = state.ctime;
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

void LibraryScanner::counted()
{
    ++count;
    if (progress && count % 100 == 0)
        progress(count);
}

bool LibraryScanner::walkAhead(const QString &folder, const QSet<QString> *skip,
    const std::function<void(const Found &)> &take, MusicFiles::SkippedNames &skippedNames)
{
    std::mutex lock;
    std::condition_variable arrived;
    QList<Found> found; // guarded by lock
    bool walked = false; // guarded by lock
    std::atomic<bool> stop{false};
    std::thread walker([&] {
        // Every entry, folders included, comes back here: an overtaken scan
        // stops within one entry even in a large tree of other files (a home
        // folder).
        // The names skipped are read only after the join.
        MusicFiles::walk(
            folder, MusicFiles::Entries::All,
            [&](const QFileInfo &entry) {
                if (stop.load(std::memory_order_relaxed) || overtaken())
                    return false;
                if (!MusicFiles::isAudioName(entry.fileName()) || entry.isDir())
                    return true;
                const QString path = entry.filePath();
                if (skip && skip->contains(path))
                    return true;
                const FileState state = FileState::of(entry);
                const std::lock_guard<std::mutex> guard(lock);
                found.append({path, state});
                if (found.size() == 1)
                    arrived.notify_one();
                return true;
            },
            &skippedNames);
        const std::lock_guard<std::mutex> guard(lock);
        walked = true;
        arrived.notify_one();
    });
    QList<Found> batch;
    bool done = false;
    while (!done) {
        {
            std::unique_lock<std::mutex> guard(lock);
            arrived.wait(guard, [&] { return !found.isEmpty() || walked; });
            done = found.isEmpty();
            batch.swap(found);
        }
        for (const Found &file : std::as_const(batch)) {
            if (overtaken()) {
                stop = true;
                done = true;
                break;
            }
            take(file);
        }
        batch.clear();
    }
    walker.join();
    return !overtaken();
}

bool LibraryScanner::update(const TrackTable &base, const QList<Found> &walked,
    const QList<UpdateMerge::Move> &moves, QList<Record> &records, bool &same,
    QHash<QString, QString> &moved)
{
    UpdateMerge::Result result = UpdateMerge(base, walked, moves).result();
    same = result.same;
    for (const UpdateMerge::Read &read : std::as_const(result.reads)) {
        if (overtaken())
            return false;
        const Record record = this->read(read.path, read.state);
        counted();
        for (int row : read.rows)
            result.records[row] = record;
    }
    records = std::move(result.records);
    moved = std::move(result.moved);
    return true;
}

LibraryScanner::Outcome LibraryScanner::scan(const QString &folder, Kind kind,
    const std::shared_ptr<const TrackTable> &base, const QSet<QString> *skip,
    const QList<UpdateMerge::Move> &moves)
{
    count = 0;
    const bool isUpdate = kind == Kind::Update;
    QList<Record> records = isUpdate || skip ? base->records() : QList<Record>();
    QList<Found> walked; // an update: every audio file, in walk order
    MusicFiles::SkippedNames skippedNames;
    // An empty path walks nothing (it is not the working directory).
    const bool finished = walkAhead(
        folder, isUpdate ? nullptr : skip,
        [&](const Found &file) {
            if (isUpdate) {
                walked.append(file);
            } else {
                records.append(read(file.path, file.state));
                counted();
            }
        },
        skippedNames);
    if (!finished)
        return {};
    // A folder removed, renamed or unmounted walks as an empty one.
    const bool folderGone = !QFileInfo(folder).isDir();
    QHash<QString, QString> moved;
    if (isUpdate && !folderGone) {
        bool same = false;
        if (!update(*base, walked, moves, records, same, moved))
            return {};
        if (same && !overtaken()) {
            if (progress)
                progress(count);
            return {base, false, {}, skippedNames};
        }
    }
    if (progress)
        progress(count);
    if (overtaken())
        return {};
    // Shared only now: freeing the duplicates between the reads left holes
    // that made the reader's many small allocations a tenth slower.
    TrackTable::Interner interner;
    for (Record &record : records)
        interner.intern(record);
    return {std::make_shared<const TrackTable>(std::move(records)), folderGone, std::move(moved),
        skippedNames};
}
