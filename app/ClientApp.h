#pragma once

#include "GivenRequest.h"

#include <QString>
#include <QUrl>

// The application: installs the help handler and runs the main window.
class ClientApp {
public:
    // Runs the main window modally and looks up what the start asks for,
    // or hands that to the running instance with the X11 startup id this
    // start was launched with; false, as the program then ends.
    bool InitInstance(const GivenRequest& request = {}, const QByteArray& startupId = {});
    // The user guide: installed beside the program (share/quorlex/guide
    // under its prefix), or the copy in the build tree beside build/quorlex.
    static QUrl HelpUrl();
    static QUrl HelpUrlFor(const QString& programDir);
    static void OnHelp();
};
