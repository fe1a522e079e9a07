// zdxtool: lists the controllers and reads and writes their values through the exported functions
// only. It is the library's smoke test for people and scripts; values are the controllers' raw
// signed 16-bit numbers (the library knows no units or scales).
#include "zdx7000/usb/backendchoice.h"
#include "zdx7000/zdx7000.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int MaxChannels = 8; // the channels the application probes

const char *resultText(int32_t code)
{
    switch (code) {
    case ZDX_SUCCESS:
        return "Operation succeeded";
    case ZDX_FAILED:
        return "Function call failed";
    case ZDX_ILLEGAL_HANDLE:
        return "Illegal device handle";
    case ZDX_ILLEGAL_PARAMETER:
        return "Illegal Parameter";
    case ZDX_NULL_POINTER:
        return "Pointer must not be null";
    case ZDX_TOO_MANY_DEVICES:
        return "Too many devices";
    case ZDX_SEND_FAILED:
        return "Sending data failed";
    case ZDX_RECEIVE_FAILED:
        return "Receiving data failed";
    case ZDX_NOT_SUPPORTED:
        return "Operation not supported";
    case ZDX_OPERATION_FAILURE:
        return "Operation failure detected";
    case ZDX_BUFFER_TOO_SMALL:
        return "Buffer size too small";
    default:
        return "Unknown error";
    }
}

struct Controller
{
    std::string serial;
    std::string description;
    uint32_t vendorId = 0;
    uint32_t productId = 0;
    int32_t handle = 0;
    std::string accessProblem; // why it cannot be opened, as the library knows it
};

// Which controllers the library talks to: the same variable chooses for the library.
void sayBackend()
{
    const char *variable = std::getenv(zdx::usb::SimulationVariable);
    switch (zdx::usb::chosenBackendKind()) {
    case zdx::usb::BackendKind::Usb:
        std::fprintf(stderr, "zdxtool: controllers on USB (ZDX7000_SIMULATION=demo chooses the "
                             "demonstration controllers, a file name a simulation)\n");
        break;
    case zdx::usb::BackendKind::Demonstration:
        std::fprintf(stderr, "zdxtool: the built-in demonstration controllers "
                             "(ZDX7000_SIMULATION=demo)\n");
        break;
    case zdx::usb::BackendKind::SimulationFile:
        std::fprintf(stderr,
                     "zdxtool: the controllers of the simulation file %s "
                     "(ZDX7000_SIMULATION)\n",
                     variable);
        break;
    }
}

// Enumerates, copying the strings at once: they live only until ZdxEnumFree. With `open`, opens
// each controller too.
std::vector<Controller> scan(bool open)
{
    std::vector<Controller> result;
    if (const int32_t code = ZdxEnumReset(); code != ZDX_SUCCESS) {
        // Not "no controller": the USB library itself is missing or unusable.
        std::fprintf(stderr, "zdxtool: cannot enumerate: %s (%d); is the USB driver installed?\n",
                     resultText(code), code);
        return result;
    }
    ZdxDeviceInfo info{};
    while (ZdxEnumNext(&info) == ZDX_SUCCESS) {
        Controller c;
        c.serial = info.serialNumber;
        c.description = info.description;
        ZdxEnumGetData(&info, ZDX_DATA_VENDOR_ID, &c.vendorId, sizeof(c.vendorId));
        ZdxEnumGetData(&info, ZDX_DATA_PRODUCT_ID, &c.productId, sizeof(c.productId));
        char problem[256] = {};
        if (ZdxEnumGetData(&info, ZDX_DATA_ACCESS_PROBLEM, reinterpret_cast<uint32_t *>(problem),
                           sizeof problem) == ZDX_SUCCESS)
            c.accessProblem = problem;
        if (open) {
            const int32_t code = ZdxOpen(&info, &c.handle);
            if (code != ZDX_SUCCESS) {
                std::fprintf(stderr, "%s: open failed: %s (%d)%s%s\n", c.serial.c_str(),
                             resultText(code), code, c.accessProblem.empty() ? "" : ": ",
                             c.accessProblem.c_str());
                c.handle = 0;
            }
        }
        result.push_back(c);
    }
    ZdxEnumFree();
    return result;
}

void closeAll(const std::vector<Controller> &controllers)
{
    for (const Controller &c : controllers) {
        if (c.handle)
            ZdxClose(c.handle);
    }
}

int check(int32_t code, const char *what)
{
    if (code != ZDX_SUCCESS) {
        std::fprintf(stderr, "%s: %s (%d)\n", what, resultText(code), code);
        return 1;
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: zdxtool list\n"
                         "       zdxtool read SERIAL [CHANNEL]\n"
                         "       zdxtool write SERIAL device controlmode|brightness VALUE\n"
                         "       zdxtool write SERIAL CHANNEL setpoint|loop VALUE\n"
                         "       zdxtool calibrate SERIAL CHANNEL\n"
                         "       zdxtool watch [-n COUNT] [-i INTERVAL_MS]\n");
    return 2;
}

bool parseInt(const char *text, long minimum, long maximum, long *value)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 0);
    if (!*text || *end || v < minimum || v > maximum)
        return false;
    *value = v;
    return true;
}

int cmdList()
{
    const std::vector<Controller> controllers = scan(false);
    for (const Controller &c : controllers)
        std::printf("%-16s %-24s %04X %04X\n", c.serial.c_str(), c.description.c_str(), c.vendorId,
                    c.productId);
    if (controllers.empty())
        std::printf("no controllers\n");
    for (const Controller &c : controllers) {
        if (!c.accessProblem.empty())
            std::fprintf(stderr, "%s: %s\n", c.serial.c_str(), c.accessProblem.c_str());
    }
    return 0;
}

// A value as read, or "-" when the controller did not deliver it: a number shown must be true.
std::string shown(bool read, long value)
{
    return read ? std::to_string(value) : "-";
}

std::string shownHex(bool read, uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return read ? text : "-";
}

// Prints one channel's values on one line; false when the channel does not answer its name.
bool printChannel(int32_t handle, int channel)
{
    char name[64] = {};
    if (ZdxGetComponentName(handle, channel, name, sizeof(name)) != ZDX_SUCCESS)
        return false;
    int16_t actual = 0, setpoint = 0, minimum = 0, maximum = 0;
    uint8_t loop = 0, status = 0;
    const bool actualRead = ZdxGetActualValue(handle, channel, &actual) == ZDX_SUCCESS;
    const bool setpointRead = ZdxGetSetpointValue(handle, channel, &setpoint) == ZDX_SUCCESS;
    const bool rangeRead =
        ZdxGetSetpointValueRange(handle, channel, &minimum, &maximum) == ZDX_SUCCESS;
    const bool loopRead = ZdxGetLoopControl(handle, channel, &loop) == ZDX_SUCCESS;
    const bool statusRead = ZdxGetChannelStatus(handle, channel, &status) == ZDX_SUCCESS;
    std::printf("  %d %-20s actual %6s setpoint %6s range %s..%s loop %-3s status %s\n", channel,
                name, shown(actualRead, actual).c_str(), shown(setpointRead, setpoint).c_str(),
                shown(rangeRead, minimum).c_str(), shown(rangeRead, maximum).c_str(),
                loopRead ? (loop ? "on" : "off") : "-", shownHex(statusRead, status).c_str());
    return true;
}

Controller *find(std::vector<Controller> &controllers, const char *serial)
{
    for (Controller &c : controllers) {
        if (c.serial == serial && c.handle)
            return &c;
    }
    std::fprintf(stderr, "no controller %s\n", serial);
    return nullptr;
}

int cmdRead(int argc, char **argv)
{
    if (argc < 1)
        return usage();
    std::vector<Controller> controllers = scan(true);
    int rc = 1;
    if (Controller *c = find(controllers, argv[0])) {
        rc = 0;
        if (argc >= 2) {
            long channel = 0;
            if (!parseInt(argv[1], 1, 255, &channel) || !printChannel(c->handle, int(channel))) {
                std::fprintf(stderr, "channel %s does not answer\n", argv[1]);
                rc = 1;
            }
        } else {
            uint8_t status = 0, mode = 0, brightness = 0;
            const int32_t statusCode = ZdxGetDeviceStatus(c->handle, &status);
            rc |= check(statusCode, "device status");
            const bool modeRead = ZdxGetControlMode(c->handle, &mode) == ZDX_SUCCESS;
            const bool brightnessRead =
                ZdxGetExternalIlluminationBrightness(c->handle, &brightness) == ZDX_SUCCESS;
            std::printf("%s %s status %s controlmode %s brightness %s\n", c->serial.c_str(),
                        c->description.c_str(), shownHex(statusCode == ZDX_SUCCESS, status).c_str(),
                        shown(modeRead, mode).c_str(), shown(brightnessRead, brightness).c_str());
            for (int channel = 1; channel <= MaxChannels; ++channel)
                printChannel(c->handle, channel);
        }
    }
    closeAll(controllers);
    return rc;
}

int cmdWrite(int argc, char **argv)
{
    if (argc < 4)
        return usage();
    std::vector<Controller> controllers = scan(true);
    int rc = 1;
    if (Controller *c = find(controllers, argv[0])) {
        const std::string target = argv[1], what = argv[2];
        long value = 0, channel = 0;
        if (target == "device" && (what == "controlmode" || what == "brightness") &&
            parseInt(argv[3], 0, 255, &value)) {
            uint8_t v = static_cast<uint8_t>(value);
            rc = check(what == "controlmode" ? ZdxSetControlMode(c->handle, &v)
                                             : ZdxSetExternalIlluminationBrightness(c->handle, &v),
                       what.c_str());
            if (rc == 0)
                std::printf("%s now %u\n", what.c_str(), v);
        } else if (parseInt(argv[1], 1, 255, &channel) && what == "setpoint" &&
                   parseInt(argv[3], -32768, 32767, &value)) {
            int16_t v = static_cast<int16_t>(value);
            rc = check(ZdxSetSetpointValue(c->handle, int32_t(channel), &v), "setpoint");
            if (rc == 0)
                std::printf("setpoint now %d\n", v);
        } else if (parseInt(argv[1], 1, 255, &channel) && what == "loop" &&
                   parseInt(argv[3], 0, 1, &value)) {
            uint8_t v = static_cast<uint8_t>(value);
            rc = check(ZdxSetLoopControl(c->handle, int32_t(channel), &v), "loop");
            if (rc == 0)
                std::printf("loop now %s\n", v ? "on" : "off");
        } else {
            rc = usage();
        }
    }
    closeAll(controllers);
    return rc;
}

int cmdCalibrate(int argc, char **argv)
{
    long channel = 0;
    if (argc < 2 || !parseInt(argv[1], 1, 255, &channel))
        return usage();
    std::vector<Controller> controllers = scan(true);
    int rc = 1;
    if (Controller *c = find(controllers, argv[0])) {
        uint8_t result = 0;
        rc = check(ZdxCalibrateSensor(c->handle, int32_t(channel), &result), "calibrate");
        if (rc == 0)
            std::printf("calibration result %u\n", result);
    }
    closeAll(controllers);
    return rc;
}

int cmdWatch(int argc, char **argv)
{
    long count = -1, interval = 1000;
    for (int i = 0; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "-n") && parseInt(argv[i + 1], 1, 1000000000, &count))
            continue;
        if (!std::strcmp(argv[i], "-i") && parseInt(argv[i + 1], 10, 3600000, &interval))
            continue;
        return usage();
    }
    if (argc % 2)
        return usage();
    std::vector<Controller> controllers = scan(true);
    for (long n = 0; count < 0 || n < count; ++n) {
        if (n > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(interval));
        std::printf("-- %ld\n", n + 1);
        for (const Controller &c : controllers) {
            if (!c.handle)
                continue;
            std::printf("%s %s\n", c.serial.c_str(), c.description.c_str());
            for (int channel = 1; channel <= MaxChannels; ++channel)
                printChannel(c.handle, channel);
        }
        if (controllers.empty())
            std::printf("no controllers\n");
        std::fflush(stdout);
    }
    closeAll(controllers);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    sayBackend();
    if (command == "list")
        return cmdList();
    if (command == "read")
        return cmdRead(argc - 2, argv + 2);
    if (command == "write")
        return cmdWrite(argc - 2, argv + 2);
    if (command == "calibrate")
        return cmdCalibrate(argc - 2, argv + 2);
    if (command == "watch")
        return cmdWatch(argc - 2, argv + 2);
    return usage();
}
