#include "ClientApp.h"
#include "CommandLine.h"
#include "DisplayApplication.h"
#include "SearchService.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    // Neither needs a display, asks the running instance anything or
    // touches a file.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine early(arguments);
    if (early.WantsHelp() || early.WantsVersion()) {
        std::fputs(qPrintable(early.WantsHelp() ? CommandLine::Usage() : CommandLine::Version()), stdout);
        return 0;
    }
    // The desktop's search needs no display and no window.
    if (early.WantsSearchService() && early.Error().isEmpty())
        return SearchService::Run(argc, argv);
    // Qt on X11 takes the launch's id out of the environment as it opens
    // the display; the running instance may need it to take the focus.
    const QByteArray startupId = qgetenv("DESKTOP_STARTUP_ID");
    // The toolkit takes its own options (-reverse) out wherever they
    // stand: it sees only what stands before --, a word after it never.
    const qsizetype dashes = arguments.indexOf(QStringLiteral("--"), 1);
    const qsizetype ownFrom = dashes < 0 ? arguments.size() : dashes;
    int toolkitArgc = static_cast<int>(ownFrom);
    const auto application = OpenDisplayApplication(toolkitArgc, argv);
    const CommandLine commandLine(QCoreApplication::arguments() + arguments.mid(ownFrom));
    if (!commandLine.Error().isEmpty()) {
        std::fprintf(stderr, "quorlex: %s\nTry 'quorlex --help' for more information.\n",
                     qPrintable(commandLine.Error()));
        return 2;
    }
    ClientApp app;
    app.InitInstance(GivenRequest(commandLine), startupId);
    return 0;
}
