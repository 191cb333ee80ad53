#pragma once

// Shared by the tests: every test runs against its own throw-away settings
// store and never sees a real user's settings or music.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

namespace TestSupport {

/**
 * Points the per-user settings store at a fresh temporary folder. Call it
 * first in initTestCase(), before anything opens a QSettings.
 */
inline QTemporaryDir &isolateSettings()
{
    static QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    return configHome;
}

/** Empties the player's settings store; use it in init() for a fresh start per test. */
inline void clearPlayerSettings()
{
    QSettings store(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"));
    store.clear();
    store.sync();
}

/** Path of a committed audio fixture, e.g. fixture("tone.mp3"). */
inline QString fixture(const QString &name)
{
    return QStringLiteral(CORVEL_FIXTURES_DIR "/") + name;
}

/** Copies a fixture to @p target, creating the folders on the way. */
inline bool copyFixture(const QString &name, const QString &target)
{
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    return QFile::copy(fixture(name), target)
        && QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                             | QFile::ReadOther);
}

} // namespace TestSupport
