#include "ClientApp.h"

#include "ConnectionRegistry.h"
#include "DesktopUrl.h"
#include "GivenRequest.h"
#include "HelpRequest.h"
#include "MainWindow.h"
#include "PendingRequest.h"
#include "SessionEnd.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

bool ClientApp::InitInstance(const GivenRequest& request, const QByteArray& startupId)
{
    QCoreApplication::setApplicationName("Quorlex");
    QGuiApplication::setDesktopFileName("org.tallowmere.Quorlex");
    // Later starts are answered from the claim on, before the main window
    // loads the servers and opens their transcripts, which may take a box.
    PendingRequest pending;
    SingleInstance instance;
    instance.SetRequestHandler([&pending](const QStringList& fields) { pending.Give(GivenRequest::OfFields(fields)); });
    if (!instance.Claim(request.Fields(), startupId))
        return false;
    SetHelpHandler(&ClientApp::OnHelp);
    pending.Give(request);
    MainWindow window;
    // Taken up once the window shows: a message box then stands over it.
    pending.Attach(window);
    // The session's end saves as closing the window does, but no box may
    // hold up the session manager.
    const SessionEnd sessionEnd([] {
        if (!ConnectionRegistry::Instance().WriteServerList())
            std::fputs("quorlex: failed to save server list\n", stderr);
    });
    window.exec();
    return false;
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
