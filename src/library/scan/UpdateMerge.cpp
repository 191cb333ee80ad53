#include "library/scan/UpdateMerge.h"

#include <QSet>

#include <utility>

namespace {

/** The file's recorded state is known and no longer matches @p state. */
bool changed(const TrackTable::Record &record, const FileState &state)
{
    return record.mtime >= 0 && record.size >= 0
        && (record.mtime != state.mtime || record.size != state.size);
}

} // namespace

UpdateMerge::UpdateMerge(const TrackTable &base, const QList<Found> &walked)
    : base(base)
{
    for (const Found &found : walked) {
        if (base.rowOf(found.path) != -1)
            seen.insert(found.path, found.state);
        else
            fresh.append(found);
    }
}

QStringList UpdateMerge::unwalked() const
{
    QStringList paths;
    QSet<QString> listed;
    for (const Record &record : base.records()) {
        if (!seen.contains(record.path) && !listed.contains(record.path)) {
            listed.insert(record.path);
            paths.append(record.path);
        }
    }
    return paths;
}

UpdateMerge::Result UpdateMerge::result(const QHash<QString, FileState> &elsewhere) const
{
    Result result;
    result.records.reserve(base.count() + fresh.size());
    result.same = fresh.isEmpty();
    QHash<QString, qsizetype> readOf; // a path twice is read once
    for (const Record &record : base.records()) {
        auto found = seen.constFind(record.path);
        if (found == seen.constEnd()) {
            found = elsewhere.constFind(record.path);
            if (found == elsewhere.constEnd()) {
                result.same = false;
                result.gone.append(record.path);
                continue;
            }
        }
        const FileState &state = *found;
        if (state.isFile && changed(record, state)) {
            result.same = false;
            auto read = readOf.constFind(record.path);
            if (read == readOf.constEnd()) {
                read = readOf.insert(record.path, result.reads.size());
                result.reads.append({record.path, state, {}});
            }
            result.reads[*read].rows.append(int(result.records.size()));
            Record placeholder;
            placeholder.path = record.path;
            result.records.append(std::move(placeholder));
        } else if (record.mtime < 0 || record.size < 0) {
            // Recorded by an older build: trusted, so that the first start
            // after an upgrade is no full rescan.
            result.same = result.same && record.mtime == state.mtime && record.size == state.size;
            Record trusted = record;
            trusted.mtime = state.mtime;
            trusted.size = state.size;
            result.records.append(std::move(trusted));
        } else {
            result.records.append(record);
        }
    }
    for (const Found &found : fresh) {
        result.reads.append({found.path, found.state, {int(result.records.size())}});
        Record placeholder;
        placeholder.path = found.path;
        result.records.append(std::move(placeholder));
    }
    return result;
}
