#pragma once

#include <QUrl>

// The application: installs the help handler and runs the main window.
class ClientApp {
public:
    // Runs the main window modally; false, as the program then ends.
    bool InitInstance();
    // The user guide: installed with the program, or in the source tree
    // when run from the build tree.
    static QUrl HelpUrl();
    static void OnHelp();
};
