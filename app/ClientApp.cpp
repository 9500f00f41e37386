#include "ClientApp.h"

#include "DesktopUrl.h"
#include "HelpRequest.h"
#include "MainWindow.h"

#include <QCoreApplication>
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
    const QString installed = QStringLiteral(QUORLEX_INSTALLED_GUIDE);
    if (QFileInfo::exists(installed))
        return QUrl::fromLocalFile(installed);
    return QUrl::fromLocalFile(QStringLiteral(QUORLEX_SOURCE_GUIDE));
}

void ClientApp::OnHelp()
{
    OpenUrlInBrowser(HelpUrl());
}
