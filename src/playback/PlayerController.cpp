#include "playback/PlayerController.h"

#include "library/Library.h"
#include "playback/MediaBackend.h"
#include "playback/QueueController.h"
#include "playback/TrackExtrasLoader.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

PlayerController::PlayerController(
    Library *library, QueueController *queue, PlayOrder::RandomSource random, QObject *parent)
    : PlayerController(MediaBackend::create(), library, queue, std::move(random), parent)
{
}

PlayerController::PlayerController(std::unique_ptr<MediaBackend> backend, Library *library,
    QueueController *queue, PlayOrder::RandomSource random, QObject *parent)
    : QObject(parent)
    , library(library)
    , queue(queue)
    , order(std::move(random))
    , backend(std::move(backend))
    , extrasReader(new TrackExtrasLoader(this))
{
    this->backend->setParent(this);
    this->backend->setVolume(outputLevel());
    // The loader drops the answer to a read the next track's overtook; one
    // for another file than the one asked for last is never taken for it.
    connect(extrasReader, &TrackExtrasLoader::extrasRead, this, [this](const TrackExtras &read) {
        if (read.path != extrasReadOf.toLocalFile())
            return;
        extras = read;
        extrasOf = extrasReadOf;
        if (extrasOf != requested)
            return;
        if (gainMode != ReplayGain::Mode::Off)
            applyGain();
        emit extrasRead(extras);
    });
    order.setLibrary(library->tracks()->knownFilePaths());

    // Connected before any view connects, so rows are found again before a
    // view redraws them.
    connect(library, &Library::installed, this, [this] {
        libraryInstalled();
        adoptRowOfSource();
    });
    MediaBackend *media = this->backend.get();
    connect(media, &MediaBackend::playbackStateChanged, this, [this] { announceState(); });
    connect(media, &MediaBackend::seekableChanged, this, [this] { applyPendingSeek(); });
    connect(media, &MediaBackend::durationChanged, this, [this](qint64 ms) {
        emit durationChanged(ms);
        emit trackChanged();
        applyPendingSeek();
    });
    connect(media, &MediaBackend::positionChanged, this, [this](qint64 ms) {
        if (ms > 0) {
            played = true;
            unplayedInARow = 0;
        }
        emit positionChanged(ms);
    });
    connect(
        media, &MediaBackend::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia)
                trackEnded();
        });
    connect(media, &MediaBackend::errorOccurred, this,
        [this](const QString &error) { trackFailed(error); });
}

PlayerController::~PlayerController()
{
    // The backend goes first, while the library and the queue it may still
    // speak of are there. None of its teardown is news, and the views may be
    // going already.
    blockSignals(true);
    backend.reset();
}

QMediaPlayer::PlaybackState PlayerController::playbackState() const
{
    return backend->playbackState();
}

void PlayerController::announceState()
{
    const QMediaPlayer::PlaybackState now = playbackState();
    if (now == announcedState)
        return;
    announcedState = now;
    emit playbackStateChanged(now);
}

bool PlayerController::shuffle() const
{
    return order.shuffle();
}

PlayOrder::LoopMode PlayerController::loopMode() const
{
    return order.loopMode();
}

float PlayerController::volume() const
{
    return percent;
}

qint64 PlayerController::position() const
{
    return backend->position();
}

qint64 PlayerController::duration() const
{
    return backend->duration();
}

int PlayerController::currentRow() const
{
    return order.currentRow();
}

QString PlayerController::currentPath() const
{
    return order.currentPath();
}

bool PlayerController::resumePending() const
{
    return order.resumePending();
}

QList<int> PlayerController::history() const
{
    return order.history();
}

QUrl PlayerController::source() const
{
    return requested;
}

Playlist::TrackInfo PlayerController::nowPlaying() const
{
    const QUrl url = requested;
    if (url.isEmpty())
        return {};
    const Playlist *tracks = library->tracks();
    const int row = tracks->indexOf(url);
    if (row != -1)
        return tracks->track(row);
    if (url == extrasOf)
        return extras.track;
    // Read as the library reads its files: the player's own tags still belong
    // to the previous source when the new one is announced.
    return Playlist::readTrack(url.toLocalFile());
}

Playlist::TrackInfo PlayerController::nowPlayingRead() const
{
    const int row = library->tracks()->indexOf(requested);
    if (row != -1)
        return library->tracks()->track(row);
    return !requested.isEmpty() && requested == extrasOf ? extras.track : Playlist::TrackInfo();
}

namespace {

// A resume this close to a track's end starts the track over instead.
constexpr qint64 resumeEndMargin = 5000;

} // namespace

void PlayerController::restore(int row, const QString &path, qint64 position)
{
    order.restore(row, path);
    resumeAt = std::max<qint64>(position, 0);
    resumeFile = path;
}

qint64 PlayerController::resumePosition() const
{
    if (order.resumePending())
        return resumeAt;
    if (backend->playbackState() == QMediaPlayer::StoppedState
        || requested.toLocalFile() != order.currentPath())
        return 0;
    return pendingSeek >= 0 ? pendingSeek : backend->position();
}

void PlayerController::libraryInstalled()
{
    const QHash<QString, QString> moved = library->tracks()->lastMoves();
    order.setLibrary(library->tracks()->knownFilePaths(), moved);
    // A renamed file plays on (the backend has it open) under its new name,
    // which the loop of the current track and the track's details read.
    if (const auto to = moved.constFind(requested.toLocalFile()); to != moved.constEnd()) {
        requested = QUrl::fromLocalFile(*to);
        // Read again under the new name, for the cover beside it; what plays keeps its level.
        readExtras(requested, false);
        emit trackChanged();
    }
    queue->followLibrary(moved);
}

void PlayerController::adoptRowOfSource()
{
    // A file that started before the library had it (opened while the cache
    // was still being read) plays as its row from now on.
    const int row = library->tracks()->indexOf(requested);
    if (row == -1 || row == order.currentRow())
        return;
    order.setCurrent(row);
    emit rowStarted(row);
}

void PlayerController::request(const QUrl &url)
{
    requested = url;
    played = false;
    pendingSeek = -1;
    pendingResume = false;
    // The same file again (its loop) keeps what its read found, unless another read is under way.
    if (url != extrasOf || extrasReadOf != extrasOf)
        readExtras(url, true);
    backend->setSource(url, QMediaPlayer::PlayingState);
    emit sourceChanged(url);
    emit trackChanged();
    announceState();
}

void PlayerController::startRow(int row)
{
    request(library->tracks()->at(row));
    emit rowStarted(row);
}

void PlayerController::startFile(const QUrl &url)
{
    order.playingOutside();
    request(url);
}

void PlayerController::playRow(int row)
{
    // A track the user starts begins a new run: the files that failed before
    // were skipped by the player, not by the user.
    unplayedInARow = 0;
    if (order.setCurrent(row))
        startRow(row);
}

void PlayerController::playUrl(const QUrl &url)
{
    unplayedInARow = 0;
    const int row = library->tracks()->indexOf(url);
    if (row != -1)
        playRow(row);
    else if (!url.isEmpty())
        startFile(url);
}

void PlayerController::open(const QList<QUrl> &files)
{
    if (files.isEmpty())
        return;
    playUrl(files.first());
    queueNext(files.mid(1));
    emit opened();
}

void PlayerController::queueNext(const QList<QUrl> &files)
{
    QStringList paths;
    for (const QUrl &url : files)
        paths.append(url.toLocalFile());
    queue->putFirst(paths);
}

void PlayerController::togglePlayPause()
{
    if (playbackState() == QMediaPlayer::PlayingState)
        pause();
    else
        play();
}

void PlayerController::play()
{
    // The first press after a start resumes the last run's track.
    if (order.resumePending() && order.setCurrent(order.currentRow())) {
        startRow(order.currentRow());
        // Where the last run stopped, in the same file only: a row whose file
        // is gone holds another track now.
        const qint64 at = std::exchange(resumeAt, 0);
        if (at > 0 && order.currentPath() == resumeFile) {
            pendingSeek = at;
            pendingResume = true;
            applyPendingSeek();
        }
        return;
    }
    backend->play(); // with no source nothing starts, and no view claims otherwise
    announceState();
}

void PlayerController::pause()
{
    if (backend->playbackState() == QMediaPlayer::PlayingState)
        backend->pause();
    announceState();
}

void PlayerController::stop()
{
    backend->stop();
    announceState();
}

bool PlayerController::startQueued()
{
    while (queue->isActive() && !queue->isEmpty()) {
        const QString path = queue->paths().constFirst();
        const int row = queue->takeNext();
        if (row == -1) {
            // Not in the library: a file still there plays as itself.
            if (!QFileInfo(path).isFile())
                return false; // a file that left the library and the disk: the normal order goes on
            startFile(QUrl::fromLocalFile(path));
            return true;
        }
        if (order.setCurrent(row)) {
            startRow(row);
            return true;
        }
    }
    return false;
}

void PlayerController::advance(PlayOrder::Reason reason)
{
    if (startQueued())
        return;
    const int row = order.advance(reason);
    if (row >= 0)
        startRow(row);
    else if (reason == PlayOrder::Reason::EndOfTrack)
        emit finished();
}

void PlayerController::trackEnded()
{
    // A track that ended without playing anything (a header-only WAV) is not
    // repeated by the loop rule: it moves on once, and a second in a row stops.
    if (!played && backend->duration() <= 0) {
        if (++unplayedInARow >= 2) {
            emit finished();
            return;
        }
        advance(PlayOrder::Reason::Next);
        return;
    }
    // Loop current track repeats what actually played: a file outside the
    // library, or one that left it, is not the current row's file.
    if (order.loopMode() == PlayOrder::Track && !(queue->isActive() && !queue->isEmpty())
        && library->tracks()->at(order.currentRow()) != requested) {
        request(requested);
        return;
    }
    advance(PlayOrder::Reason::EndOfTrack);
}

void PlayerController::trackFailed(const QString &error)
{
    const QString name = QFileInfo(requested.toLocalFile()).fileName();
    // The backend stays "playing" a file it cannot play; every view must
    // show that nothing plays.
    backend->stop();
    announceState();
    emit playbackError(name, error);
    // Once on to the next track, as a skip; never round a library of files
    // that cannot be played.
    if (++unplayedInARow < 2)
        advance(PlayOrder::Reason::Next);
}

void PlayerController::next()
{
    unplayedInARow = 0;
    advance(PlayOrder::Reason::Next);
}

void PlayerController::previous()
{
    unplayedInARow = 0;
    const int row = order.previous();
    if (row >= 0)
        startRow(row);
}

void PlayerController::seek(qint64 ms)
{
    // A jump asked for before the backend knows the new track's length would
    // be dropped: it is kept until the track can seek.
    pendingSeek = ms;
    pendingResume = false;
    applyPendingSeek();
}

void PlayerController::applyPendingSeek()
{
    // The backend drops a jump before it knows the track's length, seekable or not.
    if (pendingSeek < 0 || !backend->isSeekable() || backend->duration() <= 0)
        return;
    const qint64 ms = std::exchange(pendingSeek, -1);
    // So close to the end the resumed track would only end: it starts over.
    if (std::exchange(pendingResume, false) && ms > backend->duration() - resumeEndMargin)
        return;
    backend->setPosition(ms);
    emit seeked(ms);
}

void PlayerController::setShuffle(bool on)
{
    if (order.setShuffle(on))
        emit shuffleChanged(on);
}

void PlayerController::setLoopMode(PlayOrder::LoopMode mode)
{
    if (order.setLoopMode(mode))
        emit loopModeChanged(order.loopMode());
}

void PlayerController::cycleLoopMode()
{
    setLoopMode(PlayOrder::nextLoopMode(order.loopMode()));
}

void PlayerController::setVolume(float value)
{
    const float clamped = std::clamp(value, 0.0f, 100.0f);
    if (clamped == percent)
        return;
    percent = clamped;
    if (percent > 0)
        audible = percent;
    backend->setVolume(outputLevel());
    emit volumeChanged(percent);
}

void PlayerController::setReplayGainMode(ReplayGain::Mode mode)
{
    if (mode == gainMode)
        return;
    gainMode = mode;
    // With nothing loaded the next track reads its gain as it starts; what
    // plays keeps its level until the read under way for it is in.
    if (!requested.isEmpty() && (requested == extrasOf || mode == ReplayGain::Mode::Off))
        applyGain();
    emit replayGainModeChanged(mode);
}

ReplayGain::Mode PlayerController::replayGainMode() const
{
    return gainMode;
}

float PlayerController::outputLevel() const
{
    return float(std::min(1.0, percent / 100.0 * gainFactor));
}

void PlayerController::readExtras(const QUrl &url, bool silent)
{
    // A track that starts is silent until its gain is known, so that no
    // sample plays at the wrong level; the tags are read long before the
    // backend has decoded any.
    if (silent && gainMode != ReplayGain::Mode::Off) {
        gainFactor = 0;
        backend->setVolume(outputLevel());
    }
    extrasReadOf = url;
    extrasReader->request(url.toLocalFile());
}

void PlayerController::applyGain()
{
    gainFactor = ReplayGain::factor(gainMode, extras.gains);
    backend->setVolume(outputLevel());
}

void PlayerController::toggleMute()
{
    if (percent <= 0)
        setVolume(audible > 0 ? audible : 50);
    else
        setVolume(0);
}
