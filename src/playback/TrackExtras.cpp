#include "playback/TrackExtras.h"

#include "library/scan/FileState.h"
#include "library/scan/LibraryScanner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <taglib/fileref.h>

TrackExtras TrackExtras::read(const QString &path)
{
    TrackExtras extras;
    extras.path = path;
    const FileState state = FileState::of(QFileInfo(path));
    // Only a regular file is opened: a FIFO would block the read for good. The
    // audio properties too, for the length the library's read gives.
    TagLib::FileRef ref;
    if (state.isFile) {
#ifdef Q_OS_WIN
        const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
        ref = TagLib::FileRef(nativePath.c_str(), true, TagLib::AudioProperties::Average);
#else
        const QByteArray nativePath = QFile::encodeName(path);
        ref = TagLib::FileRef(nativePath.constData(), true, TagLib::AudioProperties::Average);
#endif
    }
    TagLib::File *file = ref.isNull() ? nullptr : ref.file();
    extras.track = Playlist::trackOf(LibraryScanner::read(path, state, ref));
    extras.cover = CoverArt::read(path, file);
    extras.gains = ReplayGain::read(file);
    return extras;
}
