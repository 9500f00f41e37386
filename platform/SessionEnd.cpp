#include "SessionEnd.h"

#include <QApplication>
#include <QDialog>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {
constexpr int CaughtSignals[] = {SIGTERM, SIGHUP};
int g_nWriteFd = -1;
struct sigaction g_previous[std::size(CaughtSignals)];

// Nothing but the write (errno kept for the code it interrupted); the rest
// happens in the event loop, which reads the pipe.
void OnSignal(int)
{
    const int savedErrno = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(g_nWriteFd, &byte, 1);
    errno = savedErrno;
}

void EndModalDialogs()
{
    QWidget* ended = nullptr;
    while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        if (dialog == ended)
            return;  // it refused to end
        ended = dialog;
        dialog->reject();
    }
}
}  // namespace

SessionEnd::SessionEnd(std::function<void()> handler) : m_handler(std::move(handler))
{
    connect(qApp, &QGuiApplication::commitDataRequest, this, &SessionEnd::OnCommitDataRequest);
    CatchSignals();
}

SessionEnd::~SessionEnd()
{
    if (m_nReadFd < 0)
        return;
    for (std::size_t i = 0; i < std::size(CaughtSignals); ++i)
        sigaction(CaughtSignals[i], &g_previous[i], nullptr);
    close(g_nWriteFd);
    close(m_nReadFd);
    g_nWriteFd = -1;
}

// A self-pipe: the handler writes a byte, a notifier wakes the event loop.
void SessionEnd::CatchSignals()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_nReadFd = fds[0];
    g_nWriteFd = fds[1];
    auto* notifier = new QSocketNotifier(m_nReadFd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SessionEnd::OnSignalled);
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(CaughtSignals); ++i)
        sigaction(CaughtSignals[i], &action, &g_previous[i]);
}

void SessionEnd::OnCommitDataRequest(QSessionManager&)
{
    m_handler();
}

void SessionEnd::OnSignalled()
{
    // Bytes left by further signals wake the notifier again; the end runs once.
    char bytes[16];
    [[maybe_unused]] const ssize_t drained = read(m_nReadFd, bytes, sizeof bytes);
    OnEnd();
}

void SessionEnd::OnEnd()
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    m_handler();
    EndModalDialogs();
}
