#include "ClientApp.h"

#include "DesktopUrl.h"
#include "HelpRequest.h"
#include "MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

bool ClientApp::InitInstance()
{
    QCoreApplication::setApplicationName("Quorlex");
    SetHelpHandler(&ClientApp::OnHelp);
    MainWindow window;
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
