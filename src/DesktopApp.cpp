#include "DesktopApp.h"

#include <QApplication>
#include <QCommandLineParser>
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

void DesktopApp::identify(QApplication &app)
{
    app.setApplicationVersion(version());
    app.setDesktopFileName(id());
}

std::optional<int> DesktopApp::handleCommandLine(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Corvel Media Player: plays the music of one folder."));
    parser.addHelpOption();
    parser.addVersionOption();
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
    return std::nullopt;
}
