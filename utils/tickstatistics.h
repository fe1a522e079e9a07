// How regularly a periodic tick came, for the benchmarks that run the program: pages answered on
// the same thread must not push the sampling tick off its rhythm.
#pragma once

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

class TickStatistics
{
public:
    explicit TickStatistics(int intervalMs)
        : m_interval(intervalMs)
    {}

    void tick()
    {
        if (!m_clock.isValid())
            m_clock.start();
        const qint64 now = m_clock.elapsed();
        if (m_last >= 0) {
            const qint64 interval = now - m_last;
            ++m_intervals;
            m_sum += double(interval);
            m_worstDeviation = std::max(m_worstDeviation, std::abs(interval - qint64(m_interval)));
        }
        m_last = now;
    }

    void print() const
    {
        if (m_intervals > 0) {
            std::printf("sampling tick: %d intervals, mean %.1f ms, worst deviation from %d ms: "
                        "%lld ms\n",
                        m_intervals, m_sum / m_intervals, m_interval,
                        static_cast<long long>(m_worstDeviation));
        }
    }

private:
    int m_interval;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    int m_intervals = 0;
    double m_sum = 0;
    qint64 m_worstDeviation = 0;
};
