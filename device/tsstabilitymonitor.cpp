#include "tsstabilitymonitor.h"

#include <QElapsedTimer>

namespace {

qint64 steadyMilliseconds()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

} // namespace

TsStabilityMonitor::TsStabilityMonitor()
    : m_clock(steadyMilliseconds)
{
    restart();
}

void TsStabilityMonitor::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(steadyMilliseconds);
    restart();
}

void TsStabilityMonitor::restartBand(Band &band)
{
    band.started = m_clock();
    band.inside = false;
    band.stable = false;
    band.updateEnabled();
}

void TsStabilityMonitor::setParameters(Level level, double low, double high, int timeIn,
                                       int timeOut)
{
    Band &band = bandOf(level);
    band.low = low;
    band.high = high;
    band.timeIn = timeIn;
    band.timeOut = timeOut;
    restartBand(band);
}

void TsStabilityMonitor::setLimits(Level level, double low, double high)
{
    Band &band = bandOf(level);
    band.low = low;
    band.high = high;
    band.updateEnabled();
}

void TsStabilityMonitor::restart()
{
    restartBand(m_yellow);
    restartBand(m_green);
}

TsStabilityMonitor::Level TsStabilityMonitor::evaluate(double value)
{
    const qint64 now = m_clock();
    Level level = Unstable;
    for (Level l : {Yellow, Green}) {
        Band &band = bandOf(l);
        if (!band.enabled)
            continue;
        // Comparisons with NaN are false, so NaN is never inside.
        const bool in = band.low <= value && value <= band.high;
        if (in != band.inside)
            band.started = now;
        const qint64 elapsed = now - band.started;
        if (in && elapsed >= band.timeIn)
            band.stable = true;
        if (!in && elapsed >= band.timeOut)
            band.stable = false;
        band.inside = in;
        if (band.stable)
            level = l;
    }
    return level;
}
