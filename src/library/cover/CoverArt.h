#pragma once

#include <QImage>
#include <QMetaType>
#include <QString>

namespace TagLib {
class File;
}

/**
 * The front cover of one audio file, read once: the picture embedded in the
 * file's tags (the front cover where the tags say which, else the first), or
 * else an image beside it named cover, folder, front or album (.jpg, .jpeg or
 * .png, any case). A picture that is too big, too many bytes or cannot be
 * decoded counts as none; the cost of a hostile file stays bounded.
 */
struct CoverArt {
    /** The longest side of the image kept; a larger picture is scaled down to it. */
    static constexpr int maxSide = 512;
    /** A picture of more bytes than this is not looked at. */
    static constexpr qint64 maxBytes = 16 * 1024 * 1024;
    /** A picture whose header claims a longer side than this is not decoded. */
    static constexpr int maxSourceSide = 10000;
    /** What Qt may allocate to decode one picture, in megabytes (Qt's own default is 128). */
    static constexpr int allocationLimitMb = 64;

    /** Where the image came from. */
    enum class Source { None, Embedded, Folder };

    /** Reads the cover of the audio file @p trackPath; blocking, for a worker thread. */
    static CoverArt read(const QString &trackPath);
    /**
     * The same with @p file, the track opened already by TagLib (null when it
     * could not be: only a folder image then); @p file is not kept.
     */
    static CoverArt read(const QString &trackPath, TagLib::File *file);
    /** The picture in @p bytes scaled to at most maxSide a side; null when refused or undecodable.
     */
    static QImage decode(const QByteArray &bytes);

    /** The audio file this is the cover of. */
    QString track;
    /** The cover, at most maxSide a side; null when there is none. */
    QImage image;
    Source source = Source::None;
    /** The folder image's path; empty for an embedded picture or none. */
    QString file;
    /**
     * The address a desktop panel shows the cover from: the folder image's
     * file: URL, a data: URI of the (scaled) embedded picture, or empty.
     */
    QString artUrl;
};

Q_DECLARE_METATYPE(CoverArt)
