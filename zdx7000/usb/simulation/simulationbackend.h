// The USB backend that simulates controllers: from a simulation file that it re-reads whenever the
// file changes, or from the built-in demonstration. It answers the wire protocol byte for byte and
// reproduces the faults the file asks for. Single-threaded, like the library above it.
#pragma once

#include "../usbapi.h"
#include "simulatedcontroller.h"
#include "simulationconfig.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zdx::usb {

class SimulationBackend : public Backend
{
public:
    // The time base of the models and of answer delays. Tests pass their own to step time without
    // sleeping; the default is the steady clock. Time-outs of realtime reads are always waited out
    // in real time.
    using Clock = std::function<std::chrono::microseconds()>;

    // The built-in demonstration controllers.
    explicit SimulationBackend(Clock clock = {});
    // The controllers of a simulation file. A file that cannot be read leaves no controllers and
    // says why in lastError().
    explicit SimulationBackend(std::filesystem::path file, Clock clock = {});
    ~SimulationBackend() override;

    int32_t deviceCount(uint32_t *count) override;
    int32_t productString(uint32_t device, char *buffer, uint32_t selector) override;
    int32_t open(uint32_t device, Handle *handle) override;
    int32_t close(Handle handle) override;
    int32_t read(Handle handle, void *buffer, uint32_t wanted, uint32_t *got) override;
    int32_t write(Handle handle, const void *buffer, uint32_t size, uint32_t *written) override;
    int32_t flush(Handle handle, uint8_t transmit, uint8_t receive) override;
    int32_t setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int32_t setBaudRate(Handle handle, uint32_t baudRate) override;

    // Re-reads the file when its modification time or size changed. The calls do this on their
    // own (device count, open, read, write); product strings do not, so that the device numbers
    // of one enumeration stay put.
    void refresh();
    // Why the last read of the file failed; empty after a good read. The controllers of the last
    // good read stay in place meanwhile.
    const std::string &lastError() const { return m_lastError; }

    uint32_t readTimeoutMs() const { return m_readTimeoutMs; }
    uint32_t writeTimeoutMs() const { return m_writeTimeoutMs; }
    // The rate last set on an open handle; 0 for an unknown handle.
    uint32_t baudRate(Handle handle) const;

private:
    struct Session
    {
        SimulatedController *controller; // null once the controller was unplugged
        uint32_t baudRate;
    };
    struct FileStamp
    {
        bool readable = false;
        std::filesystem::file_time_type modified{};
        uintmax_t size = 0;
        bool operator==(const FileStamp &other) const
        {
            return readable == other.readable && modified == other.modified && size == other.size;
        }
    };

    void apply(const SimulationConfig &config);
    // Keeps the reason in lastError() and says it on standard error.
    void reportError(const std::string &error);
    void unplug(SimulatedController *controller);
    SimulatedController *listed(uint32_t device) const;
    // The session of an open handle, or a failure status in `status`.
    Session *session(Handle handle, int32_t &status);
    std::chrono::microseconds now() const { return m_clock(); }

    Clock m_clock;
    std::filesystem::path m_file; // empty for the demonstration
    bool m_stampKnown = false;
    FileStamp m_stamp;
    std::string m_lastError;

    SimulationConfig::Timing m_timing = SimulationConfig::Timing::Realtime;
    // In file order, unplugged ones included; an unplugged controller keeps its values.
    std::vector<std::unique_ptr<SimulatedController>> m_controllers;
    // Open attempts per controller key, kept across re-reads so that openFailures counts once.
    std::map<std::string, int> m_openAttempts;
    std::map<Handle, Session> m_sessions;
    // Handles are never reused, so that a stale handle cannot reach a newer session.
    Handle m_nextHandle = 1;
    uint32_t m_readTimeoutMs = 2500;
    uint32_t m_writeTimeoutMs = 2500;
};

} // namespace zdx::usb
