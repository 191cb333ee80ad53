#include "library/TrackModel.h"

#include "library/Playlist.h"
#include "playback/QueueController.h"

#include <algorithm>
#include <utility>

TrackModel::TrackModel(const Playlist *records, const QueueController *queue, QObject *parent)
    : QAbstractListModel(parent)
    , records(records)
    , queue(queue)
    , allRows(records->count())
    , marks(queue->marksByRow())
{
    connect(queue, &QueueController::changed, this, &TrackModel::remark);
}

int TrackModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return all ? allRows : int(shown.size());
}

QVariant TrackModel::data(const QModelIndex &index, int role) const
{
    const int record = recordAt(index.row());
    if (record < 0 || index.parent().isValid())
        return QVariant();
    if (role == RecordRole)
        return record;
    if (role != Qt::DisplayRole)
        return QVariant();
    // The unmarked text is the record's, never what is left after taking a
    // mark off a row: a file name may itself begin with "[01]".
    const auto mark = marks.constFind(record);
    const QString text = records->textAt(record);
    return mark == marks.constEnd() ? text : QueueController::markedText(mark.value(), text);
}

void TrackModel::showAll()
{
    beginResetModel();
    all = true;
    allRows = records->count();
    shown.clear();
    marks = queue->marksByRow();
    endResetModel();
}

void TrackModel::showOnly(const QList<int> &hits)
{
    beginResetModel();
    all = false;
    shown = hits;
    endResetModel();
}

void TrackModel::remark()
{
    const QHash<int, int> now = queue->marksByRow();
    const auto announce = [this](int record) {
        const int row = rowOf(record);
        if (row >= 0)
            emit dataChanged(index(row), index(row), {Qt::DisplayRole});
    };
    const QHash<int, int> before = std::exchange(marks, now);
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (now.value(it.key()) != it.value())
            announce(it.key());
    }
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (!before.contains(it.key()))
            announce(it.key());
    }
}

int TrackModel::recordAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return all ? row : shown.at(row);
}

int TrackModel::rowOf(int record) const
{
    if (all)
        return record >= 0 && record < allRows ? record : -1;
    const auto found = std::lower_bound(shown.cbegin(), shown.cend(), record);
    return found != shown.cend() && *found == record ? int(found - shown.cbegin()) : -1;
}

QString TrackModel::pathAt(int row) const
{
    return records->pathAt(recordAt(row));
}

int TrackModel::rowOfPath(const QString &path) const
{
    if (path.isEmpty())
        return -1;
    return rowOf(records->indexOfPath(path));
}
