#include "playback/PlayQueue.h"

PlayQueue::PlayQueue() = default;

void PlayQueue::add(const QString &path)
{
    queue.enqueue(path);
}

void PlayQueue::remove(const QString &path)
{
    queue.removeAll(path);
}

QString PlayQueue::next()
{
    return queue.dequeue();
}

void PlayQueue::moveUp(const QString &path)
{
    const qsizetype i = queue.indexOf(path);
    if (i > 0)
        queue.swapItemsAt(i, i - 1);
}

void PlayQueue::moveDown(const QString &path)
{
    const qsizetype i = queue.indexOf(path);
    if (i >= 0 && i < queue.size() - 1)
        queue.swapItemsAt(i, i + 1);
}

void PlayQueue::moveToFront(const QString &path)
{
    if (!queue.contains(path))
        return;
    // Duplicates collapse into the one copy at the front.
    queue.removeAll(path);
    queue.prepend(path);
}

void PlayQueue::clear()
{
    queue.clear();
}

bool PlayQueue::contains(const QString &path) const
{
    return queue.contains(path);
}

bool PlayQueue::isActive() const
{
    return active;
}

void PlayQueue::setActive(bool active)
{
    this->active = active;
}

QStringList PlayQueue::getList() const
{
    return queue;
}

bool PlayQueue::isEmpty() const
{
    return queue.isEmpty();
}
