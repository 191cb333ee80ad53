#pragma once

// The synthetic library: N tracks made from the fixture files, each retagged
// with its own album artist, title and album, in nested folders with
// non-ASCII names.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

namespace bench {

// TagLib takes wide paths on Windows and locally encoded bytes elsewhere.
#ifdef Q_OS_WIN
using NativePath = std::wstring;
#else
using NativePath = QByteArray;
#endif
/** @p path as TagLib opens it. */
NativePath nativePath(const QString &path);
/** What TagLib's FileRef takes of a native path. */
#ifdef Q_OS_WIN
const wchar_t *cPath(const NativePath &path);
#else
const char *cPath(const NativePath &path);
#endif

/** The tags track @p i is written with. */
QString albumArtistFor(int i);
QString titleFor(int i);
QString albumFor(int i);

/**
 * Writes @p tracks files below @p root: the fixtures in turn, each retagged
 * through TagLib. Folders: artist / album / disc, 10 tracks per disc. The
 * file name starts with the track's number, at least five digits.
 */
bool buildLibrary(const QString &root, int tracks);
/** Every audio file below @p root. */
QStringList audioFiles(const QString &root);

} // namespace bench
