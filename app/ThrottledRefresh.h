#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// Runs a costly refresh no more often than its own cost allows: the next
// one starts no sooner than a few times the last one's duration after it
// ended, so the event loop spends most of its time on everything else.
// Requests made meanwhile are served together by one refresh.
class ThrottledRefresh {
public:
    explicit ThrottledRefresh(std::function<void()> refresh);

    void Request();
    // A refresh done another way makes the pending one needless.
    void Cancel();
    int Count() const { return m_nCount; }

private:
    void Run();

    std::function<void()> m_refresh;
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    qint64 m_nLastCostMs = 0;
    int m_nCount = 0;
};
