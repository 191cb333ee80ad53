#pragma once

#include <QQueue>
#include <QString>
#include <QStringList>

/**
 * The play-next queue: local file paths, front first, compared as exact
 * case-sensitive strings. A plain class; callers refresh the views themselves.
 */
class PlayQueue {
public:
    PlayQueue();

    /** Appends @p path, even if it is queued already. */
    void add(const QString &path);
    /** Removes every occurrence of @p path. */
    void remove(const QString &path);
    /** Removes and returns the front entry. The queue must not be empty. */
    QString next();
    /** Swaps the first occurrence of @p path with the entry before it. */
    void moveUp(const QString &path);
    /** Swaps the first occurrence of @p path with the entry after it. */
    void moveDown(const QString &path);
    /** Moves @p path to the front (all occurrences become one); an absent path is not added. */
    void moveToFront(const QString &path);
    /** Removes all entries; the active flag stays as it is. */
    void clear();
    bool contains(const QString &path) const;
    bool isActive() const;
    void setActive(bool active);
    /** A copy of the entries, front first. */
    QStringList getList() const;
    bool isEmpty() const;

private:
    QQueue<QString> queue;
    bool active = false;
};
