#pragma once

#include <QString>
#include <QUrl>

// The application: installs the help handler and runs the main window.
class ClientApp {
public:
    // Runs the main window modally; false, as the program then ends.
    bool InitInstance();
    // The user guide: installed beside the program (share/quorlex/guide
    // under its prefix), or the copy in the build tree beside build/quorlex.
    static QUrl HelpUrl();
    static QUrl HelpUrlFor(const QString& programDir);
    static void OnHelp();
};
