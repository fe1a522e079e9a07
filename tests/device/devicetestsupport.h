// Shared pieces of the device layer's tests: the process's simulation file, controllers of the
// heat unit model, a clock the tests drive and a capture of the debug output.
#pragma once

#include "zdx7000/support/simulationfile.h"

#include <QStringList>

#include <ostream>
#include <string>

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace devicetest {

// One simulation file per test executable. The library reads ZDX7000_SIMULATION once, on first
// use, so test files call this from a static initialiser.
inline zdx::test::SimulationFile &simulation()
{
    static zdx::test::SimulationFile *file = [] {
        auto *f = new zdx::test::SimulationFile("tessaro-device-test");
        f->write("");
        f->useFromEnvironment();
        return f;
    }();
    return *file;
}

using zdx::test::channel; // fixed values: actual 250, setpoint 370, range 0..600, loop on

inline std::string controller(const std::string &serial, const std::string &description,
                              const std::string &productId, const std::string &channels,
                              const std::string &attributes = "")
{
    return "<Controller serial=\"" + serial + "\" description=\"" + description +
           "\" vendorId=\"2E91\" productId=\"" + productId + "\" " + attributes + ">" + channels +
           "</Controller>\n";
}

inline std::string heatUnit(const std::string &serial, const std::string &attributes = "",
                            const std::string &channels = channel(1, "Stage") + channel(2, "Lid"))
{
    return controller(serial, "Heat Unit H2", "0001", channels, attributes);
}

// The simulation counts opens per serial for the life of the process: tests that depend on that
// count never share a serial.
inline std::string freshHeatSerial()
{
    static int next = 0;
    return "150T" + std::to_string(next++);
}

struct ManualClock
{
    qint64 now = 0;
    auto function()
    {
        return [this] { return now; };
    }
};

// Collects the messages written while it lives, keeping them out of the test output.
class MessageCapture
{
public:
    MessageCapture()
        : m_previous(qInstallMessageHandler(&handler))
    {
        s_current = this;
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    int count(const QString &part) const { return m_messages.filter(part).size(); }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &text)
    {
        if (s_current)
            s_current->m_messages << text;
    }
    QStringList m_messages;
    QtMessageHandler m_previous;
    static inline MessageCapture *s_current = nullptr;
};

} // namespace devicetest
