// One simulated controller: its device values and channels, the request parser of its USB side and
// the queue of answer bytes waiting for the host. Faults of the file shape what it sends.
#pragma once

#include "requestparser.h"
#include "simulatedchannel.h"
#include "simulationconfig.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zdx::usb {

class SimulatedController
{
public:
    using Time = std::chrono::microseconds;

    SimulatedController(const SimulationConfig::Controller &config, std::string key, uint64_t seed,
                        Time now);

    // Takes a re-read file; see SimulatedChannel::reconfigure for what survives. Channels the file
    // no longer lists are gone; new ones start from the file.
    void reconfigure(const SimulationConfig::Controller &config, uint64_t seed, Time now);

    // Identity across re-reads of the file: vendor, product, serial and which of several equal
    // ones this is.
    const std::string &key() const { return m_key; }
    const SimulationConfig::Controller &config() const { return m_file; }
    // Device path as the USB layer reports it; unique per controller, at most 119 characters.
    const std::string &linkName() const { return m_linkName; }

    uint8_t controlMode() const { return m_controlMode; }
    uint8_t brightness() const { return m_brightness; }
    SimulatedChannel *channel(int number);

    // A session is one open handle; opening and closing start with empty buffers.
    void resetLink();

    // Bytes from the host. Every complete, valid request queues its answer.
    void receive(const uint8_t *bytes, size_t size, Time now);
    // Copies answer bytes that have arrived by `now`, at most `wanted`.
    size_t take(uint8_t *out, size_t wanted, Time now);
    // When the next answer byte becomes readable; empty when nothing is queued.
    std::optional<Time> nextArrival() const;
    void discardAnswers();

private:
    struct Segment
    {
        Time readyAt;
        size_t end; // offset in m_out just past this answer
    };

    void answer(size_t requestWireBytes, Time now);
    bool respond(uint8_t *payload, size_t &length, Time now);
    void queue(const uint8_t *frame, size_t size, size_t requestWireBytes, Time now);

    SimulationConfig::Controller m_file; // as last read from the file
    std::string m_key;
    std::string m_linkName;
    uint8_t m_controlMode;
    uint8_t m_brightness;
    std::vector<std::unique_ptr<SimulatedChannel>> m_channels;

    RequestParser m_parser;
    // Answer bytes in order; m_outHead is the next byte to deliver. Capacity is reserved once so
    // that a transaction does not allocate.
    std::vector<uint8_t> m_out;
    size_t m_outHead = 0;
    std::vector<Segment> m_segments;
    size_t m_segmentHead = 0;
    Time m_lastReady{0};
    uint32_t m_noiseState;
};

} // namespace zdx::usb
