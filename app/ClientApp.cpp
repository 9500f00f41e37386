#include "ClientApp.h"

#include "ConnectionRegistry.h"
#include "DesktopUrl.h"
#include "HelpRequest.h"
#include "MainWindow.h"
#include "SessionEnd.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

bool ClientApp::InitInstance()
{
    QCoreApplication::setApplicationName("Quorlex");
    QGuiApplication::setDesktopFileName("org.tallowmere.Quorlex");
    // Before the main window loads the servers and opens their transcripts.
    SingleInstance instance;
    if (!instance.Claim())
        return false;
    SetHelpHandler(&ClientApp::OnHelp);
    MainWindow window;
    // The session's end saves as closing the window does.
    const SessionEnd sessionEnd([] { ConnectionRegistry::Instance().SaveServerList(); });
    window.exec();
    return false;
}

QUrl ClientApp::HelpUrl()
{
    return HelpUrlFor(QCoreApplication::applicationDirPath());
}

QUrl ClientApp::HelpUrlFor(const QString& programDir)
{
    const QString installed = QDir::cleanPath(QDir(programDir).filePath(QUORLEX_GUIDE_FROM_PROGRAM));
    if (QFileInfo::exists(installed))
        return QUrl::fromLocalFile(installed);
    return QUrl::fromLocalFile(QStringLiteral(QUORLEX_SOURCE_GUIDE));
}

void ClientApp::OnHelp()
{
    OpenUrlInBrowser(HelpUrl());
}
