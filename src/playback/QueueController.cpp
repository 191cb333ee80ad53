#include "playback/QueueController.h"

#include "library/Playlist.h"
#include "library/TimeText.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

QueueController::QueueController(const Playlist *library, QObject *parent)
    : QObject(parent)
    , library(library)
{
}

template <typename Edit> void QueueController::change(Edit edit)
{
    const QStringList before = queue.getList();
    const bool wasActive = queue.isActive();
    edit();
    const QStringList after = queue.getList();
    // A request that changes nothing (an absent path, a move at the end) is not news.
    if (queue.isActive() != wasActive
        || !std::equal(after.cbegin(), after.cend(), before.cbegin(), before.cend()))
        emit changed();
}

QStringList QueueController::paths() const
{
    return queue.getList();
}

bool QueueController::contains(const QString &path) const
{
    return queue.contains(path);
}

bool QueueController::isEmpty() const
{
    return queue.isEmpty();
}

bool QueueController::isActive() const
{
    return queue.isActive();
}

void QueueController::toggle(const QString &path)
{
    if (path.isEmpty())
        return;
    if (queue.contains(path)) {
        queue.remove(path);
    } else {
        queue.add(path);
        queue.setActive(true);
    }
    emit changed();
}

void QueueController::moveUp(const QString &path)
{
    change([&] { queue.moveUp(path); });
}

void QueueController::moveDown(const QString &path)
{
    change([&] { queue.moveDown(path); });
}

void QueueController::moveToFront(const QString &path)
{
    change([&] { queue.moveToFront(path); });
}

void QueueController::remove(const QString &path)
{
    change([&] { queue.remove(path); });
}

void QueueController::clear()
{
    change([this] {
        queue.clear();
        queue.setActive(false);
    });
}

void QueueController::putFirst(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    change([&] {
        // One pass over each list, not a search of the queue per path: a
        // folder of thousands of files is opened at once.
        const QStringList before = queue.getList();
        QSet<QString> first;
        first.reserve(paths.size());
        QStringList order;
        order.reserve(paths.size() + before.size());
        for (const QString &path : paths) {
            if (!first.contains(path)) {
                first.insert(path);
                order.append(path);
            }
        }
        for (const QString &path : before) {
            if (!first.contains(path))
                order.append(path);
        }
        queue.setActive(true);
        queue.clear();
        for (const QString &path : std::as_const(order))
            queue.add(path);
    });
}

void QueueController::setOrder(const QStringList &paths)
{
    change([&] {
        queue.clear();
        for (const QString &path : paths)
            queue.add(path);
    });
}

void QueueController::followLibrary(const QHash<QString, QString> &moved)
{
    change([&] {
        const QStringList before = queue.getList();
        QStringList kept;
        for (const QString &path : before) {
            const QString now = moved.value(path, path);
            // A file outside the library plays as itself while it is there.
            if (rowOf(now) != -1 || QFileInfo(now).isFile())
                kept.append(now);
        }
        if (kept == before)
            return;
        queue.clear();
        for (const QString &path : std::as_const(kept))
            queue.add(path);
    });
}

int QueueController::takeNext()
{
    if (!queue.isActive() || queue.isEmpty())
        return -1;
    // Gone from the library: dropped, and the normal order goes on.
    const int row = rowOf(queue.next());
    emit changed();
    return row;
}

int QueueController::rowOf(const QString &path) const
{
    return library->indexOfPath(path);
}

QHash<int, int> QueueController::marksByRow() const
{
    QHash<int, int> marks;
    const QStringList queued = queue.getList();
    for (int i = 0; i < queued.size(); ++i) {
        const int row = rowOf(queued.at(i));
        if (row != -1 && !marks.contains(row))
            marks.insert(row, i + 1);
    }
    return marks;
}

QStringList QueueController::names() const
{
    const QStringList queued = queue.getList();
    QStringList result;
    result.reserve(queued.size());
    for (const QString &path : queued) {
        const int row = rowOf(path);
        result.append(row != -1 ? library->textAt(row) : QFileInfo(path).fileName());
    }
    return result;
}

qint64 QueueController::durationSeconds(const QString &text)
{
    return TimeText::lengthSeconds(text);
}

qint64 QueueController::totalSeconds() const
{
    qint64 total = 0;
    for (const QString &path : queue.getList()) {
        const int row = rowOf(path);
        if (row != -1)
            total += durationSeconds(library->durationAt(row));
    }
    return total;
}

QString QueueController::totalText() const
{
    return TimeText::total(totalSeconds());
}

QString QueueController::summary() const
{
    QString text = tr("%1 tracks").arg(library->count());
    if (queue.isActive() && !queue.isEmpty())
        text += tr(", %1 in queue (%2)").arg(queue.getList().size()).arg(totalText());
    return text;
}

QString QueueController::markedText(int position, const QString &text)
{
    return QStringLiteral("[%1] %2").arg(QString::number(position), text);
}
