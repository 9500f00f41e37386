#include "GapWatch.h"

#include <algorithm>

GapWatch::GapWatch()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    m_clock.start();
    m_timer.start(1);
}

qint64 GapWatch::LargestMs() const
{
    return std::max(m_nLargest, m_clock.elapsed() - m_nLast);
}

void GapWatch::Tick()
{
    const qint64 now = m_clock.elapsed();
    m_nLargest = std::max(m_nLargest, now - m_nLast);
    m_nLast = now;
}
