// Decides how long a channel's actual value has stayed near its setpoint: two bands, yellow
// (level 1) and green (level 2), each with its own limits and times in and out.
#pragma once

#include <QtGlobal>

#include <functional>

class TsStabilityMonitor
{
public:
    enum Level
    {
        Unstable = 0,
        Yellow = 1,
        Green = 2
    };

    // Monotonic milliseconds. The default reads a steady clock; tests drive their own.
    using Clock = std::function<qint64()>;

    TsStabilityMonitor();

    // Replaces the clock and restarts the monitor, since elapsed times of two clocks do not mix.
    void setClock(Clock clock);

    // Limits and times; restarts the band's timer and forgets whether it was inside or stable.
    void setParameters(Level band, double low, double high, int timeIn, int timeOut);
    // Limits only; the band keeps its timer and state, so a setpoint change does not reset it.
    void setLimits(Level band, double low, double high);
    // Restarts both timers and forgets both bands' state.
    void restart();
    // Feeds a value and returns the highest stable level; NaN is outside every band.
    Level evaluate(double value);

    bool isEnabled(Level band) const { return bandOf(band).enabled; }
    double low(Level band) const { return bandOf(band).low; }
    double high(Level band) const { return bandOf(band).high; }
    int timeIn(Level band) const { return bandOf(band).timeIn; }
    int timeOut(Level band) const { return bandOf(band).timeOut; }

private:
    struct Band
    {
        bool enabled = false;
        double low = 0.0;
        double high = 0.0;
        int timeIn = 0;     // ms
        int timeOut = 0;    // ms
        qint64 started = 0; // clock reading when the timer was last restarted
        bool inside = false;
        bool stable = false;

        void updateEnabled() { enabled = high > low && timeIn >= 1 && timeOut >= 1; }
    };

    Band &bandOf(Level band) { return band == Green ? m_green : m_yellow; }
    const Band &bandOf(Level band) const { return band == Green ? m_green : m_yellow; }
    void restartBand(Band &band);

    Clock m_clock;
    Band m_yellow;
    Band m_green;
};
