#pragma once

#include <QObject>

#include <functional>

// The end of the desktop session: the session manager's request to commit
// data, SIGTERM or SIGHUP. Runs the handler once, then ends every modal
// dialog, so that the program's main window returns. While it exists the
// two signals no longer end the process at once; one instance at a time.
class SessionEnd : public QObject {
public:
    explicit SessionEnd(std::function<void()> handler);
    ~SessionEnd() override;

private:
    void CatchSignals();
    void OnSignalled();
    void OnEnd();

    std::function<void()> m_handler;
    int m_nReadFd = -1;
    bool m_bEnded = false;
};
