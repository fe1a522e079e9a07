#include "simulatedchannel.h"

#include <algorithm>
#include <cmath>

namespace zdx::usb {

namespace {

// The noise is a function of time, not of how often the host asks: two reads within the same
// half second see the same value, and a run is repeatable for a given seed.
constexpr std::chrono::milliseconds NoisePeriod{500};

uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int16_t toRaw(double value)
{
    const double rounded = std::round(value);
    return int16_t(std::clamp(rounded, -32768.0, 32767.0));
}

} // namespace

SimulatedChannel::SimulatedChannel(const SimulationConfig::Channel &config, uint64_t noiseSeed,
                                   Time now)
    : m_file(config)
    , m_noiseSeed(noiseSeed)
    , m_setpoint(config.setpoint)
    , m_control(config.control)
    , m_value(config.actual)
    , m_updated(now)
{}

void SimulatedChannel::reconfigure(const SimulationConfig::Channel &config, uint64_t noiseSeed,
                                   Time now)
{
    // History up to now ran under the old parameters.
    advance(now);
    if (config.setpoint != m_file.setpoint)
        m_setpoint = config.setpoint;
    if (config.control != m_file.control)
        m_control = config.control;
    if (config.actual != m_file.actual || config.model == SimulationConfig::Model::Fixed)
        m_value = config.actual;
    m_file = config;
    m_noiseSeed = noiseSeed;
}

void SimulatedChannel::advance(Time now)
{
    if (now <= m_updated)
        return;
    const double seconds = std::chrono::duration<double>(now - m_updated).count();
    m_updated = now;
    if (m_file.model == SimulationConfig::Model::Fixed)
        return;
    const bool regulating = m_control != 0;
    const double target = regulating ? double(m_setpoint) : m_file.ambient;
    const double tau = regulating ? m_file.tauSeconds : m_file.tauOffSeconds;
    if (tau <= 0) {
        m_value = target;
        return;
    }
    // First-order lag, exact for any step length.
    m_value = target + (m_value - target) * std::exp(-seconds / tau);
}

double SimulatedChannel::noise(Time now) const
{
    if (m_file.model == SimulationConfig::Model::Fixed || m_file.jitter <= 0)
        return 0;
    const uint64_t bucket = uint64_t(now.count() / std::chrono::microseconds(NoisePeriod).count());
    const uint64_t h = mix(m_noiseSeed ^ mix(uint64_t(m_file.number) ^ mix(bucket)));
    const double unit = double(h >> 11) * (1.0 / 9007199254740992.0); // [0, 1)
    return m_file.jitter * (2 * unit - 1);
}

double SimulatedChannel::modelValue(Time now)
{
    advance(now);
    return m_value;
}

int16_t SimulatedChannel::actual(Time now)
{
    advance(now);
    return toRaw(m_value + noise(now));
}

int16_t SimulatedChannel::writeSetpoint(int16_t value, Time now)
{
    advance(now);
    m_setpoint = std::clamp(value, m_file.minimum, m_file.maximum);
    return m_setpoint;
}

uint8_t SimulatedChannel::writeControl(uint8_t value, Time now)
{
    advance(now);
    m_control = value != 0 ? 1 : 0;
    return m_control;
}

} // namespace zdx::usb
