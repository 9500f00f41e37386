#pragma once

#include <QObject>
#include <QTimer>

// A timer ticking every few milliseconds while a case runs: the resident
// size sampled at each tick gives the case's peak.
class TickWatch : public QObject {
public:
    explicit TickWatch(int intervalMs = 5);

    int Ticks() const { return m_nTicks; }
    long StartRssKb() const { return m_nStartRssKb; }
    long PeakRssKb() const { return m_nPeakRssKb; }
    long GrowthKb() const { return m_nPeakRssKb - m_nStartRssKb; }
    // Under the sanitizers freed blocks sit in quarantine and count as
    // resident, so the bound is only checked in the ordinary build.
    bool GrewLessThanKb(long maxKb) const { return QUORLEX_SANITIZED || GrowthKb() < maxKb; }

private:
    void OnTick();

    QTimer m_timer;
    int m_nTicks = 0;
    long m_nStartRssKb = 0;
    long m_nPeakRssKb = 0;
};
