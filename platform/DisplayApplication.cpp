#include "DisplayApplication.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
QtMessageHandler g_previousHandler = nullptr;

// A platform named on the command line or in the environment, or a display
// for the default one to open.
bool DisplayNamed(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("DISPLAY");
}

[[noreturn]] void ReportNoDisplay()
{
    QByteArray named;
    for (const char* variable : {"WAYLAND_DISPLAY", "DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(variable))
            named += (named.isEmpty() ? "" : ", ") + QByteArray(variable) + '=' + qgetenv(variable);
    std::fprintf(stderr, "quorlex: cannot open a display (%s)\n",
                 named.isEmpty() ? "no DISPLAY or WAYLAND_DISPLAY" : named.constData());
    // Nothing else is set up yet; leave before the half-made toolkit is torn down.
    std::_Exit(1);
}

// While the application object is made, a fatal message means that the
// platform could not be opened.
void OnStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg)
        ReportNoDisplay();
    g_previousHandler(type, context, text);
}
}  // namespace

std::unique_ptr<QApplication> OpenDisplayApplication(int& argc, char** argv)
{
    if (!DisplayNamed(argc, argv))
        ReportNoDisplay();
    g_previousHandler = qInstallMessageHandler(&OnStartupMessage);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    return application;
}
