#include "library/cover/CoverArt.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QUrl>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <array>

namespace {

/** An embedded picture's bytes; they stay TagLib's, valid while its file is open. */
struct Picture {
    TagLib::ByteVector data;
    bool front = false;
};

/** The front cover of @p pictures if one says so, else the first; empty of none. */
TagLib::ByteVector choose(const std::vector<Picture> &pictures)
{
    for (const Picture &picture : pictures) {
        if (picture.front)
            return picture.data;
    }
    return pictures.empty() ? TagLib::ByteVector() : pictures.front().data;
}

void addId3(std::vector<Picture> &pictures, TagLib::ID3v2::Tag *tag)
{
    if (!tag)
        return;
    for (TagLib::ID3v2::Frame *frame : tag->frameList("APIC")) {
        if (const auto *apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(frame))
            pictures.push_back(
                {apic->picture(), apic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover});
    }
}

void addFlac(std::vector<Picture> &pictures, const TagLib::List<TagLib::FLAC::Picture *> &list)
{
    for (const TagLib::FLAC::Picture *picture : list)
        pictures.push_back({picture->data(), picture->type() == TagLib::FLAC::Picture::FrontCover});
}

void addApe(std::vector<Picture> &pictures, TagLib::APE::Tag *tag)
{
    if (!tag)
        return;
    // TagLib keeps the keys in upper case; the value is a file name, a NUL, then the picture.
    const auto found = tag->itemListMap().find("COVER ART (FRONT)");
    if (found == tag->itemListMap().end())
        return;
    const TagLib::ByteVector value = found->second.binaryData();
    const int nul = value.find('\0');
    if (nul >= 0)
        pictures.push_back({value.mid(uint(nul) + 1), true});
}

/** Every embedded picture of @p file, as its format stores them. */
std::vector<Picture> embeddedPictures(TagLib::File *file)
{
    std::vector<Picture> pictures;
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(file)) {
        addId3(pictures, mpeg->ID3v2Tag());
        if (pictures.empty())
            addApe(pictures, mpeg->APETag());
    } else if (auto *flac = dynamic_cast<TagLib::FLAC::File *>(file)) {
        addFlac(pictures, flac->pictureList());
        if (pictures.empty() && flac->hasXiphComment())
            addFlac(pictures, flac->xiphComment()->pictureList());
    } else if (auto *ogg = dynamic_cast<TagLib::Ogg::File *>(file)) {
        // Vorbis, Opus, Speex and Ogg FLAC: METADATA_BLOCK_PICTURE in the comment.
        if (auto *comment = dynamic_cast<TagLib::Ogg::XiphComment *>(ogg->tag()))
            addFlac(pictures, comment->pictureList());
    } else if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(file)) {
        if (mp4->tag() && mp4->tag()->contains("covr")) {
            for (const TagLib::MP4::CoverArt &art : mp4->tag()->item("covr").toCoverArtList())
                pictures.push_back({art.data(), false});
        }
    } else if (auto *wavPack = dynamic_cast<TagLib::WavPack::File *>(file)) {
        addApe(pictures, wavPack->APETag());
    } else if (auto *ape = dynamic_cast<TagLib::APE::File *>(file)) {
        addApe(pictures, ape->APETag());
    } else if (auto *mpc = dynamic_cast<TagLib::MPC::File *>(file)) {
        addApe(pictures, mpc->APETag());
    } else if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file)) {
        addId3(pictures, wav->ID3v2Tag());
    } else if (auto *aiff = dynamic_cast<TagLib::RIFF::AIFF::File *>(file)) {
        addId3(pictures, aiff->tag());
    } else if (auto *asf = dynamic_cast<TagLib::ASF::File *>(file)) {
        const TagLib::ASF::AttributeListMap &map = asf->tag()->attributeListMap();
        if (const auto found = map.find("WM/Picture"); found != map.end()) {
            for (const TagLib::ASF::Attribute &attribute : found->second) {
                const TagLib::ASF::Picture picture = attribute.toPicture();
                pictures.push_back(
                    {picture.picture(), picture.type() == TagLib::ASF::Picture::FrontCover});
            }
        }
    }
    return pictures;
}

/** The embedded front cover of the open audio file @p file, decoded; null of none. */
QImage embeddedCover(TagLib::File *file)
{
    if (!file)
        return {};
    const TagLib::ByteVector data = choose(embeddedPictures(file));
    // Not copied: TagLib's bytes live as long as the open file.
    return CoverArt::decode(QByteArray::fromRawData(data.data(), qsizetype(data.size())));
}

/**
 * The images beside @p trackPath that may be its cover, in the order they are
 * tried: by name (cover, folder, front, album), then by suffix (jpg, jpeg,
 * png), then by the exact file name, so that case variants come in a fixed order.
 */
QStringList folderCandidates(const QString &trackPath)
{
    static const std::array<QLatin1String, 4> names = {QLatin1String("cover"),
        QLatin1String("folder"), QLatin1String("front"), QLatin1String("album")};
    static const std::array<QLatin1String, 3> suffixes
        = {QLatin1String("jpg"), QLatin1String("jpeg"), QLatin1String("png")};
    const auto rank = [](const QString &fileName) {
        const qsizetype dot = fileName.indexOf(QLatin1Char('.'));
        if (dot < 0)
            return -1;
        const QStringView base = QStringView(fileName).left(dot);
        const QStringView suffix = QStringView(fileName).mid(dot + 1);
        for (size_t n = 0; n < names.size(); ++n) {
            for (size_t s = 0; s < suffixes.size(); ++s) {
                if (base.compare(names[n], Qt::CaseInsensitive) == 0
                    && suffix.compare(suffixes[s], Qt::CaseInsensitive) == 0)
                    return int(n * suffixes.size() + s);
            }
        }
        return -1;
    };
    const QDir folder = QFileInfo(trackPath).absoluteDir();
    QList<std::pair<int, QString>> found;
    // Sorted by name, so that case variants of one name come in a fixed order.
    for (const QString &entry : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        const int r = rank(entry);
        if (r >= 0)
            found.append({r, entry});
    }
    std::stable_sort(
        found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList paths;
    for (const auto &[r, entry] : std::as_const(found))
        paths.append(folder.filePath(entry));
    return paths;
}

/** The image @p path, decoded as an embedded picture is; null when it cannot be. */
QImage folderImage(const QString &path)
{
    // Only a regular file: a FIFO of that name would block the read for good.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > CoverArt::maxBytes)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return CoverArt::decode(file.read(CoverArt::maxBytes + 1));
}

/** A data: URI of @p image: JPEG, or PNG where it is transparent. */
QString dataUri(const QImage &image)
{
    const bool png = image.hasAlphaChannel();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, png ? "PNG" : "JPEG", png ? -1 : 90))
        return {};
    return QStringLiteral("data:image/%1;base64,").arg(png ? "png" : "jpeg")
        + QString::fromLatin1(bytes.toBase64());
}

} // namespace

QImage CoverArt::decode(const QByteArray &bytes)
{
    // Process-wide; set once, before the first picture is looked at.
    static const bool limited = [] {
        QImageReader::setAllocationLimit(allocationLimitMb);
        return true;
    }();
    Q_UNUSED(limited);
    if (bytes.isEmpty() || bytes.size() > maxBytes)
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    // The header's size, before anything is decoded: a forged one costs nothing.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxSourceSide || size.height() > maxSourceSide)
        return {};
    // Within the square, so a turn by the picture's orientation tag keeps it there. JPEG
    // decodes straight to about this size; the others are scaled smoothly once decoded.
    if (size.width() > maxSide || size.height() > maxSide)
        reader.setScaledSize(size.scaled(maxSide, maxSide, Qt::KeepAspectRatio));
    return reader.read();
}

CoverArt CoverArt::read(const QString &trackPath)
{
    // Only a regular file is opened: a FIFO would block the read for good.
    if (!QFileInfo(trackPath).isFile())
        return read(trackPath, nullptr);
#ifdef Q_OS_WIN
    const std::wstring nativePath = QDir::toNativeSeparators(trackPath).toStdWString();
    TagLib::FileRef ref(nativePath.c_str(), false);
#else
    const QByteArray nativePath = QFile::encodeName(trackPath);
    TagLib::FileRef ref(nativePath.constData(), false);
#endif
    return read(trackPath, ref.isNull() ? nullptr : ref.file());
}

CoverArt CoverArt::read(const QString &trackPath, TagLib::File *file)
{
    CoverArt art;
    art.track = trackPath;
    if (!QFileInfo(trackPath).isFile())
        return art;
    art.image = embeddedCover(file);
    if (!art.image.isNull()) {
        art.source = Source::Embedded;
        art.artUrl = dataUri(art.image);
        return art;
    }
    for (const QString &candidate : folderCandidates(trackPath)) {
        art.image = folderImage(candidate);
        if (!art.image.isNull()) {
            art.source = Source::Folder;
            art.file = candidate;
            art.artUrl = QUrl::fromLocalFile(candidate).toString(QUrl::FullyEncoded);
            return art;
        }
    }
    return art;
}
