#include "library/scan/UpdateMerge.h"

#include <QSet>

#include <algorithm>

#include <utility>

namespace {

/** Whether @p record was written without the file's full state (by an older build). */
bool stateUnknown(const TrackTable::Record &record, const FileState &state)
{
    return record.mtime < 0 || record.size < 0 || (record.ctime < 0 && state.ctime >= 0);
}

/** The file's recorded state is known and no longer matches @p state. */
bool changed(const TrackTable::Record &record, const FileState &state)
{
    return !stateUnknown(record, state)
        && (record.mtime != state.mtime || record.size != state.size
            || (state.ctime >= 0 && record.ctime != state.ctime));
}

} // namespace

UpdateMerge::UpdateMerge(const TrackTable &base, const QList<Found> &walked,
    const QList<Move> &moves, const QStringList &scope)
    : base(base)
    , moves(moves)
    , scope(scope)
{
    seenState.resize(size_t(base.count()));
    seenRow.resize(size_t(base.count()));
    // The walk mostly finds the files in the order of their rows: the next row
    // is looked at before the path index.
    int next = 0;
    const bool unique = !base.hasDuplicatePaths();
    for (const Found &found : walked) {
        int row = unique && next < base.count() && base.at(next).path == found.path
            ? next
            : base.rowOf(found.path);
        if (row == -1) {
            fresh.append(found);
            continue;
        }
        seenRow[size_t(row)] = true;
        seenState[size_t(row)] = found.state;
        next = row + 1;
    }
}

QString UpdateMerge::movedPath(QString path, const QList<Move> &moves)
{
    for (const Move &move : moves) {
        if (path == move.from)
            path = move.to;
        else if (path.size() > move.from.size() && path.startsWith(move.from)
            && path.at(move.from.size()) == QLatin1Char('/'))
            path = move.to + path.mid(move.from.size());
    }
    return path;
}

bool UpdateMerge::inScope(const QString &path, const QStringList &scope)
{
    if (scope.isEmpty())
        return true;
    return std::any_of(scope.cbegin(), scope.cend(), [&path](const QString &top) {
        return path.startsWith(top)
            && (path.size() == top.size() || path.at(top.size()) == QLatin1Char('/'));
    });
}

UpdateMerge::Result UpdateMerge::result() const
{
    Result result;
    result.records.reserve(base.count() + fresh.size());
    result.same = fresh.isEmpty();
    // The fresh files that records moved to: taken by those, not appended.
    QHash<QString, qsizetype> freshAt;
    if (!moves.isEmpty()) {
        for (qsizetype i = 0; i < fresh.size(); ++i)
            freshAt.insert(fresh.at(i).path, i);
    }
    QSet<qsizetype> taken;
    const auto drop = [&result](const QString &path) {
        result.same = false;
        result.gone.append(path);
    };
    // Records come folder by folder: whether a folder lies in the scope is
    // asked once per run of its records, not once per record.
    QStringView lastFolder;
    bool lastFolderInScope = true;
    const QSet<QString> named(scope.cbegin(), scope.cend());
    const auto outOfScope = [&](const QString &path) {
        if (scope.isEmpty() || named.contains(path))
            return false;
        const QStringView folder = QStringView(path).left(path.lastIndexOf(QLatin1Char('/')));
        if (folder != lastFolder) {
            lastFolder = folder;
            lastFolderInScope = inScope(folder.toString(), scope);
        }
        return !lastFolderInScope;
    };
    for (int row = 0; row < base.count(); ++row) {
        const Record &record = base.at(row);
        if (outOfScope(record.path)) {
            result.records.append(record);
            continue;
        }
        QString path = record.path;
        FileState state;
        // A path listed twice was seen in its first row: a later one is gone.
        if (seenRow[size_t(row)]) {
            state = seenState[size_t(row)];
        } else {
            const QString to = moves.isEmpty() ? path : movedPath(path, moves);
            const auto at = freshAt.constFind(to);
            if (to == path || at == freshAt.constEnd() || taken.contains(*at)) {
                drop(path);
                continue;
            }
            taken.insert(*at);
            result.moved.insert(path, to);
            result.same = false;
            path = to;
            state = fresh.at(*at).state;
        }
        if (state.isFile && changed(record, state)) {
            result.same = false;
            result.reads.append({path, state, {int(result.records.size())}});
            Record placeholder;
            placeholder.path = path;
            result.records.append(std::move(placeholder));
        } else if (stateUnknown(record, state)) {
            // Recorded by an older build: trusted, so that the first start
            // after an upgrade is no full rescan.
            result.same = result.same && record.mtime == state.mtime && record.size == state.size
                && record.ctime == state.ctime;
            Record trusted = record;
            trusted.path = path;
            trusted.mtime = state.mtime;
            trusted.size = state.size;
            trusted.ctime = state.ctime;
            result.records.append(std::move(trusted));
        } else {
            Record kept = record;
            kept.path = path;
            result.records.append(std::move(kept));
        }
    }
    for (qsizetype i = 0; i < fresh.size(); ++i) {
        if (taken.contains(i))
            continue;
        const Found &found = fresh.at(i);
        result.reads.append({found.path, found.state, {int(result.records.size())}});
        Record placeholder;
        placeholder.path = found.path;
        result.records.append(std::move(placeholder));
    }
    return result;
}
