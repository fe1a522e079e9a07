#include "simulationbackend.h"

#include "demosimulation.h"
#include "simulationfilereader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zdx::usb {

namespace {

constexpr size_t MaxProductString = 127;
// Rate of a freshly opened port until the host sets one.
constexpr uint32_t DefaultBaudRate = 115200;

std::chrono::microseconds steadyNow()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

size_t readLimit(const SimulatedController &controller, uint32_t wanted)
{
    const int chunk = controller.config().chunk;
    return chunk > 0 ? std::min<size_t>(wanted, size_t(chunk)) : wanted;
}

void copyString(char *buffer, const std::string &text)
{
    const size_t size = std::min(text.size(), MaxProductString);
    std::memcpy(buffer, text.data(), size);
    buffer[size] = '\0';
}

// Vendor, product and serial identify a controller; equal ones are told apart by their order.
std::vector<std::string> keysOf(const SimulationConfig &config)
{
    std::vector<std::string> keys;
    std::map<std::string, int> seen;
    for (const SimulationConfig::Controller &controller : config.controllers) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04X:%04X:", controller.vendorId, controller.productId);
        const std::string base = ids + controller.serial;
        keys.push_back(base + "#" + std::to_string(seen[base]++));
    }
    return keys;
}

} // namespace

SimulationBackend::SimulationBackend(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(steadyNow))
{
    apply(DemoSimulation::config());
}

SimulationBackend::SimulationBackend(std::filesystem::path file, Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(steadyNow))
    , m_file(std::move(file))
{
    refresh();
}

SimulationBackend::~SimulationBackend() = default;

void SimulationBackend::refresh()
{
    if (m_file.empty())
        return;
    FileStamp stamp;
    std::error_code sizeError, timeError;
    stamp.size = std::filesystem::file_size(m_file, sizeError);
    stamp.modified = std::filesystem::last_write_time(m_file, timeError);
    stamp.readable = !sizeError && !timeError;
    if (!stamp.readable) {
        stamp.size = 0;
        stamp.modified = {};
    }
    if (m_stampKnown && stamp == m_stamp)
        return;
    m_stampKnown = true;
    m_stamp = stamp;

    SimulationConfig config;
    std::string error;
    if (!stamp.readable) {
        const std::error_code &why = sizeError ? sizeError : timeError;
        reportError(m_file.string() + ": cannot be read (" + why.message() + ")");
        return;
    }
    if (!SimulationFileReader::readFile(m_file, config, error)) {
        reportError(error);
        return;
    }
    m_lastError.clear();
    apply(config);
}

void SimulationBackend::reportError(const std::string &error)
{
    // Whoever edits the file (an operator unplugging a controller, a test) learns at once why it
    // was not taken, once for each change of the file; nothing above the USB layer would tell.
    std::fprintf(stderr, "zdx7000: the simulation file is not used: %s\n", error.c_str());
    m_lastError = error;
}

void SimulationBackend::apply(const SimulationConfig &config)
{
    const auto time = now();
    const std::vector<std::string> keys = keysOf(config);
    std::vector<std::unique_ptr<SimulatedController>> controllers;
    for (size_t i = 0; i < config.controllers.size(); ++i) {
        const SimulationConfig::Controller &controllerConfig = config.controllers[i];
        auto existing = std::find_if(m_controllers.begin(), m_controllers.end(),
                                     [&](const auto &c) { return c && c->key() == keys[i]; });
        if (existing != m_controllers.end()) {
            (*existing)->reconfigure(controllerConfig, config.seed, time);
            controllers.push_back(std::move(*existing));
        } else {
            controllers.push_back(std::make_unique<SimulatedController>(controllerConfig, keys[i],
                                                                        config.seed, time));
        }
        if (!controllerConfig.present)
            unplug(controllers.back().get());
    }
    for (const auto &gone : m_controllers) {
        if (gone)
            unplug(gone.get());
    }
    m_controllers = std::move(controllers);
    m_timing = config.timing;
}

void SimulationBackend::unplug(SimulatedController *controller)
{
    for (auto &[handle, session] : m_sessions) {
        if (session.controller == controller) {
            session.controller = nullptr;
            controller->resetLink();
        }
    }
}

SimulatedController *SimulationBackend::listed(uint32_t device) const
{
    uint32_t position = 0;
    for (const auto &controller : m_controllers) {
        if (!controller->config().present)
            continue;
        if (position++ == device)
            return controller.get();
    }
    return nullptr;
}

SimulationBackend::Session *SimulationBackend::session(Handle handle, int32_t &status)
{
    auto found = m_sessions.find(handle);
    if (found == m_sessions.end()) {
        status = InvalidHandle;
        return nullptr;
    }
    if (!found->second.controller) {
        // Unplugged under an open handle: the I/O fails until the host closes it.
        status = DeviceIoFailed;
        return nullptr;
    }
    status = Success;
    return &found->second;
}

uint32_t SimulationBackend::baudRate(Handle handle) const
{
    auto found = m_sessions.find(handle);
    return found == m_sessions.end() ? 0 : found->second.baudRate;
}

int32_t SimulationBackend::deviceCount(uint32_t *count)
{
    if (!count)
        return InvalidParameter;
    refresh();
    *count = uint32_t(std::count_if(m_controllers.begin(), m_controllers.end(),
                                    [](const auto &c) { return c->config().present; }));
    return Success;
}

int32_t SimulationBackend::productString(uint32_t device, char *buffer, uint32_t selector)
{
    if (!buffer)
        return InvalidParameter;
    const SimulatedController *controller = listed(device);
    if (!controller)
        return DeviceNotFound;
    const SimulationConfig::Controller &config = controller->config();
    char hex[8];
    switch (selector) {
    case SerialNumber:
        copyString(buffer, config.serial);
        return Success;
    case Description:
        copyString(buffer, config.description);
        return Success;
    case LinkName:
        if (config.linkNameFails)
            return DeviceIoFailed;
        copyString(buffer, controller->linkName());
        return Success;
    case VendorId:
        std::snprintf(hex, sizeof hex, "%04X", config.vendorId);
        copyString(buffer, hex);
        return Success;
    case ProductId:
        std::snprintf(hex, sizeof hex, "%04X", config.productId);
        copyString(buffer, hex);
        return Success;
    default:
        return InvalidParameter;
    }
}

int32_t SimulationBackend::open(uint32_t device, Handle *handle)
{
    if (!handle)
        return InvalidParameter;
    refresh();
    SimulatedController *controller = listed(device);
    if (!controller)
        return DeviceNotFound;
    for (const auto &[other, session] : m_sessions) {
        if (session.controller == controller)
            return DeviceIoFailed; // a device is open once at a time
    }
    if (++m_openAttempts[controller->key()] <= controller->config().openFailures)
        return DeviceIoFailed;
    const Handle opened = m_nextHandle++;
    m_sessions[opened] = Session{controller, DefaultBaudRate};
    controller->resetLink();
    *handle = opened;
    return Success;
}

int32_t SimulationBackend::close(Handle handle)
{
    auto found = m_sessions.find(handle);
    if (found == m_sessions.end())
        return InvalidHandle;
    if (found->second.controller)
        found->second.controller->resetLink();
    m_sessions.erase(found);
    return Success;
}

int32_t SimulationBackend::read(Handle handle, void *buffer, uint32_t wanted, uint32_t *got)
{
    if (!got || (!buffer && wanted > 0))
        return InvalidParameter;
    *got = 0;
    int32_t status = Success;
    Session *open = session(handle, status);
    if (open) {
        // Bytes already on their way are delivered without looking at the file: a transaction
        // then costs one file check (at its write), not two.
        const size_t taken = open->controller->take(static_cast<uint8_t *>(buffer),
                                                    readLimit(*open->controller, wanted), now());
        if (taken > 0) {
            *got = uint32_t(taken);
            return Success;
        }
    }
    refresh();
    open = session(handle, status);
    if (!open)
        return status;
    SimulatedController *controller = open->controller;
    const size_t limit = readLimit(*controller, wanted);
    if (limit == 0)
        return Success;

    const auto started = std::chrono::steady_clock::now();
    const auto timeout = std::chrono::milliseconds(m_readTimeoutMs);
    for (;;) {
        const auto time = now();
        const size_t taken = controller->take(static_cast<uint8_t *>(buffer), limit, time);
        if (taken > 0) {
            *got = uint32_t(taken);
            return Success;
        }
        if (m_timing == SimulationConfig::Timing::Instant)
            return ReadTimedOut;
        const auto remaining = timeout - (std::chrono::steady_clock::now() - started);
        if (remaining <= std::chrono::steady_clock::duration::zero())
            return ReadTimedOut;
        auto wait = std::chrono::duration_cast<std::chrono::microseconds>(remaining);
        if (const auto arrival = controller->nextArrival())
            wait = std::min(wait, std::max(*arrival - time, std::chrono::microseconds(100)));
        std::this_thread::sleep_for(wait);
    }
}

int32_t SimulationBackend::write(Handle handle, const void *buffer, uint32_t size,
                                 uint32_t *written)
{
    if (!written || (!buffer && size > 0))
        return InvalidParameter;
    *written = 0;
    refresh();
    int32_t status = Success;
    Session *open = session(handle, status);
    if (!open)
        return status;
    open->controller->receive(static_cast<const uint8_t *>(buffer), size, now());
    *written = size;
    return Success;
}

int32_t SimulationBackend::flush(Handle handle, uint8_t transmit, uint8_t receive)
{
    (void)transmit; // written bytes reach the controller at once; nothing waits to be sent
    int32_t status = Success;
    Session *open = session(handle, status);
    if (!open)
        return status;
    if (receive)
        open->controller->discardAnswers();
    return Success;
}

int32_t SimulationBackend::setTimeouts(uint32_t readMs, uint32_t writeMs)
{
    m_readTimeoutMs = readMs;
    m_writeTimeoutMs = writeMs;
    return Success;
}

int32_t SimulationBackend::setBaudRate(Handle handle, uint32_t baudRate)
{
    int32_t status = Success;
    Session *open = session(handle, status);
    if (!open)
        return status;
    if (baudRate == 0)
        return InvalidBaudRate;
    open->baudRate = baudRate;
    return Success;
}

} // namespace zdx::usb
