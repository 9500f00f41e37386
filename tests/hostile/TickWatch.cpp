#include "TickWatch.h"

#include "ProcStatusKb.h"

#include <algorithm>

TickWatch::TickWatch(int intervalMs)
{
    m_nStartRssKb = m_nPeakRssKb = ProcStatusKb("VmRSS");
    connect(&m_timer, &QTimer::timeout, this, &TickWatch::OnTick);
    m_timer.start(intervalMs);
}

void TickWatch::OnTick()
{
    ++m_nTicks;
    m_nPeakRssKb = std::max(m_nPeakRssKb, ProcStatusKb("VmRSS"));
}
