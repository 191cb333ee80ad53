#include "playback/ReplayGain.h"

#include <QFile>
#include <QRegularExpression>

#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cmath>

namespace {

struct Texts {
    QString trackGain, trackPeak, albumGain, albumPeak, r128Track, r128Album;
};

/** Files a value under its key, whatever the case of the key; the first value of a key wins. */
void take(Texts &texts, QString key, const QString &value)
{
    key = key.toUpper();
    QString *slot = nullptr;
    if (key == QLatin1String("REPLAYGAIN_TRACK_GAIN"))
        slot = &texts.trackGain;
    else if (key == QLatin1String("REPLAYGAIN_TRACK_PEAK"))
        slot = &texts.trackPeak;
    else if (key == QLatin1String("REPLAYGAIN_ALBUM_GAIN"))
        slot = &texts.albumGain;
    else if (key == QLatin1String("REPLAYGAIN_ALBUM_PEAK"))
        slot = &texts.albumPeak;
    else if (key == QLatin1String("R128_TRACK_GAIN"))
        slot = &texts.r128Track;
    else if (key == QLatin1String("R128_ALBUM_GAIN"))
        slot = &texts.r128Album;
    if (slot && slot->isEmpty())
        *slot = value;
}

QString text(const TagLib::String &value)
{
    return QString::fromStdString(value.to8Bit(true));
}

/** MP4 and ASF keep free-form items out of the property map in TagLib 1.13: read them directly. */
void takeFreeForm(Texts &texts, TagLib::File *file)
{
    if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(file); mp4 && mp4->tag()) {
        static const QString prefix = QStringLiteral("----:com.apple.iTunes:");
        for (const auto &[key, item] : mp4->tag()->itemMap()) {
            const QString name = text(key);
            if (name.startsWith(prefix, Qt::CaseInsensitive) && !item.toStringList().isEmpty())
                take(texts, name.mid(prefix.size()), text(item.toStringList().front()));
        }
    } else if (auto *asf = dynamic_cast<TagLib::ASF::File *>(file); asf && asf->tag()) {
        for (const auto &[key, attributes] : asf->tag()->attributeListMap()) {
            if (!attributes.isEmpty())
                take(texts, text(key), text(attributes.front().toString()));
        }
    }
}

std::optional<double> parsePeak(const QString &value)
{
    bool ok = false;
    const double peak = value.trimmed().toDouble(&ok);
    return ok && std::isfinite(peak) && peak > 0 ? std::optional<double>(peak) : std::nullopt;
}

} // namespace

ReplayGain::Gains ReplayGain::read(const QString &path)
{
#ifdef Q_OS_WIN
    TagLib::FileRef ref(reinterpret_cast<const wchar_t *>(path.utf16()), false);
#else
    TagLib::FileRef ref(QFile::encodeName(path).constData(), false);
#endif
    return read(ref.isNull() ? nullptr : ref.file());
}

ReplayGain::Gains ReplayGain::read(TagLib::File *file)
{
    Gains gains;
    if (!file)
        return gains;
    Texts texts;
    for (const auto &[key, values] : file->properties()) {
        if (!values.isEmpty())
            take(texts, text(key), text(values.front()));
    }
    takeFreeForm(texts, file);
    gains.trackGain = parseGain(texts.trackGain);
    gains.albumGain = parseGain(texts.albumGain);
    if (!gains.trackGain)
        gains.trackGain = parseR128(texts.r128Track);
    if (!gains.albumGain)
        gains.albumGain = parseR128(texts.r128Album);
    gains.trackPeak = parsePeak(texts.trackPeak);
    gains.albumPeak = parsePeak(texts.albumPeak);
    return gains;
}

double ReplayGain::factor(Mode mode, const Gains &gains)
{
    if (mode == Mode::Off)
        return 1;
    const bool album = mode == Mode::Album ? bool(gains.albumGain) : !gains.trackGain;
    const std::optional<double> gain = album ? gains.albumGain : gains.trackGain;
    if (!gain)
        return 1;
    double factor = std::pow(10.0, *gain / 20);
    if (const std::optional<double> peak = album ? gains.albumPeak : gains.trackPeak)
        factor = std::min(factor, 1 / *peak);
    return factor;
}

std::optional<double> ReplayGain::parseGain(const QString &text)
{
    // A number, then at most a unit: "-6.50 dB", "+1.2", "3 db".
    static const QRegularExpression gain(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+))\\s*(?:dB)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = gain.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const double db = match.captured(1).toDouble();
    // Beyond what any tagger writes: a broken tag, not a gain to apply.
    if (std::abs(db) > 60)
        return std::nullopt;
    return db;
}

std::optional<double> ReplayGain::parseR128(const QString &text)
{
    bool ok = false;
    const int q78 = text.trimmed().toInt(&ok);
    if (!ok || q78 < -32768 || q78 > 32767)
        return std::nullopt;
    return q78 / 256.0 + 5;
}
