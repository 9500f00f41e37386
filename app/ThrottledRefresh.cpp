#include "ThrottledRefresh.h"

#include <algorithm>

namespace {

constexpr qint64 Spacing = 3;

}  // namespace

ThrottledRefresh::ThrottledRefresh(std::function<void()> refresh) : m_refresh(std::move(refresh))
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Run(); });
    m_sinceLast.start();
}

void ThrottledRefresh::Request()
{
    if (m_timer.isActive())
        return;
    m_timer.start(static_cast<int>(std::max<qint64>(0, Spacing * m_nLastCostMs - m_sinceLast.elapsed())));
}

void ThrottledRefresh::Cancel()
{
    m_timer.stop();
}

void ThrottledRefresh::Run()
{
    QElapsedTimer cost;
    cost.start();
    m_refresh();
    m_nLastCostMs = cost.elapsed();
    m_sinceLast.restart();
    ++m_nCount;
}
