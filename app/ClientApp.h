#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class ArrivalSelection;
class MainWindow;

// The application: installs the help handler and runs the main window.
class ClientApp {
public:
    // Runs the main window modally and looks up what the arguments (after
    // the program's name) ask for, or hands them to the running instance
    // with the X11 startup id this start was launched with; false, as the
    // program then ends.
    bool InitInstance(const QStringList& arguments = {}, const QByteArray& startupId = {});
    // What a start's arguments ask the window to look up, and the node to
    // select when it arrives.
    static void LookUpArguments(MainWindow& window, const QStringList& arguments,
                                ArrivalSelection* selection = nullptr);
    // The user guide: installed beside the program (share/quorlex/guide
    // under its prefix), or the copy in the build tree beside build/quorlex.
    static QUrl HelpUrl();
    static QUrl HelpUrlFor(const QString& programDir);
    static void OnHelp();
};
