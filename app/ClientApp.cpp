#include "ClientApp.h"

#include "ArrivalSelection.h"
#include "CommandLine.h"
#include "ConnectionRegistry.h"
#include "DesktopUrl.h"
#include "GivenWord.h"
#include "HelpRequest.h"
#include "MainWindow.h"
#include "SessionEnd.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

bool ClientApp::InitInstance(const QStringList& arguments, const QByteArray& startupId)
{
    QCoreApplication::setApplicationName("Quorlex");
    QGuiApplication::setDesktopFileName("org.tallowmere.Quorlex");
    // Before the main window loads the servers and opens their transcripts.
    SingleInstance instance;
    if (!instance.Claim(arguments, startupId))
        return false;
    SetHelpHandler(&ClientApp::OnHelp);
    MainWindow window;
    ArrivalSelection selection(window.Tree());
    instance.SetArgumentsHandler(
        [&window, &selection](const QStringList& handed) { LookUpArguments(window, handed, &selection); });
    // Once the window shows: a message box then stands over it.
    if (!arguments.isEmpty())
        QTimer::singleShot(0, &window,
                           [&window, &arguments, &selection] { LookUpArguments(window, arguments, &selection); });
    // The session's end saves as closing the window does, but no box may
    // hold up the session manager.
    const SessionEnd sessionEnd([] {
        if (!ConnectionRegistry::Instance().WriteServerList())
            std::fputs("quorlex: failed to save server list\n", stderr);
    });
    window.exec();
    return false;
}

void ClientApp::LookUpArguments(MainWindow& window, const QStringList& arguments, ArrivalSelection* selection)
{
    const CommandLine commandLine(QStringList(QCoreApplication::applicationFilePath()) + arguments);
    if (commandLine.WantsSelection())
        window.LookUpDesktopSelection();
    else
        window.LookUpGiven(WordOfArguments(commandLine.Words()));
    if (selection && !commandLine.SelectedServer().isEmpty())
        selection->Await(commandLine.SelectedServer().toStdString(), commandLine.SelectedDatabase().toStdString());
}

QUrl ClientApp::HelpUrl()
{
    return HelpUrlFor(QCoreApplication::applicationDirPath());
}

QUrl ClientApp::HelpUrlFor(const QString& programDir)
{
    // Installed under a prefix, or the copy in the build tree beside the program.
    const QDir dir(programDir);
    const QString installed = QDir::cleanPath(dir.filePath(QUORLEX_GUIDE_FROM_PROGRAM));
    const QString inBuildTree = QDir::cleanPath(dir.filePath(QUORLEX_GUIDE_IN_BUILD_TREE));
    if (!QFileInfo::exists(installed) && QFileInfo::exists(inBuildTree))
        return QUrl::fromLocalFile(inBuildTree);
    return QUrl::fromLocalFile(installed);
}

void ClientApp::OnHelp()
{
    OpenUrlInBrowser(HelpUrl());
}
