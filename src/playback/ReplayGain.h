#pragma once

#include <QString>

#include <optional>

namespace TagLib {
class File;
}

/**
 * A track's loudness correction, read from its tags: the ReplayGain gains
 * and peaks (ID3v2 TXXX frames, Xiph comments, APE items, MP4 and ASF
 * free-form atoms) or Opus's R128 gains. The transport turns them into the
 * output level. Static only; read() is safe on any thread.
 */
class ReplayGain {
public:
    /** Which gain the output follows; the numbers are those the settings store. */
    enum class Mode { Off = 0, Track = 1, Album = 2 };

    /** What a file's tags say; a value is missing when its tag is absent or unreadable. */
    struct Gains {
        std::optional<double> trackGain; ///< dB
        std::optional<double> trackPeak; ///< linear, 1 is full scale
        std::optional<double> albumGain;
        std::optional<double> albumPeak;
    };

    ReplayGain() = delete;

    /** The gains in the tags of the audio file @p path; none for a file TagLib cannot read. */
    static Gains read(const QString &path);
    /** The gains in the tags of @p file, opened already by TagLib; none for a null one. */
    static Gains read(TagLib::File *file);

    /**
     * The factor on the user's volume that @p mode asks for: 10^(gain/20),
     * lowered so that the peak that goes with the gain stays at or below
     * full scale. Album mode falls back to the track gain, Track mode to the
     * album gain, and either to 1, as does Off.
     */
    static double factor(Mode mode, const Gains &gains);

    /** A gain tag's text, e.g. "-6.50 dB" or "+1.2", in dB; nothing when it holds no number. */
    static std::optional<double> parseGain(const QString &text);
    /**
     * An Opus R128 gain tag's text (a Q7.8 number against -23 LUFS) as a
     * ReplayGain gain in dB (against its reference, 5 dB louder).
     */
    static std::optional<double> parseR128(const QString &text);
};
