#include "TickWatch.h"

#include "ProcStatusKb.h"

#include <algorithm>

TickWatch::TickWatch(int intervalMs)
{
    m_nStartRssKb = m_nPeakRssKb = ProcStatusKb("VmRSS");
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TickWatch::OnTick);
    m_clock.start();
    m_timer.start(intervalMs);
}

qint64 TickWatch::LargestGapMs() const
{
    return std::max(m_nLargestGapMs, m_clock.elapsed() - m_nLastTickMs);
}

void TickWatch::OnTick()
{
    const qint64 now = m_clock.elapsed();
    m_nLargestGapMs = std::max(m_nLargestGapMs, now - m_nLastTickMs);
    m_nLastTickMs = now;
    ++m_nTicks;
    m_nPeakRssKb = std::max(m_nPeakRssKb, ProcStatusKb("VmRSS"));
}
