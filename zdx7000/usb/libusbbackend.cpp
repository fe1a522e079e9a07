#include "libusbbackend.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace zdx::usb {

namespace {

constexpr size_t MaxProductString = 127;
constexpr uint8_t VendorSpecificClass = 0xFF;
// Rate of a freshly opened port until the host sets one. USB bulk pipes have no baud rate: the
// value is kept for the caller's sake and changes nothing on the wire.
constexpr uint32_t DefaultBaudRate = 115200;
// A flush waits this long per packet for bytes a controller may still hold from an exchange that
// did not end cleanly (an answer later than the read time-out).
constexpr unsigned DrainTimeoutMs = 1;
constexpr int MaxDrainPackets = 16;
constexpr char UdevRule[] = "70-tessaro.rules";

void copyString(char *buffer, const std::string &text, size_t limit)
{
    const size_t size = std::min(text.size(), limit);
    std::memcpy(buffer, text.data(), size);
    buffer[size] = '\0';
}

std::string portPath(libusb_device *device)
{
    uint8_t ports[8] = {};
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    std::string path = std::to_string(libusb_get_bus_number(device));
    for (int i = 0; i < depth; ++i)
        path += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    return path;
}

std::string deviceNode(libusb_device *device)
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u",
                  unsigned(libusb_get_bus_number(device)),
                  unsigned(libusb_get_device_address(device)));
    return node;
}

// The kernel's copy of a string descriptor, readable without opening the device; empty where
// there is none (or off Linux).
std::string kernelString(const std::string &portPath, const char *attribute)
{
#if defined(__linux__)
    std::ifstream file("/sys/bus/usb/devices/" + portPath + "/" + attribute);
    std::string text;
    std::getline(file, text);
    return text.substr(0, MaxProductString);
#else
    (void)portPath;
    (void)attribute;
    return {};
#endif
}

std::string stringDescriptor(libusb_device_handle *handle, uint8_t index)
{
    if (index == 0)
        return {};
    unsigned char text[MaxProductString + 1] = {};
    const int length = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return length > 0 ? std::string(reinterpret_cast<const char *>(text), size_t(length)) : "";
}

std::string permissionProblem(libusb_device *device)
{
    return "no permission to open the controller's device node " + deviceNode(device) +
           ": install " + UdevRule + " from contrib/udev as /etc/udev/rules.d/" + UdevRule +
           ", then unplug the controller and plug it in again";
}

int32_t failure(int code, int32_t otherwise)
{
    return code == LIBUSB_ERROR_NO_DEVICE ? DeviceNotFound : otherwise;
}

} // namespace

struct LibusbBackend::Attached
{
    explicit Attached(libusb_device *d)
        : device(libusb_ref_device(d))
    {}
    ~Attached() { libusb_unref_device(device); }
    Attached(const Attached &) = delete;
    Attached &operator=(const Attached &) = delete;

    libusb_device *device; // a reference is held while the device is listed
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t descriptionIndex = 0;
    uint8_t serialIndex = 0;
    std::string portPath; // "1-1.4": bus, then the port on each hub down to the device
    std::string linkName;
    std::string description;
    std::string serialNumber;
    std::string problem;
    bool stringsRead = false;
};

struct LibusbBackend::Session
{
    libusb_device_handle *handle = nullptr;
    int interface = -1;
    bool driverDetached = false;
    uint8_t in = 0;
    uint8_t out = 0;
    // One packet of the IN endpoint: a transfer of exactly one packet can never overflow, and
    // ends with the packet instead of waiting for a short one.
    std::vector<uint8_t> packet;
    size_t head = 0;
    size_t end = 0;
    // A request went out whose answer was not (completely) read: the controller may still hold
    // bytes of it, which the next flush drains.
    bool unsettled = true;
    uint32_t baudRate = DefaultBaudRate;
};

LibusbBackend::LibusbBackend() = default;

LibusbBackend::~LibusbBackend()
{
    for (auto &[handle, session] : m_sessions)
        endSession(*session);
    m_sessions.clear();
    m_attached.clear();
    if (m_context)
        libusb_exit(m_context);
}

bool LibusbBackend::ensureContext()
{
    if (m_context)
        return true;
    const int result = libusb_init(&m_context);
    if (result == LIBUSB_SUCCESS)
        return true;
    m_context = nullptr;
    if (!m_contextFailed) {
        // Said once: the device manager asks every second.
        std::fprintf(stderr, "zdx7000: USB cannot be used: %s\n", libusb_strerror(result));
        m_contextFailed = true;
    }
    return false;
}

void LibusbBackend::readStrings(Attached &attached)
{
    ++m_stringReads;
    libusb_device_handle *handle = nullptr;
    const int result = libusb_open(attached.device, &handle);
    if (result == LIBUSB_SUCCESS) {
        attached.description = stringDescriptor(handle, attached.descriptionIndex);
        attached.serialNumber = stringDescriptor(handle, attached.serialIndex);
        libusb_close(handle);
        attached.problem.clear();
        attached.stringsRead = true;
        return;
    }
    // Listed all the same, with the kernel's copies of its strings, so that the program can
    // say which controller it cannot reach; tried again at the next count.
    attached.description = kernelString(attached.portPath, "product");
    attached.serialNumber = kernelString(attached.portPath, "serial");
    attached.problem = result == LIBUSB_ERROR_ACCESS ? permissionProblem(attached.device) : "";
}

int32_t LibusbBackend::deviceCount(uint32_t *count)
{
    if (!count)
        return InvalidParameter;
    *count = 0;
    if (!ensureContext())
        return DeviceNotFound;
    libusb_device **list = nullptr;
    const ssize_t listed = libusb_get_device_list(m_context, &list);
    if (listed < 0)
        return DeviceNotFound;

    std::vector<std::unique_ptr<Attached>> attached;
    for (ssize_t i = 0; i < listed; ++i) {
        // The descriptor is the one the system read at attachment: nothing is sent to a device,
        // and a keyboard or a hub is never opened.
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS ||
            descriptor.idVendor != ControllerVendorId)
            continue;
        auto known = std::find_if(m_attached.begin(), m_attached.end(),
                                  [&](const auto &a) { return a && a->device == list[i]; });
        if (known != m_attached.end()) {
            attached.push_back(std::move(*known));
            if (!attached.back()->stringsRead)
                readStrings(*attached.back());
            continue;
        }
        auto entry = std::make_unique<Attached>(list[i]);
        entry->vendorId = descriptor.idVendor;
        entry->productId = descriptor.idProduct;
        entry->descriptionIndex = descriptor.iProduct;
        entry->serialIndex = descriptor.iSerialNumber;
        entry->portPath = portPath(list[i]);
        entry->linkName = "usb:" + entry->portPath;
        readStrings(*entry);
        attached.push_back(std::move(entry));
    }
    libusb_free_device_list(list, 1);
    // The order of the ports, not of attachment: device numbers do not depend on plugging history.
    std::sort(attached.begin(), attached.end(),
              [](const auto &a, const auto &b) { return a->linkName < b->linkName; });
    m_attached = std::move(attached);
    *count = uint32_t(m_attached.size());
    return Success;
}

int32_t LibusbBackend::productString(uint32_t device, char *buffer, uint32_t selector)
{
    if (!buffer)
        return InvalidParameter;
    if (device >= m_attached.size())
        return DeviceNotFound;
    const Attached &attached = *m_attached[device];
    char hex[8];
    switch (selector) {
    case SerialNumber:
        copyString(buffer, attached.serialNumber, MaxProductString);
        return Success;
    case Description:
        copyString(buffer, attached.description, MaxProductString);
        return Success;
    case LinkName:
        copyString(buffer, attached.linkName, MaxProductString);
        return Success;
    case VendorId:
    case ProductId:
        std::snprintf(hex, sizeof hex, "%04X",
                      unsigned(selector == VendorId ? attached.vendorId : attached.productId));
        copyString(buffer, hex, MaxProductString);
        return Success;
    default:
        return InvalidParameter;
    }
}

int32_t LibusbBackend::accessProblem(uint32_t device, char *buffer)
{
    if (!buffer)
        return InvalidParameter;
    if (device >= m_attached.size())
        return DeviceNotFound;
    copyString(buffer, m_attached[device]->problem, ProductStringSize - 1);
    return Success;
}

int32_t LibusbBackend::open(uint32_t device, Handle *handle)
{
    if (!handle)
        return InvalidParameter;
    if (device >= m_attached.size())
        return DeviceNotFound;
    Attached &attached = *m_attached[device];

    // The controller's vendor interface and its bulk endpoints, from the descriptors the system
    // keeps.
    libusb_config_descriptor *config = nullptr;
    if (libusb_get_active_config_descriptor(attached.device, &config) != LIBUSB_SUCCESS)
        return DeviceIoFailed;
    auto session = std::make_unique<Session>();
    int fallbackInterface = -1;
    uint8_t fallbackIn = 0, fallbackOut = 0;
    for (int i = 0; i < config->bNumInterfaces && session->interface < 0; ++i) {
        if (config->interface[i].num_altsetting < 1)
            continue;
        const libusb_interface_descriptor &setting = config->interface[i].altsetting[0];
        uint8_t in = 0, out = 0;
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
            if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
                continue;
            if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) {
                if (!in) {
                    in = endpoint.bEndpointAddress;
                    session->packet.resize(std::max<size_t>(endpoint.wMaxPacketSize & 0x7FF, 1));
                }
            } else if (!out) {
                out = endpoint.bEndpointAddress;
            }
        }
        if (!in || !out)
            continue;
        if (setting.bInterfaceClass == VendorSpecificClass) {
            session->interface = setting.bInterfaceNumber;
            session->in = in;
            session->out = out;
        } else if (fallbackInterface < 0) {
            fallbackInterface = setting.bInterfaceNumber;
            fallbackIn = in;
            fallbackOut = out;
        }
    }
    libusb_free_config_descriptor(config);
    if (session->interface < 0) {
        session->interface = fallbackInterface;
        session->in = fallbackIn;
        session->out = fallbackOut;
    }
    if (session->interface < 0)
        return NotSupported;

    int result = libusb_open(attached.device, &session->handle);
    if (result == LIBUSB_ERROR_ACCESS)
        attached.problem = permissionProblem(attached.device);
    if (result != LIBUSB_SUCCESS)
        return failure(result, DeviceIoFailed);
    if (libusb_kernel_driver_active(session->handle, session->interface) == 1) {
        if (libusb_detach_kernel_driver(session->handle, session->interface) == LIBUSB_SUCCESS)
            session->driverDetached = true;
    }
    result = libusb_claim_interface(session->handle, session->interface);
    if (result != LIBUSB_SUCCESS) {
        // Claimed by another program, or gone.
        session->interface = -1;
        endSession(*session);
        return failure(result, DeviceIoFailed);
    }
    const Handle opened = m_nextHandle++;
    m_sessions.emplace(opened, std::move(session));
    *handle = opened;
    return Success;
}

void LibusbBackend::endSession(Session &session)
{
    if (!session.handle)
        return;
    if (session.interface >= 0)
        libusb_release_interface(session.handle, session.interface);
    if (session.driverDetached)
        libusb_attach_kernel_driver(session.handle, session.interface);
    libusb_close(session.handle);
    session.handle = nullptr;
}

LibusbBackend::Session *LibusbBackend::session(Handle handle)
{
    auto found = m_sessions.find(handle);
    return found == m_sessions.end() ? nullptr : found->second.get();
}

int32_t LibusbBackend::close(Handle handle)
{
    auto found = m_sessions.find(handle);
    if (found == m_sessions.end())
        return InvalidHandle;
    endSession(*found->second);
    m_sessions.erase(found);
    return Success;
}

int32_t LibusbBackend::read(Handle handle, void *buffer, uint32_t wanted, uint32_t *got)
{
    if (!got || (!buffer && wanted > 0))
        return InvalidParameter;
    *got = 0;
    Session *open = session(handle);
    if (!open)
        return InvalidHandle;
    if (wanted == 0)
        return Success;
    if (open->head == open->end) {
        int transferred = 0;
        const int result =
            libusb_bulk_transfer(open->handle, open->in, open->packet.data(),
                                 int(open->packet.size()), &transferred, m_readTimeoutMs);
        if (transferred <= 0) {
            open->unsettled = true;
            // A zero-length packet carries nothing either: the same as no answer yet.
            if (result == LIBUSB_SUCCESS || result == LIBUSB_ERROR_TIMEOUT)
                return ReadTimedOut;
            if (result == LIBUSB_ERROR_PIPE)
                libusb_clear_halt(open->handle, open->in);
            // Unplugged (LIBUSB_ERROR_NO_DEVICE) or broken: a failure, never a time-out, so that
            // the receive cycle ends at once.
            return ReadError;
        }
        open->head = 0;
        open->end = size_t(transferred);
    }
    const size_t taken = std::min<size_t>(wanted, open->end - open->head);
    std::memcpy(buffer, open->packet.data() + open->head, taken);
    open->head += taken;
    open->unsettled = false;
    *got = uint32_t(taken);
    return Success;
}

int32_t LibusbBackend::write(Handle handle, const void *buffer, uint32_t size, uint32_t *written)
{
    if (!written || (!buffer && size > 0))
        return InvalidParameter;
    *written = 0;
    Session *open = session(handle);
    if (!open)
        return InvalidHandle;
    if (size == 0)
        return Success;
    open->unsettled = true;
    int transferred = 0;
    // libusb does not write through the pointer of an OUT transfer.
    const int result = libusb_bulk_transfer(
        open->handle, open->out, static_cast<unsigned char *>(const_cast<void *>(buffer)),
        int(size), &transferred, m_writeTimeoutMs);
    *written = uint32_t(std::max(transferred, 0));
    if (result == LIBUSB_SUCCESS)
        return Success;
    if (result == LIBUSB_ERROR_TIMEOUT)
        return WriteTimedOut;
    if (result == LIBUSB_ERROR_PIPE)
        libusb_clear_halt(open->handle, open->out);
    return WriteError;
}

int32_t LibusbBackend::flush(Handle handle, uint8_t transmit, uint8_t receive)
{
    (void)transmit; // a bulk OUT transfer is complete when write returns: nothing waits to be sent
    Session *open = session(handle);
    if (!open)
        return InvalidHandle;
    if (!receive)
        return Success;
    open->head = open->end = 0;
    if (!open->unsettled)
        return Success;
    for (int i = 0; i < MaxDrainPackets; ++i) {
        int transferred = 0;
        const int result =
            libusb_bulk_transfer(open->handle, open->in, open->packet.data(),
                                 int(open->packet.size()), &transferred, DrainTimeoutMs);
        if (result == LIBUSB_ERROR_NO_DEVICE)
            return FlushError;
        if (transferred <= 0)
            break;
    }
    open->unsettled = false;
    return Success;
}

int32_t LibusbBackend::setTimeouts(uint32_t readMs, uint32_t writeMs)
{
    m_readTimeoutMs = readMs;
    m_writeTimeoutMs = writeMs;
    return Success;
}

int32_t LibusbBackend::setBaudRate(Handle handle, uint32_t baudRate)
{
    Session *open = session(handle);
    if (!open)
        return InvalidHandle;
    if (baudRate == 0)
        return InvalidBaudRate;
    open->baudRate = baudRate;
    return Success;
}

} // namespace zdx::usb
