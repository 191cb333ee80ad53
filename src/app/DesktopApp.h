#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <optional>

class QGuiApplication;
class QIcon;

/**
 * The program's identity towards the desktop (application id, version, icon)
 * and its command line. Static only: the entry point and the window read it.
 */
class DesktopApp {
    Q_DECLARE_TR_FUNCTIONS(DesktopApp)

public:
    DesktopApp() = delete;

    /** The reverse-DNS application id: the base name of the .desktop file and the icon name. */
    static QString id();

    /** The program version, the build's project version. */
    static QString version();

    /** The application icon from the embedded resources. */
    static QIcon icon();

    /** Tells the application its version and desktop file name. */
    static void identify(QGuiApplication &app);

    /**
     * Handles the command line of @p app: --help and --version print and end
     * the program, an unknown option prints the error and the usage. The
     * files and URLs named go to @p files. Returns the exit status when the
     * program must stop, nothing when it runs on.
     */
    static std::optional<int> handleCommandLine(
        const QGuiApplication &app, QStringList *files = nullptr);

    /** Writes each of @p problems on a line of its own to the error output. */
    static void printProblems(const QStringList &problems);
};
