#include "simulatedcontroller.h"

#include "answerencoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zdx::usb {

namespace {

// The controller's transmit buffer: answers that do not fit are lost, as on hardware, instead of
// growing without bound when the host writes and never reads.
constexpr size_t OutCapacity = 8192;
constexpr size_t MaxQueuedAnswers = 256;
constexpr size_t MaxLinkName = 119;
constexpr uint8_t StartMark = 0xF0;
constexpr uint8_t Read = 'R';
constexpr uint8_t Write = 'W';
constexpr int BitsPerByte = 10; // start bit, eight data bits, stop bit

uint64_t hashText(const std::string &text)
{
    uint64_t h = 0xCBF29CE484222325ull; // FNV-1a
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001B3ull;
    }
    return h;
}

std::string makeLinkName(const SimulationConfig::Controller &config, const std::string &key)
{
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\\\\?\\simusb#vid_%04x&pid_%04x#", config.vendorId,
                  config.productId);
    // The key ends in "#<occurrence>", which keeps equal serials apart.
    const std::string occurrence = key.substr(key.rfind('#'));
    std::string name = prefix + config.serial + occurrence;
    if (name.size() > MaxLinkName) {
        char hashed[17];
        std::snprintf(hashed, sizeof hashed, "%016llx",
                      static_cast<unsigned long long>(hashText(config.serial)));
        name = prefix + std::string(hashed) + occurrence;
    }
    return name;
}

void putInt16(uint8_t *out, int16_t value)
{
    const uint16_t bits = uint16_t(value);
    out[0] = uint8_t(bits & 0xFF);
    out[1] = uint8_t(bits >> 8);
}

} // namespace

SimulatedController::SimulatedController(const SimulationConfig::Controller &config,
                                         std::string key, uint64_t seed, Time now)
    : m_file(config)
    , m_key(std::move(key))
    , m_linkName(makeLinkName(config, m_key))
    , m_controlMode(config.controlMode)
    , m_brightness(config.brightness)
    , m_noiseState(uint32_t(seed ^ hashText(m_key)) | 1u)
{
    for (const SimulationConfig::Channel &channel : config.channels)
        m_channels.push_back(std::make_unique<SimulatedChannel>(
            channel, seed ^ hashText(m_key) ^ uint64_t(channel.number), now));
    m_out.reserve(OutCapacity);
    m_segments.reserve(MaxQueuedAnswers);
}

void SimulatedController::reconfigure(const SimulationConfig::Controller &config, uint64_t seed,
                                      Time now)
{
    if (config.controlMode != m_file.controlMode)
        m_controlMode = config.controlMode;
    if (config.brightness != m_file.brightness)
        m_brightness = config.brightness;

    std::vector<std::unique_ptr<SimulatedChannel>> channels;
    for (const SimulationConfig::Channel &channelConfig : config.channels) {
        const uint64_t noiseSeed = seed ^ hashText(m_key) ^ uint64_t(channelConfig.number);
        auto existing = std::find_if(m_channels.begin(), m_channels.end(), [&](const auto &c) {
            return c && c->number() == channelConfig.number;
        });
        if (existing != m_channels.end()) {
            (*existing)->reconfigure(channelConfig, noiseSeed, now);
            channels.push_back(std::move(*existing));
        } else {
            channels.push_back(std::make_unique<SimulatedChannel>(channelConfig, noiseSeed, now));
        }
    }
    m_channels = std::move(channels);
    m_file = config;
}

SimulatedChannel *SimulatedController::channel(int number)
{
    for (const auto &channel : m_channels) {
        if (channel->number() == number)
            return channel.get();
    }
    return nullptr;
}

void SimulatedController::resetLink()
{
    m_parser.reset();
    discardAnswers();
}

void SimulatedController::discardAnswers()
{
    m_out.clear();
    m_outHead = 0;
    m_segments.clear();
    m_segmentHead = 0;
}

void SimulatedController::receive(const uint8_t *bytes, size_t size, Time now)
{
    for (size_t i = 0; i < size; ++i) {
        if (m_parser.feed(bytes[i]))
            answer(m_parser.wireLength(), now);
    }
}

void SimulatedController::answer(size_t requestWireBytes, Time now)
{
    if (m_file.silent)
        return;
    uint8_t payload[AnswerEncoder::MaxPayload];
    size_t length = 0;
    const bool refused = std::find(m_file.refused.begin(), m_file.refused.end(),
                                   m_parser.command()) != m_file.refused.end() ||
                         !respond(payload, length, now);
    uint8_t frame[AnswerEncoder::MaxWire];
    const size_t size = AnswerEncoder::encode(refused ? 0 : m_parser.command(), m_parser.channel(),
                                              m_parser.access(), payload, refused ? 0 : length,
                                              m_file.corrupt, frame);
    queue(frame, size, requestWireBytes, now);
}

bool SimulatedController::respond(uint8_t *payload, size_t &length, Time now)
{
    const uint8_t command = m_parser.command();
    const uint8_t access = m_parser.access();
    const uint8_t *request = m_parser.payload();
    const size_t requestLength = m_parser.payloadLength();
    const bool read = access == Read && requestLength == 0;
    auto writeOf = [&](size_t size) { return access == Write && requestLength == size; };

    if (command < 0x80) {
        // Device level: the channel byte is not looked at.
        switch (command) {
        case 0x14:
            if (!read)
                return false;
            payload[0] = m_file.deviceStatus;
            length = 1;
            return true;
        case 0x17:
        case 0x53: {
            uint8_t &value = command == 0x17 ? m_controlMode : m_brightness;
            if (writeOf(1))
                value = request[0];
            else if (!read)
                return false;
            payload[0] = value;
            length = 1;
            return true;
        }
        default:
            return false;
        }
    }

    SimulatedChannel *target = channel(m_parser.channel());
    if (!target)
        return false;
    switch (command) {
    case 0x80: {
        if (!read)
            return false;
        const std::string &name = target->name();
        const size_t size = std::min(name.size(), AnswerEncoder::MaxPayload - 1);
        std::memcpy(payload, name.data(), size);
        payload[size] = 0;
        length = size + 1;
        return true;
    }
    case 0x81:
        if (!read)
            return false;
        putInt16(payload, target->actual(now));
        length = 2;
        return true;
    case 0x83:
        if (writeOf(2))
            target->writeSetpoint(int16_t(uint16_t(request[0] | (request[1] << 8))), now);
        else if (!read)
            return false;
        putInt16(payload, target->setpoint());
        length = 2;
        return true;
    case 0x84:
        if (!read)
            return false;
        putInt16(payload, target->minimum());
        putInt16(payload + 2, target->maximum());
        length = 4;
        return true;
    case 0x85:
        if (writeOf(1))
            target->writeControl(request[0], now);
        else if (!read)
            return false;
        payload[0] = target->control();
        length = 1;
        return true;
    case 0x87:
        if (!read)
            return false;
        payload[0] = target->status();
        length = 1;
        return true;
    case 0x8C:
        if (!writeOf(0))
            return false;
        payload[0] = target->calibration();
        length = 1;
        return true;
    default:
        return false;
    }
}

void SimulatedController::queue(const uint8_t *frame, size_t size, size_t requestWireBytes,
                                Time now)
{
    const size_t noise = size_t(m_file.noise);
    if (m_out.size() - m_outHead + noise + size > OutCapacity ||
        m_segments.size() - m_segmentHead >= MaxQueuedAnswers)
        return;
    // Compact in place once everything delivered so far is gone from the front.
    if (m_outHead == m_out.size()) {
        m_out.clear();
        m_outHead = 0;
        m_segments.clear();
        m_segmentHead = 0;
    } else if (m_segments.size() == m_segments.capacity()) {
        m_segments.erase(m_segments.begin(), m_segments.begin() + long(m_segmentHead));
        m_segmentHead = 0;
    }
    if (m_out.size() + noise + size > m_out.capacity()) {
        m_out.erase(m_out.begin(), m_out.begin() + long(m_outHead));
        for (size_t i = m_segmentHead; i < m_segments.size(); ++i)
            m_segments[i].end -= m_outHead;
        m_outHead = 0;
    }

    for (size_t i = 0; i < noise; ++i) {
        uint8_t byte;
        do {
            m_noiseState = m_noiseState * 1664525u + 1013904223u;
            byte = uint8_t(m_noiseState >> 24);
        } while (byte == StartMark);
        m_out.push_back(byte);
    }
    m_out.insert(m_out.end(), frame, frame + size);

    Time readyAt = now + std::chrono::milliseconds(m_file.delayMs);
    if (m_file.wireBaud > 0) {
        const size_t bits = (requestWireBytes + noise + size) * BitsPerByte;
        readyAt += Time(int64_t(bits) * 1000000 / m_file.wireBaud);
    }
    // Answers leave in order: none overtakes the one before it.
    readyAt = std::max(readyAt, m_segments.size() > m_segmentHead ? m_lastReady : readyAt);
    m_lastReady = readyAt;
    m_segments.push_back(Segment{readyAt, m_out.size()});
}

size_t SimulatedController::take(uint8_t *out, size_t wanted, Time now)
{
    size_t end = m_outHead;
    for (size_t i = m_segmentHead; i < m_segments.size() && m_segments[i].readyAt <= now; ++i)
        end = m_segments[i].end;
    const size_t count = std::min(wanted, end - m_outHead);
    if (count == 0)
        return 0;
    std::memcpy(out, m_out.data() + m_outHead, count);
    m_outHead += count;
    while (m_segmentHead < m_segments.size() && m_segments[m_segmentHead].end <= m_outHead)
        ++m_segmentHead;
    return count;
}

std::optional<SimulatedController::Time> SimulatedController::nextArrival() const
{
    if (m_segmentHead >= m_segments.size())
        return std::nullopt;
    return m_segments[m_segmentHead].readyAt;
}

} // namespace zdx::usb
