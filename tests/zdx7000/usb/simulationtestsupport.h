// Helpers for driving the controller simulation through its USB calls: simulation files in a
// temporary folder, a steppable clock, and a host-side frame builder and parser written
// independently of the simulation's own.
#pragma once

#include "usb/simulation/simulationbackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zdx::usb::test {

using Bytes = std::vector<uint8_t>;

// A folder of its own per test, removed afterwards.
class TempFolder
{
public:
    TempFolder()
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path() /
                 ("zdxsim-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// A simulation file whose every rewrite moves its modification time forward by a second, so that a
// rewrite within one file-system tick is noticed too.
class SimulationFile
{
public:
    explicit SimulationFile(const TempFolder &folder, const std::string &name = "sim.xml")
        : m_path(folder.path() / name)
    {}
    const std::filesystem::path &path() const { return m_path; }

    void write(const std::string &text)
    {
        {
            std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
            out << text;
        }
        m_stamp += std::chrono::seconds(1);
        std::filesystem::last_write_time(m_path, m_stamp);
    }

    // Controllers inside a root element with the given attributes.
    void writeControllers(const std::string &controllers,
                          const std::string &rootAttributes = "timing=\"instant\"")
    {
        write("<ZdxSimulation " + rootAttributes + ">\n" + controllers + "</ZdxSimulation>\n");
    }

private:
    std::filesystem::path m_path;
    std::filesystem::file_time_type m_stamp = std::filesystem::file_time_type::clock::now();
};

// A clock that moves only when told to.
struct ManualClock
{
    std::chrono::microseconds now{1000000};
    SimulationBackend::Clock clock()
    {
        return [this] { return now; };
    }
    void advance(std::chrono::microseconds step) { now += step; }
};

inline std::string controllerXml(const std::string &serial, const std::string &attributes,
                                 const std::string &channels = "")
{
    return "<Controller serial=\"" + serial + "\" description=\"Unit " + serial +
           "\" vendorId=\"2E91\" productId=\"0001\" " + attributes + ">" + channels +
           "</Controller>\n";
}

inline std::string channelXml(int number, const std::string &name,
                              const std::string &attributes = "")
{
    return "<Channel number=\"" + std::to_string(number) + "\" name=\"" + name +
           "\" actual=\"250\" setpoint=\"370\" minimum=\"0\" maximum=\"600\" control=\"1\" "
           "status=\"0\" model=\"fixed\" " +
           attributes + "/>";
}

// The escaped request frame the host sends.
inline Bytes request(uint8_t command, uint8_t channel, char access, const Bytes &payload = {})
{
    Bytes plain{uint8_t(payload.size()), command, channel, uint8_t(access)};
    plain.insert(plain.end(), payload.begin(), payload.end());
    unsigned sum = 0;
    for (size_t i = 1; i < plain.size(); ++i)
        sum += plain[i];
    plain.push_back(uint8_t(sum & 0xFF));
    plain.push_back(uint8_t((sum >> 8) & 0xFF));
    Bytes wire{0xF0};
    for (uint8_t byte : plain) {
        wire.push_back(byte);
        if (byte == 0xF0)
            wire.push_back(0xF0);
    }
    return wire;
}

// One answer as the host sees it.
struct Answer
{
    bool complete = false;
    size_t noise = 0; // bytes skipped before the start mark
    uint8_t command = 0, channel = 0, access = 0;
    Bytes payload;
    bool checksumOk = false;

    int16_t int16(size_t at = 0) const
    {
        return int16_t(uint16_t(payload[at] | payload[at + 1] << 8));
    }
};

// Parses the first frame of `wire`, skipping bytes before its start mark.
inline Answer parseAnswer(const Bytes &wire)
{
    Answer answer;
    size_t at = 0;
    while (at < wire.size() && wire[at] != 0xF0)
        ++at;
    answer.noise = at;
    if (at == wire.size())
        return answer;
    ++at;
    Bytes plain;
    while (at < wire.size()) {
        uint8_t byte = wire[at++];
        if (byte == 0xF0) {
            if (at == wire.size() || wire[at] != 0xF0)
                return answer; // a start mark inside the frame
            ++at;
        }
        plain.push_back(byte);
        if (plain.size() >= 1 && plain.size() == size_t(plain[0]) + 6u)
            break;
    }
    if (plain.empty() || plain.size() != size_t(plain[0]) + 6u)
        return answer;
    answer.complete = true;
    answer.command = plain[1];
    answer.channel = plain[2];
    answer.access = plain[3];
    answer.payload.assign(plain.begin() + 4, plain.end() - 2);
    unsigned sum = 0;
    for (size_t i = 1; i < plain.size() - 2; ++i)
        sum += plain[i];
    answer.checksumOk = (sum & 0xFFFF) == unsigned(plain[plain.size() - 2] | plain.back() << 8);
    return answer;
}

// Reads until the simulation has nothing more to give (instant timing, or a read time-out of 0).
inline Bytes drain(Backend &backend, Handle handle, uint32_t wanted = 523)
{
    Bytes all;
    Bytes buffer(wanted);
    for (;;) {
        uint32_t got = 0;
        const int32_t status = backend.read(handle, buffer.data(), wanted, &got);
        if (status != Success || got == 0)
            return all;
        all.insert(all.end(), buffer.begin(), buffer.begin() + got);
    }
}

inline Bytes exchange(Backend &backend, Handle handle, const Bytes &bytes)
{
    uint32_t written = 0;
    EXPECT_EQ(backend.write(handle, bytes.data(), uint32_t(bytes.size()), &written), Success);
    EXPECT_EQ(written, bytes.size());
    return drain(backend, handle);
}

inline Handle openDevice(Backend &backend, uint32_t device = 0)
{
    Handle handle = -1;
    EXPECT_EQ(backend.open(device, &handle), Success);
    return handle;
}

inline std::string productString(Backend &backend, uint32_t device, uint32_t selector)
{
    char buffer[ProductStringSize] = {};
    if (backend.productString(device, buffer, selector) != Success)
        return "<failed>";
    return buffer;
}

} // namespace zdx::usb::test
