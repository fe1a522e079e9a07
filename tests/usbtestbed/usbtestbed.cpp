#include "usbtestbed.h"

#include "usb/simulation/simulatedcontroller.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace zdx::test {

namespace {

constexpr char UmockdevPreload[] = "libumockdev-preload.so.0";
constexpr char Manufacturer[] = "Varon";
constexpr uint8_t OutEndpoint = 0x01;
constexpr uint8_t InEndpoint = 0x81;

std::chrono::microseconds steadyNow()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

std::string hexOf(const std::vector<uint8_t> &bytes)
{
    std::string text;
    char pair[3];
    for (uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

// The device descriptor, then the configuration with one vendor-specific interface and its bulk
// OUT and IN endpoints of 64 bytes, as the kernel's sysfs "descriptors" file holds them.
std::vector<uint8_t> descriptors(uint16_t vendorId, uint16_t productId)
{
    return {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, uint8_t(vendorId),
            uint8_t(vendorId >> 8), uint8_t(productId), uint8_t(productId >> 8), 0x00, 0x01, 0x01,
            0x02, 0x03, 0x01,
            // configuration: 32 bytes in all, one interface, bus-powered, 100 mA
            0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
            // interface 0: two endpoints, class 0xFF
            0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0x00, 0x00, 0x00,
            // bulk OUT 0x01 and bulk IN 0x81, 64 bytes
            0x07, 0x05, OutEndpoint, 0x02, 0x40, 0x00, 0x00, 0x07, 0x05, InEndpoint, 0x02, 0x40,
            0x00, 0x00};
}

// A string descriptor in UTF-16LE; index 0 lists the one language, US English.
std::vector<uint8_t> stringDescriptor(const std::string &text)
{
    std::vector<uint8_t> bytes{uint8_t(2 + 2 * text.size()), 0x03};
    for (char c : text) {
        bytes.push_back(uint8_t(c));
        bytes.push_back(0);
    }
    return bytes;
}

struct Urb
{
    UMockdevIoctlData *data; // the client's struct usbdevfs_urb, referenced until reaped
    UMockdevIoctlData *buffer;
    usbdevfs_urb *urb() const { return reinterpret_cast<usbdevfs_urb *>(data->data); }
};

void finish(Urb &u, int status, int length)
{
    u.urb()->status = status;
    u.urb()->actual_length = length;
}

} // namespace

struct UsbTestBed::Private
{
    struct Client
    {
        int controller = -1;
        std::deque<Urb> pending; // IN transfers waiting for answer bytes
        std::deque<Urb> done;
    };

    struct Slot
    {
        usb::SimulationConfig::Controller config;
        std::unique_ptr<usb::SimulatedController> controller;
        int port = 0;
        int address = 0;
        bool plugged = false;
        bool gone = false; // cut off: usbfs answers ENODEV
        bool cutOnNextRequest = false;
        bool denied = false;
        int opens = 0;
        std::string sysfsPath;
        std::string node;
    };

    UMockdevTestbed *testbed = nullptr;
    std::string root;
    UMockdevIoctlBase *handler = nullptr;
    mutable std::mutex lock; // the handler runs on umockdev's thread
    std::vector<Slot> slots;
    std::map<std::string, int> nodes; // node to slot, for every node ever plugged
    std::map<UMockdevIoctlClient *, Client> clients;
    int nextAddress = 2; // 1 is the root hub

    void writeDeniedList()
    {
        std::ofstream file(root + "/denied-nodes");
        for (const Slot &slot : slots) {
            if (slot.denied && slot.plugged)
                file << slot.node << "\n";
        }
    }

    void attach(int index)
    {
        Slot &slot = slots[size_t(index)];
        slot.address = nextAddress++;
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", slot.address);
        slot.node = node;
        slot.sysfsPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(slot.port);
        const std::string address = std::to_string(slot.address);
        char devnum[8];
        std::snprintf(devnum, sizeof devnum, "%03d", slot.address);
        const std::string record =
            "P: /devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(slot.port) + "\n" +
            "N: bus/usb/001/" + devnum + "\n" + "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
            "E: DEVNAME=" + slot.node + "\nE: BUSNUM=001\nE: DEVNUM=" + devnum +
            "\nE: MAJOR=189\nE: MINOR=" + address + "\n" + "A: busnum=1\\n\nA: devnum=" + address +
            "\\n\nA: bConfigurationValue=1\\n\nA: speed=12\\n\nA: dev=189:" + address + "\n" +
            "A: manufacturer=" + Manufacturer + "\\n\nA: product=" + slot.config.description +
            "\\n\nA: serial=" + slot.config.serial + "\\n\n" +
            "H: descriptors=" + hexOf(descriptors(slot.config.vendorId, slot.config.productId)) +
            "\n";
        GError *error = nullptr;
        if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &error))
            throw std::runtime_error(std::string("umockdev: ") + error->message);
        if (!umockdev_testbed_attach_ioctl(testbed, slot.node.c_str(), handler, &error))
            throw std::runtime_error(std::string("umockdev: ") + error->message);
        {
            std::lock_guard<std::mutex> guard(lock);
            nodes[slot.node] = index;
            slot.plugged = true;
            slot.gone = false;
            slot.opens = 0;
            slot.controller->resetLink();
        }
        writeDeniedList();
        umockdev_testbed_uevent(testbed, slot.sysfsPath.c_str(), "add");
    }

    // Called with the lock held. Pending IN transfers take what the controller has by now.
    void fill(Client &client)
    {
        while (!client.pending.empty()) {
            Urb &u = client.pending.front();
            Slot &slot = slots[size_t(client.controller)];
            if (slot.gone) {
                finish(u, -ESHUTDOWN, 0);
            } else {
                const size_t taken = slot.controller->take(
                    u.buffer->data, size_t(u.urb()->buffer_length), steadyNow());
                if (taken == 0)
                    return;
                finish(u, 0, int(taken));
            }
            client.done.push_back(u);
            client.pending.pop_front();
        }
    }

    void forget(UMockdevIoctlClient *client)
    {
        auto found = clients.find(client);
        if (found == clients.end())
            return;
        for (auto *list : {&found->second.pending, &found->second.done}) {
            for (Urb &u : *list) {
                g_object_unref(u.buffer);
                g_object_unref(u.data);
            }
        }
        clients.erase(found);
        g_object_unref(client);
    }

    static void onConnectedChanged(GObject *object, GParamSpec *, gpointer self)
    {
        auto *client = UMOCKDEV_IOCTL_CLIENT(object);
        if (umockdev_ioctl_client_get_connected(client))
            return;
        auto *d = static_cast<Private *>(self);
        std::lock_guard<std::mutex> guard(d->lock);
        d->forget(client);
    }

    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto *d = static_cast<Private *>(self);
        std::lock_guard<std::mutex> guard(d->lock);
        return d->handle(client);
    }

    gboolean handle(UMockdevIoctlClient *ioctlClient)
    {
        auto known = clients.find(ioctlClient);
        if (known == clients.end()) {
            const auto node = nodes.find(umockdev_ioctl_client_get_devnode(ioctlClient));
            if (node == nodes.end())
                return FALSE;
            g_object_ref(ioctlClient);
            g_signal_connect(ioctlClient, "notify::connected", G_CALLBACK(onConnectedChanged),
                             this);
            known = clients.emplace(ioctlClient, Client{}).first;
            known->second.controller = node->second;
            ++slots[size_t(node->second)].opens;
        }
        Client &client = known->second;
        Slot &slot = slots[size_t(client.controller)];
        const gulong request = umockdev_ioctl_client_get_request(ioctlClient);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(ioctlClient);
        GError *error = nullptr;

        if (request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) {
            fill(client);
            if (client.done.empty()) {
                umockdev_ioctl_client_complete(ioctlClient, -1, slot.gone ? ENODEV : EAGAIN);
                return TRUE;
            }
            Urb u = client.done.front();
            client.done.pop_front();
            UMockdevIoctlData *target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), &error);
            umockdev_ioctl_data_set_ptr(target, 0, u.data);
            umockdev_ioctl_client_complete(ioctlClient, 0, 0);
            g_object_unref(target);
            g_object_unref(u.buffer);
            g_object_unref(u.data);
            return TRUE;
        }
        if (request == USBDEVFS_DISCARDURB) {
            // The argument is the client's own address of the URB to give up: a time-out.
            const gulong address = *reinterpret_cast<gulong *>(arg->data);
            auto it = std::find_if(client.pending.begin(), client.pending.end(),
                                   [&](const Urb &u) { return u.data->client_addr == address; });
            if (it == client.pending.end()) {
                umockdev_ioctl_client_complete(ioctlClient, -1, EINVAL);
                return TRUE;
            }
            finish(*it, -ENOENT, 0);
            client.done.push_back(*it);
            client.pending.erase(it);
            umockdev_ioctl_client_complete(ioctlClient, 0, 0);
            return TRUE;
        }
        if (slot.gone) {
            umockdev_ioctl_client_complete(ioctlClient, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), &error);
            const uint32_t none = 0;
            umockdev_ioctl_data_update(caps, 0, (guint8 *)&none, sizeof none);
            g_object_unref(caps);
            umockdev_ioctl_client_complete(ioctlClient, 0, 0);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE: {
            UMockdevIoctlData *number =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), &error);
            const unsigned int interface = *reinterpret_cast<unsigned int *>(number->data);
            g_object_unref(number);
            umockdev_ioctl_client_complete(ioctlClient, interface == 0 ? 0 : -1,
                                           interface == 0 ? 0 : ENOENT);
            return TRUE;
        }
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL:
            umockdev_ioctl_client_complete(ioctlClient, -1, ENODATA); // no kernel driver bound
            return TRUE;
        case USBDEVFS_CLEAR_HALT:
            umockdev_ioctl_client_complete(ioctlClient, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB:
            submit(client, slot, arg);
            umockdev_ioctl_client_complete(ioctlClient, 0, 0);
            return TRUE;
        default:
            umockdev_ioctl_client_complete(ioctlClient, -1, ENOTTY);
            return TRUE;
        }
    }

    void submit(Client &client, Slot &slot, UMockdevIoctlData *arg)
    {
        GError *error = nullptr;
        Urb u{};
        u.data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
        u.buffer = umockdev_ioctl_data_resolve(u.data, offsetof(usbdevfs_urb, buffer),
                                               size_t(u.urb()->buffer_length), &error);
        uint8_t *bytes = u.buffer->data;
        const int length = u.urb()->buffer_length;
        if (u.urb()->type == USBDEVFS_URB_TYPE_CONTROL) {
            control(u, slot, bytes, length);
            client.done.push_back(u);
            return;
        }
        if (u.urb()->endpoint == OutEndpoint) {
            slot.controller->receive(bytes, size_t(length), steadyNow());
            finish(u, 0, length);
            if (slot.cutOnNextRequest) {
                slot.cutOnNextRequest = false;
                slot.gone = true;
                slot.controller->resetLink();
            }
            client.done.push_back(u);
            return;
        }
        client.pending.push_back(u);
        fill(client);
    }

    // Standard requests on endpoint 0: the string descriptors; anything else stalls.
    void control(Urb &u, const Slot &slot, uint8_t *bytes, int length)
    {
        const uint8_t requestType = bytes[0];
        const uint8_t request = bytes[1];
        const int value = bytes[2] | bytes[3] << 8;
        const int wanted = bytes[6] | bytes[7] << 8;
        if (requestType != 0x80 || request != 0x06 || (value >> 8) != 0x03) {
            finish(u, -EPIPE, 0);
            return;
        }
        const int index = value & 0xFF;
        std::vector<uint8_t> answer;
        if (index == 0)
            answer = {0x04, 0x03, 0x09, 0x04};
        else if (index == 1)
            answer = stringDescriptor(Manufacturer);
        else if (index == 2)
            answer = stringDescriptor(slot.config.description);
        else if (index == 3)
            answer = stringDescriptor(slot.config.serial);
        if (answer.empty()) {
            finish(u, -EPIPE, 0);
            return;
        }
        const int size = std::min({int(answer.size()), wanted, length - 8});
        std::memcpy(bytes + 8, answer.data(), size_t(size));
        finish(u, 0, size);
    }
};

UsbTestBed::UsbTestBed()
    : d(new Private)
{
    d->testbed = umockdev_testbed_new();
    gchar *root = umockdev_testbed_get_root_dir(d->testbed);
    d->root = root;
    g_free(root);
    d->handler = umockdev_ioctl_base_new();
    g_signal_connect(d->handler, "handle-ioctl", G_CALLBACK(Private::onIoctl), d.get());
    d->writeDeniedList();
}

UsbTestBed::~UsbTestBed()
{
    for (const Private::Slot &slot : d->slots) {
        if (slot.plugged)
            umockdev_testbed_detach_ioctl(d->testbed, slot.node.c_str(), nullptr);
    }
    {
        std::lock_guard<std::mutex> guard(d->lock);
        while (!d->clients.empty())
            d->forget(d->clients.begin()->first);
    }
    g_object_unref(d->handler);
    g_object_unref(d->testbed);
}

bool UsbTestBed::preloadActive()
{
    const char *preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

bool UsbTestBed::enterWithRealUsb(char **argv)
{
    restartWithPreload(argv);
    if (!preloadActive())
        return false;
    unsetenv("ZDX7000_SIMULATION");
    return true;
}

std::string UsbTestBed::preload()
{
    return std::string(USB_TESTBED_ACCESS_LIBRARY) + ":" + UmockdevPreload;
}

void UsbTestBed::restartWithPreload(char **argv)
{
    if (preloadActive())
        return;
    std::string value = preload();
    if (const char *earlier = std::getenv("LD_PRELOAD"); earlier && *earlier)
        value += std::string(":") + earlier;
    setenv("LD_PRELOAD", value.c_str(), 1);
    // Under AddressSanitizer its runtime is then no longer the first library; that is fine here.
    std::string asan = "verify_asan_link_order=0";
    if (const char *earlier = std::getenv("ASAN_OPTIONS"); earlier && *earlier)
        asan = std::string(earlier) + ":" + asan;
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("cannot restart with umockdev's preload library");
}

usb::SimulationConfig::Controller UsbTestBed::model(const std::string &model,
                                                    const std::string &serial)
{
    usb::SimulationConfig::Controller controller;
    controller.serial = serial;
    const auto channel = [](int number, const char *name, int16_t actual, int16_t setpoint,
                            int16_t maximum) {
        usb::SimulationConfig::Channel c;
        c.number = number;
        c.name = name;
        c.actual = actual;
        c.setpoint = setpoint;
        c.maximum = maximum;
        c.control = 1;
        return c;
    };
    if (model == "G1") {
        controller.description = "Gas Unit G1";
        controller.productId = 0x0003;
        controller.channels.push_back(channel(1, "CO2 Sensor", 50, 50, 200));
    } else {
        controller.description = "Heat Unit H2";
        controller.productId = 0x0001;
        controller.channels.push_back(channel(1, "Stage Heater", 250, 370, 600));
        controller.channels.push_back(channel(2, "Lid Heater", 250, 370, 600));
    }
    return controller;
}

int UsbTestBed::add(const usb::SimulationConfig::Controller &controller)
{
    const int index = int(d->slots.size());
    Private::Slot slot;
    slot.config = controller;
    slot.port = index + 1;
    slot.controller = std::make_unique<usb::SimulatedController>(
        controller, controller.serial + "#" + std::to_string(index), 1, steadyNow());
    {
        std::lock_guard<std::mutex> guard(d->lock);
        d->slots.push_back(std::move(slot));
    }
    d->attach(index);
    return index;
}

void UsbTestBed::unplug(int controller)
{
    Private::Slot &slot = d->slots.at(size_t(controller));
    if (!slot.plugged)
        return;
    {
        std::lock_guard<std::mutex> guard(d->lock);
        slot.gone = true;
        slot.plugged = false;
    }
    umockdev_testbed_uevent(d->testbed, slot.sysfsPath.c_str(), "remove");
    umockdev_testbed_remove_device(d->testbed, slot.sysfsPath.c_str());
    d->writeDeniedList();
}

void UsbTestBed::plug(int controller)
{
    if (!d->slots.at(size_t(controller)).plugged)
        d->attach(controller);
}

void UsbTestBed::cutOnNextRequest(int controller)
{
    std::lock_guard<std::mutex> guard(d->lock);
    d->slots.at(size_t(controller)).cutOnNextRequest = true;
}

bool UsbTestBed::isCut(int controller) const
{
    std::lock_guard<std::mutex> guard(d->lock);
    return d->slots.at(size_t(controller)).gone;
}

void UsbTestBed::setSilent(int controller, bool silent)
{
    std::lock_guard<std::mutex> guard(d->lock);
    Private::Slot &slot = d->slots.at(size_t(controller));
    slot.config.silent = silent;
    slot.controller->reconfigure(slot.config, 1, steadyNow());
}

void UsbTestBed::denyAccess(int controller, bool denied)
{
    d->slots.at(size_t(controller)).denied = denied;
    d->writeDeniedList();
}

std::string UsbTestBed::node(int controller) const
{
    return d->slots.at(size_t(controller)).node;
}

int UsbTestBed::opens(int controller) const
{
    std::lock_guard<std::mutex> guard(d->lock);
    return d->slots.at(size_t(controller)).opens;
}

int16_t UsbTestBed::setpoint(int controller, int channel) const
{
    std::lock_guard<std::mutex> guard(d->lock);
    usb::SimulatedChannel *c = d->slots.at(size_t(controller)).controller->channel(channel);
    return c ? c->setpoint() : 0;
}

int16_t UsbTestBed::actual(int controller, int channel) const
{
    std::lock_guard<std::mutex> guard(d->lock);
    usb::SimulatedChannel *c = d->slots.at(size_t(controller)).controller->channel(channel);
    return c ? c->actual(steadyNow()) : 0;
}

std::string UsbTestBed::root() const
{
    return d->root;
}

std::map<std::string, std::string> UsbTestBed::childEnvironment() const
{
    return {{"UMOCKDEV_DIR", root()}, {"LD_PRELOAD", preload()}};
}

} // namespace zdx::test
