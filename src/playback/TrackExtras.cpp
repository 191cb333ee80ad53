#include "playback/TrackExtras.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <taglib/fileref.h>

TrackExtras TrackExtras::read(const QString &path)
{
    TrackExtras extras;
    extras.path = path;
    // Only a regular file is opened: a FIFO would block the read for good.
    TagLib::FileRef ref;
    if (QFileInfo(path).isFile()) {
#ifdef Q_OS_WIN
        const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
        ref = TagLib::FileRef(nativePath.c_str(), false);
#else
        const QByteArray nativePath = QFile::encodeName(path);
        ref = TagLib::FileRef(nativePath.constData(), false);
#endif
    }
    TagLib::File *file = ref.isNull() ? nullptr : ref.file();
    extras.cover = CoverArt::read(path, file);
    extras.gains = ReplayGain::read(file);
    return extras;
}
