// Start-up: the time from exec to the main window shown with the event
// loop idle, and the peak resident size then, over fresh processes that
// run the program's own start-up (ClientApp) with an empty profile.
// Usage: bench_startup [RUNS]    (one run: bench_startup --child)
#include "BenchCommon.h"
#include "ClientApp.h"
#include "ProcStatusKb.h"

#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr char LaunchVariable[] = "QUORLEX_BENCH_LAUNCH_NS";

long long MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Waits for the main window's first show, lets the loop run dry once,
// then reports and closes the window as Escape would.
class IdleProbe : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QDialog*>(watched);
        if (event->type() == QEvent::Show && window && window->isWindow() && !m_bSeen) {
            m_bSeen = true;
            QTimer::singleShot(0, window, [window] {
                const long long launched = std::atoll(qgetenv(LaunchVariable).constData());
                std::printf("%lld %ld\n", MonotonicNs() - launched, ProcStatusKb("VmHWM"));
                std::fflush(stdout);
                window->reject();
            });
        }
        return false;
    }

private:
    bool m_bSeen = false;
};

int RunChild(int argc, char** argv)
{
    QApplication application(argc, argv);
    IdleProbe probe;
    application.installEventFilter(&probe);
    ClientApp app;
    app.InitInstance();
    return 0;
}

// One child run: its start-up time in nanoseconds and peak size in kB.
bool RunOnce(const char* self, long long& ns, long& kb)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const char* argv[] = {self, "--child", nullptr};
    qputenv(LaunchVariable, QByteArray::number(MonotonicNs()));
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string output;
    char chunk[256];
    for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;)
        output.append(chunk, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    return std::sscanf(output.c_str(), "%lld %ld", &ns, &kb) == 2;
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    if (argc > 1 && std::string(argv[1]) == "--child")
        return RunChild(argc, argv);

    const int runs = CountArgument(argc, argv, 1, 21);
    // An empty profile: no servers to connect to, nothing of the user's touched.
    QTemporaryDir profile;
    if (!profile.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", profile.path().toLocal8Bit());
    std::vector<long long> times;
    std::vector<long> sizes;
    for (int i = 0; i <= runs; ++i) {
        long long ns = 0;
        long kb = 0;
        if (!RunOnce("/proc/self/exe", ns, kb)) {
            std::fprintf(stderr, "run %d failed\n", i);
            return 1;
        }
        if (i == 0)
            continue;  // warm-up: the libraries into the page cache
        times.push_back(ns);
        sizes.push_back(kb);
    }
    std::printf("start-up to the main window shown and idle, empty profile, QT_QPA_PLATFORM=%s, median of %d runs:\n",
                qgetenv("QT_QPA_PLATFORM").constData(), runs);
    std::printf("  time:              %8.1f ms (fastest %.1f ms)\n", Median(times) / 1e6,
                *std::min_element(times.begin(), times.end()) / 1e6);
    std::printf("  peak resident size: %7ld kB\n", Median(sizes));
    std::printf("reproduce: cmake --build BUILD --target bench_startup && BUILD/bench/app/bench_startup %d\n", runs);
    return 0;
}
