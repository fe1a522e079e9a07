// How the simulated channels move: the first-order lag towards the setpoint, the drift to ambient
// with the loop off, the noise, and the demonstration controllers judged by the stability bands
// the program ships with. Time is stepped with a manual clock; nothing sleeps.
#include "simulationtestsupport.h"

#include "usb/simulation/simulatedchannel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

namespace zdx::usb::test {
namespace {

using namespace std::chrono_literals;
using Model = SimulationConfig::Model;

SimulationConfig::Channel channelConfig(Model model, int16_t actual, int16_t setpoint)
{
    SimulationConfig::Channel c;
    c.number = 1;
    c.model = model;
    c.actual = actual;
    c.setpoint = setpoint;
    c.minimum = 0;
    c.maximum = 600;
    c.control = 1;
    c.tauSeconds = 30;
    c.tauOffSeconds = 120;
    c.ambient = 220;
    c.jitter = 0.6;
    return c;
}

TEST(SimulationModel, ThermalFollowsAFirstOrderLag)
{
    SimulatedChannel channel(channelConfig(Model::Thermal, 220, 370), 1, 0s);
    // One time constant closes 1 - 1/e of the gap.
    EXPECT_NEAR(channel.modelValue(30s), 370 - 150 * std::exp(-1.0), 1e-9);
    EXPECT_NEAR(channel.modelValue(150s), 370 - 150 * std::exp(-5.0), 1e-9);

    // Evaluated lazily: a hundred small steps land where one big step does.
    SimulatedChannel stepped(channelConfig(Model::Thermal, 220, 370), 1, 0s);
    for (int second = 1; second <= 150; ++second)
        stepped.modelValue(std::chrono::seconds(second));
    EXPECT_NEAR(stepped.modelValue(150s), channel.modelValue(150s), 1e-9);
}

TEST(SimulationModel, SetpointAndLoopChangesTakeEffectFromTheirMoment)
{
    SimulatedChannel channel(channelConfig(Model::Thermal, 370, 370), 1, 0s);
    EXPECT_NEAR(channel.modelValue(100s), 370, 1e-9);
    EXPECT_EQ(channel.writeSetpoint(400, 100s), 400);
    EXPECT_NEAR(channel.modelValue(130s), 400 - 30 * std::exp(-1.0), 1e-9);

    // Loop off: cools towards ambient with the slower off-time constant.
    EXPECT_EQ(channel.writeControl(0, 1000s), 0);
    const double start = channel.modelValue(1000s);
    EXPECT_NEAR(channel.modelValue(1120s), 220 + (start - 220) * std::exp(-1.0), 1e-9);
    EXPECT_NEAR(channel.modelValue(3000s), 220, 0.01);
    EXPECT_EQ(channel.setpoint(), 400) << "the setpoint is kept while the loop is off";
}

TEST(SimulationModel, FixedChannelsKeepTheirValueExactly)
{
    SimulatedChannel channel(channelConfig(Model::Fixed, 251, 370), 1, 0s);
    for (int second = 0; second < 600; second += 7)
        EXPECT_EQ(channel.actual(std::chrono::seconds(second)), 251);
}

TEST(SimulationModel, NoiseIsSmallDeterministicAndPresent)
{
    SimulatedChannel a(channelConfig(Model::Thermal, 370, 370), 42, 0s);
    SimulatedChannel b(channelConfig(Model::Thermal, 370, 370), 42, 0s);
    SimulatedChannel c(channelConfig(Model::Thermal, 370, 370), 43, 0s);
    std::set<int> seen;
    bool seedsDiffer = false;
    for (int i = 0; i < 4000; ++i) {
        const auto time = std::chrono::milliseconds(250 * i);
        const int16_t value = a.actual(time);
        EXPECT_LE(std::abs(value - 370), 1) << "a settled channel stays within one raw step";
        EXPECT_EQ(b.actual(time), value) << "same seed, same readings";
        seedsDiffer = seedsDiffer || c.actual(time) != value;
        seen.insert(value);
    }
    EXPECT_GE(seen.size(), 2u) << "the reading does move";
    EXPECT_TRUE(seedsDiffer);
}

// Reads through the wire, like the library.
class SimulatedHost
{
public:
    explicit SimulatedHost(SimulationBackend &backend, uint32_t device)
        : m_backend(backend)
        , m_handle(openDevice(backend, device))
    {}
    int16_t actual(uint8_t channel)
    {
        return parseAnswer(exchange(m_backend, m_handle, request(0x81, channel, 'R'))).int16();
    }
    void setSetpoint(uint8_t channel, int16_t value)
    {
        const uint16_t bits = uint16_t(value);
        const Answer answer = parseAnswer(exchange(
            m_backend, m_handle, request(0x83, channel, 'W', {uint8_t(bits), uint8_t(bits >> 8)})));
        EXPECT_EQ(answer.int16(), value);
    }
    void setLoop(uint8_t channel, bool on)
    {
        exchange(m_backend, m_handle, request(0x85, channel, 'W', {uint8_t(on ? 1 : 0)}));
    }

private:
    SimulationBackend &m_backend;
    Handle m_handle;
};

TEST(SimulationModel, FileModelsUseTheirDefaultsAndTheirOverrides)
{
    TempFolder folder;
    SimulationFile file(folder);
    file.writeControllers(controllerXml(
        "150A7", "",
        "<Channel number=\"1\" actual=\"220\" setpoint=\"370\" maximum=\"600\" control=\"1\" "
        "model=\"thermal\"/>"
        "<Channel number=\"2\" actual=\"220\" setpoint=\"370\" maximum=\"600\" control=\"1\" "
        "model=\"thermal\" tau=\"10\" jitter=\"0\"/>"
        "<Channel number=\"3\" actual=\"0\" setpoint=\"50\" maximum=\"200\" control=\"1\" "
        "model=\"gas\"/>"
        "<Channel number=\"4\" actual=\"370\" setpoint=\"370\" maximum=\"600\" control=\"0\" "
        "model=\"thermal\" ambient=\"250\" tauOff=\"5\"/>"));
    ManualClock clock;
    SimulationBackend backend(file.path(), clock.clock());
    ASSERT_EQ(backend.lastError(), "");
    SimulatedHost host(backend, 0);

    clock.advance(10s);
    EXPECT_GT(std::abs(host.actual(1) - 370), 5) << "30 s lag: far off after 10 s";
    EXPECT_EQ(host.actual(2), 370 - int(std::lround(150 * std::exp(-1.0)))) << "tau 10, no noise";
    clock.advance(50s);
    EXPECT_EQ(host.actual(2), 370);
    EXPECT_GT(std::abs(host.actual(3) - 50), 5) << "45 s lag: gas still on its way after 60 s";
    EXPECT_LE(std::abs(host.actual(4) - 250), 1) << "loop off: at ambient";
    clock.advance(90s);
    EXPECT_LE(std::abs(host.actual(1) - 370), 2) << "within the green band after 5 lags";
    clock.advance(150s);
    EXPECT_LE(std::abs(host.actual(3) - 50), 2);

    // Loop switched off by the host: the heater cools to room temperature.
    host.setLoop(1, false);
    clock.advance(20min);
    EXPECT_LE(std::abs(host.actual(1) - 220), 2);
    host.setLoop(1, true);
    clock.advance(5min);
    EXPECT_LE(std::abs(host.actual(1) - 370), 2);
}

// The program's stable colour, rebuilt here from its rules: a band turns stable after the value has
// been inside it for timeIn and loses that after being outside for timeOut; green wins over yellow.
class StabilityMonitor
{
public:
    enum Colour
    {
        Red,
        Yellow,
        Green
    };

    explicit StabilityMonitor(int setpoint) { setSetpoint(setpoint); }
    void setSetpoint(int setpoint)
    {
        m_yellow.low = setpoint - 5;
        m_yellow.high = setpoint + 5;
        m_green.low = setpoint - 2;
        m_green.high = setpoint + 2;
    }
    Colour evaluate(int value, int second)
    {
        m_yellow.evaluate(value, second);
        m_green.evaluate(value, second);
        return m_green.stable ? Green : m_yellow.stable ? Yellow : Red;
    }

private:
    struct Band
    {
        int low, high, timeIn, timeOut;
        bool inside = false, stable = false;
        int since = 0;
        void evaluate(int value, int second)
        {
            const bool in = low <= value && value <= high;
            if (in != inside)
                since = second;
            if (in && second - since >= timeIn)
                stable = true;
            if (!in && second - since >= timeOut)
                stable = false;
            inside = in;
        }
    };
    Band m_yellow{0, 0, 10, 50};
    Band m_green{0, 0, 60, 60};
};

// When the colour first went red, then yellow after that red, then green after that yellow.
struct Course
{
    int red = -1, yellow = -1, green = -1;
    bool greenHeld = true; // stayed green from that green to the end
};

// Samples once a second, like the program, for several channels at once.
struct Watched
{
    SimulatedHost &host;
    uint8_t channel;
    StabilityMonitor monitor;
    Course course;
};

void follow(std::vector<Watched *> channels, ManualClock &clock, int seconds)
{
    for (Watched *w : channels)
        w->course = Course{};
    for (int second = 1; second <= seconds; ++second) {
        clock.advance(1s);
        for (Watched *w : channels) {
            Course &course = w->course;
            const StabilityMonitor::Colour colour =
                w->monitor.evaluate(w->host.actual(w->channel), second);
            if (colour == StabilityMonitor::Red && course.red < 0)
                course.red = second;
            if (colour == StabilityMonitor::Yellow && course.red >= 0 && course.yellow < 0)
                course.yellow = second;
            if (colour == StabilityMonitor::Green && course.yellow >= 0 && course.green < 0)
                course.green = second;
            if (course.green >= 0 && colour != StabilityMonitor::Green)
                course.greenHeld = false;
        }
    }
}

TEST(SimulationModel, DemonstrationChannelsGoRedYellowGreenAfterASetpointChange)
{
    ManualClock clock;
    SimulationBackend backend(clock.clock());
    ASSERT_EQ(backend.setTimeouts(0, 0), Success); // realtime timing: reads must not wait
    SimulatedHost heat(backend, 0);
    SimulatedHost gas(backend, 1);

    struct Case
    {
        const char *what;
        int changed;
        Watched watched;
    };
    Case cases[] = {
        {"stage heater", 300, {heat, 1, StabilityMonitor(370), {}}},
        {"lid heater", 450, {heat, 2, StabilityMonitor(370), {}}},
        {"CO2", 80, {gas, 1, StabilityMonitor(50), {}}},
        {"O2", 100, {gas, 2, StabilityMonitor(50), {}}},
    };

    // From power-on at ambient every channel warms (or gases) up to green.
    std::vector<Watched *> all;
    for (Case &c : cases)
        all.push_back(&c.watched);
    follow(all, clock, 600);
    for (const Case &c : cases) {
        const Course &startup = c.watched.course;
        EXPECT_EQ(startup.red, 1) << c.what;
        EXPECT_GT(startup.yellow, 0) << c.what;
        EXPECT_GT(startup.green, 0) << c.what;
        EXPECT_LE(startup.green, 360) << c.what;
        EXPECT_TRUE(startup.greenHeld) << c.what;
        std::printf("%s: from power-on yellow after %d s, green after %d s\n", c.what,
                    startup.yellow, startup.green);
    }

    // A sizeable setpoint change: red once the bands' time-outs run out, then yellow, then green
    // within a few minutes, and green for good once settled.
    for (Case &c : cases) {
        c.watched.host.setSetpoint(c.watched.channel, int16_t(c.changed));
        c.watched.monitor.setSetpoint(c.changed);
        follow({&c.watched}, clock, 900);
        const Course &change = c.watched.course;
        EXPECT_GT(change.red, 0) << c.what;
        EXPECT_LE(change.red, 90) << c.what;
        EXPECT_GT(change.yellow, 0) << c.what;
        EXPECT_LE(change.yellow, 180) << c.what;
        EXPECT_GT(change.green, 0) << c.what;
        EXPECT_LE(change.green, 360) << c.what;
        EXPECT_TRUE(change.greenHeld) << c.what;
        std::printf("%s: after the change red at %d s, yellow at %d s, green at %d s\n", c.what,
                    change.red, change.yellow, change.green);
    }
}

} // namespace
} // namespace zdx::usb::test
