#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// A timer ticking every few milliseconds while a case runs: the largest
// gap between ticks shows whether the event loop kept turning, and the
// resident size sampled at each tick gives the case's peak.
class TickWatch : public QObject {
public:
    explicit TickWatch(int intervalMs = 5);

    // The gap since the last tick counts too, so a loop still blocked
    // when asked is not missed.
    qint64 LargestGapMs() const;
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
    QElapsedTimer m_clock;
    qint64 m_nLastTickMs = 0;
    qint64 m_nLargestGapMs = 0;
    int m_nTicks = 0;
    long m_nStartRssKb = 0;
    long m_nPeakRssKb = 0;
};
