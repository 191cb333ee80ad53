#include "app/DesktopApp.h"

#include "library/scan/MusicFiles.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

QString DesktopApp::id()
{
    return QStringLiteral(CORVEL_APP_ID);
}

QString DesktopApp::version()
{
    return QStringLiteral(CORVEL_VERSION);
}

QIcon DesktopApp::icon()
{
    return QIcon(QStringLiteral(":/app/" CORVEL_APP_ID ".svg"));
}

void DesktopApp::identify(QGuiApplication &app)
{
    app.setApplicationVersion(version());
    app.setDesktopFileName(id());
}

std::optional<int> DesktopApp::handleCommandLine(const QGuiApplication &app, QStringList *files)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Corvel Media Player: plays the music of one folder."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
        tr("Audio files (%1), folders or file: URLs to play. The first plays at "
           "once, the others are queued to play next, in their order; a folder stands for the "
           "audio files below it, sorted by path. A player already running takes them over. "
           "Put -- before names that start with a dash.")
            .arg(MusicFiles::suffixText()),
        QStringLiteral("[FILE|URL]..."));
    if (!parser.parse(app.arguments())) {
        // Qt's own process() would print the error alone; the usage tells
        // what would have been accepted.
        const QString text = parser.errorText() + QStringLiteral("\n\n") + parser.helpText();
        std::fputs(qPrintable(text), stderr);
        return EXIT_FAILURE;
    }
    // Both print (a message box on Windows) and end the process.
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(EXIT_SUCCESS);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (files)
        *files = parser.positionalArguments();
    return std::nullopt;
}

void DesktopApp::printProblems(const QStringList &problems)
{
    for (const QString &problem : problems)
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
            qPrintable(problem));
}
