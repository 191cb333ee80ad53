#include "playback/PlayOrder.h"

#include <QHash>
#include <QRandomGenerator>

#include <algorithm>

#include <utility>

PlayOrder::PlayOrder(RandomSource random)
    : random(std::move(random))
{
    if (!this->random)
        this->random = [](int bound) { return int(QRandomGenerator::global()->bounded(bound)); };
}

int PlayOrder::rowOf(const QString &path, int hint) const
{
    if (path.isEmpty())
        return -1;
    // Most installs move no row: look where the track was first.
    if (hint >= 0 && hint < paths.size() && paths.at(hint) == path)
        return hint;
    return int(paths.indexOf(path));
}

int PlayOrder::gapRow(
    const QStringList &oldPaths, int anchor, const QHash<QString, QString> &moved) const
{
    QHash<QString, int> rowOfPath;
    for (qsizetype i = paths.size() - 1; i >= 0; --i)
        rowOfPath.insert(paths.at(i), int(i));
    const auto rowNow = [&](qsizetype old) {
        const QString &path = oldPaths.at(old);
        return rowOfPath.value(moved.value(path, path), -1);
    };
    for (qsizetype old = std::max(anchor, 0); old < oldPaths.size(); ++old) {
        if (const int row = rowNow(old); row != -1)
            return row;
    }
    for (qsizetype old = std::min<qsizetype>(anchor, oldPaths.size()) - 1; old >= 0; --old) {
        if (const int row = rowNow(old); row != -1)
            return row + 1;
    }
    return 0;
}

void PlayOrder::setLibrary(const QStringList &newPaths, const QHash<QString, QString> &moved)
{
    const QStringList oldPaths = std::exchange(paths, newPaths);
    const auto follow = [&moved](const QString &path) { return moved.value(path, path); };

    if (currentFile.isEmpty()) {
        // Only a row was known (an older settings store, no library yet): pin it now.
        currentFile = paths.value(current);
    } else {
        const bool wasThere = following < 0 && oldPaths.value(current) == currentFile;
        currentFile = follow(currentFile);
        if (const int row = rowOf(currentFile, current); row != -1) {
            current = row;
            following = -1;
        } else if (wasThere || following >= 0) {
            // Left just now, or left before: the gap it left moves with the rows around it.
            following = gapRow(oldPaths, wasThere ? current + 1 : following, moved);
            current = std::min(following, int(paths.size()) - 1);
        }
    }

    QHash<QString, int> rowOfPath; // built on first need: most installs move no row
    QList<int> kept;
    for (const int row : std::as_const(played)) {
        const QString path = follow(oldPaths.value(row));
        if (path.isEmpty())
            continue;
        if (row < paths.size() && paths.at(row) == path) {
            kept.append(row);
            continue;
        }
        if (rowOfPath.isEmpty()) {
            // From the back, so that the first row of a file wins, as in indexOf.
            for (qsizetype i = paths.size() - 1; i >= 0; --i)
                rowOfPath.insert(paths.at(i), int(i));
        }
        const int now = rowOfPath.value(path, -1);
        if (now != -1)
            kept.append(now);
    }
    played = kept;
}

int PlayOrder::count() const
{
    return int(paths.size());
}

void PlayOrder::restore(int row, const QString &path)
{
    following = -1;
    current = row;
    currentFile = path;
    const int found = rowOf(path, row);
    if (found != -1)
        current = found;
    else if (path.isEmpty())
        currentFile = paths.value(row);
    resume = true;
}

bool PlayOrder::resumePending() const
{
    return resume;
}

bool PlayOrder::setCurrent(int row)
{
    if (row < 0 || row >= paths.size())
        return false;
    current = row;
    following = -1;
    currentFile = paths.at(row);
    resume = false;
    return true;
}

void PlayOrder::playingOutside()
{
    resume = false;
}

int PlayOrder::currentRow() const
{
    return current;
}

QString PlayOrder::currentPath() const
{
    return currentFile;
}

int PlayOrder::randomOtherRow() const
{
    const int n = count();
    if (n <= 0)
        return -1;
    int pick = random(n);
    while (pick == current && n > 1)
        pick = random(n);
    return pick;
}

int PlayOrder::advance(Reason reason)
{
    const int n = count();
    if (reason == Reason::EndOfTrack && loop == Track) {
        // The same track again; nothing goes into the history.
        return setCurrent(current) ? current : -1;
    }
    if (shuffleOn) {
        // With shuffle on, playback goes on for ever whatever the loop mode.
        const int pick = randomOtherRow();
        if (pick < 0)
            return -1;
        if (following < 0)
            played.append(current);
        setCurrent(pick);
        return pick;
    }
    if (following >= 0 && following < n) {
        // The track that followed the one that left; what played has no row for the history.
        const int row = following;
        setCurrent(row);
        return row;
    }
    // Nothing followed the track that left: its row is the last, as after the last track.
    if (current < n - 1) {
        played.append(current);
        setCurrent(current + 1);
        return current;
    }
    // The next button never wraps; only the end of the last track does.
    if (reason == Reason::EndOfTrack && loop == List && n > 0) {
        setCurrent(0);
        return 0;
    }
    return -1;
}

int PlayOrder::previous()
{
    if (shuffleOn) {
        if (played.isEmpty())
            return -1;
        return setCurrent(played.takeLast()) ? current : -1;
    }
    const int above = following >= 0 ? following - 1 : current - 1;
    if (above >= 0 && setCurrent(above))
        return current;
    return -1;
}

QList<int> PlayOrder::history() const
{
    return played;
}

bool PlayOrder::shuffle() const
{
    return shuffleOn;
}

bool PlayOrder::setShuffle(bool on)
{
    return std::exchange(shuffleOn, on) != on;
}

PlayOrder::LoopMode PlayOrder::loopMode() const
{
    return loop;
}

bool PlayOrder::setLoopMode(int mode)
{
    // A mode this program does not know would leave the button blank.
    const LoopMode known = mode >= Off && mode <= Track ? LoopMode(mode) : Off;
    return std::exchange(loop, known) != known;
}

PlayOrder::LoopMode PlayOrder::nextLoopMode(LoopMode mode)
{
    return LoopMode((mode + 1) % 3);
}
