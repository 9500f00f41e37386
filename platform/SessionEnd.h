#pragma once

#include <QObject>

#include <functional>

class QSessionManager;

// The end of the desktop session. SIGTERM or SIGHUP runs the handler once,
// then ends every modal dialog, so that the program's main window returns.
// The session manager's request to commit data runs the handler and ends
// nothing: the logout may be cancelled, or be only a checkpoint. While it
// exists the two signals no longer end the process at once; one instance
// at a time.
class SessionEnd : public QObject {
public:
    explicit SessionEnd(std::function<void()> handler);
    ~SessionEnd() override;

    void OnCommitDataRequest(QSessionManager& manager);

private:
    void CatchSignals();
    void OnSignalled();
    void OnEnd();

    std::function<void()> m_handler;
    int m_nReadFd = -1;
    bool m_bEnded = false;
};
