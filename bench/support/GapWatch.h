#pragma once

#include <QElapsedTimer>
#include <QTimer>

// The event loop's longest pause, seen by a timer asking to run every
// millisecond.
class GapWatch {
public:
    GapWatch();
    qint64 LargestMs() const;

private:
    void Tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_nLast = 0;
    qint64 m_nLargest = 0;
};
