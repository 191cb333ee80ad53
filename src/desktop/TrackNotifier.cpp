#include "desktop/TrackNotifier.h"

#include "app/DesktopApp.h"
#include "playback/PlayerController.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>

namespace {

/** The "image-data" hint of the notification protocol: raw pixels, iiibiiay. */
struct ImageData {
    int width = 0;
    int height = 0;
    int rowStride = 0;
    bool hasAlpha = false;
    int bitsPerSample = 8;
    int channels = 3;
    QByteArray pixels;
};

/** Escapes what the notification body's markup would read as tags or entities. */
QString escapedMarkup(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

} // namespace

Q_DECLARE_METATYPE(ImageData)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const ImageData &image)
{
    argument.beginStructure();
    argument << image.width << image.height << image.rowStride << image.hasAlpha
             << image.bitsPerSample << image.channels << image.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ImageData &image)
{
    argument.beginStructure();
    argument >> image.width >> image.height >> image.rowStride >> image.hasAlpha
        >> image.bitsPerSample >> image.channels >> image.pixels;
    argument.endStructure();
    return argument;
}

ImageData imageData(const QImage &cover)
{
    const bool alpha = cover.hasAlphaChannel();
    const QImage pixels
        = cover.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    ImageData image;
    image.width = pixels.width();
    image.height = pixels.height();
    image.rowStride = int(pixels.bytesPerLine());
    image.hasAlpha = alpha;
    image.channels = alpha ? 4 : 3;
    image.pixels
        = QByteArray(reinterpret_cast<const char *>(pixels.constBits()), pixels.sizeInBytes());
    return image;
}

} // namespace

TrackNotifier::TrackNotifier(
    PlayerController *controller, QObject *parent, const QDBusConnection &bus)
    : QObject(parent)
    , player(controller)
    , connection(bus)
{
    qDBusRegisterMetaType<ImageData>();
    settle.setSingleShot(true);
    settle.setInterval(settleMs);
    connect(&settle, &QTimer::timeout, this, &TrackNotifier::announce);
    connect(player, &PlayerController::sourceChanged, this, &TrackNotifier::trackChanged);
    connect(player, &PlayerController::extrasRead, this, [this] {
        if (std::exchange(awaitingTags, false))
            announce();
    });
}

TrackNotifier::~TrackNotifier() = default;

bool TrackNotifier::isEnabled() const
{
    return enabled;
}

void TrackNotifier::setEnabled(bool on)
{
    enabled = on;
}

void TrackNotifier::setWindowActive(bool active)
{
    windowActive = active;
}

void TrackNotifier::setCover(const QImage &image)
{
    cover = image.width() > coverSize || image.height() > coverSize
        ? image.scaled(coverSize, coverSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : image;
    coverTrack = player->source();
    // The notification on screen shows this track: it gets the cover in place.
    if (!settle.isActive() && !shownTrack.isEmpty() && shownTrack == coverTrack)
        announce();
}

void TrackNotifier::trackChanged(const QUrl &source)
{
    // The loop of one track starts it again: that is no change to announce.
    if (source == std::exchange(lastSource, source))
        return;
    shownTrack.clear();
    awaitingTags = false;
    if (!source.isEmpty())
        settle.start();
}

void TrackNotifier::announce()
{
    if (!enabled || windowActive || !connection.isConnected())
        return;
    if (calling) {
        callAgain = true;
        return;
    }
    // Never read here: a slow or network file would hold up the window. A file
    // outside the library is announced once the transport's read has its tags.
    const Playlist::TrackInfo track = player->nowPlayingRead();
    if (track.url.isEmpty()) {
        awaitingTags = !player->source().isEmpty();
        return;
    }
    const QString summary
        = track.title.isEmpty() ? QFileInfo(track.url.path()).fileName() : track.title;
    QStringList about;
    for (const QString &part : {track.artist, track.album}) {
        if (!part.isEmpty())
            about.append(part);
    }
    QVariantMap hints{{QStringLiteral("desktop-entry"), DesktopApp::id()}};
    // A cover announced before the change belongs to the track before.
    if (!cover.isNull() && coverTrack == track.url)
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(imageData(cover)));

    QDBusMessage call
        = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << tr("Corvel Media Player") << shownId << DesktopApp::id() << summary
         << escapedMarkup(about.join(QStringLiteral(" — "))) << QStringList() << hints << -1;
    shownTrack = track.url;
    calling = true;
    auto *watcher = new QDBusPendingCallWatcher(connection.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        // Without a service the call fails: nothing to show, nothing to say.
        answered(reply.isValid() ? reply.value() : shownId);
    });
}

void TrackNotifier::answered(uint id)
{
    shownId = id;
    calling = false;
    if (std::exchange(callAgain, false))
        announce();
}
