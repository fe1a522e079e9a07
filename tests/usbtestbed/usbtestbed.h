// Controllers on emulated USB: umockdev presents them to libusb at the kernel's interface (sysfs,
// device nodes, usbfs ioctls), and the bytes of their bulk endpoints go to the library's own
// simulated controller, so that the wire protocol has one implementation in the tree. Works in
// processes that run with umockdev's preload library (UsbTestBed::preload()); the programs a test
// starts see the same controllers through the environment of childEnvironment().
#pragma once

#include "usb/simulation/simulationconfig.h"

#include <map>
#include <memory>
#include <string>

namespace zdx::test {

class UsbTestBed
{
public:
    UsbTestBed();
    ~UsbTestBed();
    UsbTestBed(const UsbTestBed &) = delete;
    UsbTestBed &operator=(const UsbTestBed &) = delete;

    // Whether this process runs with the preload; when not, re-executes it with the preload set
    // (returns only if that fails). For a test program's main().
    static bool preloadActive();
    static void restartWithPreload(char **argv);
    // Both of the above, then real USB for the library: no simulation configured. False when the
    // process could not be given the preload. For a test program's main().
    static bool enterWithRealUsb(char **argv);
    // The LD_PRELOAD value of a process that sees the emulated controllers.
    static std::string preload();

    // A controller of these strings, ids and channels, plugged into the next free port. Returns
    // its number for the calls below.
    int add(const usb::SimulationConfig::Controller &controller);
    // A controller of a built-in model with fixed values: "H2" heat unit (two channels, raw
    // 250 actual, 370 setpoint), "G1" gas unit (one channel, 50 actual and setpoint).
    static usb::SimulationConfig::Controller model(const std::string &model,
                                                   const std::string &serial);

    // Gone from the bus and from sysfs: its open handles fail as the kernel fails them.
    void unplug(int controller);
    // Back at the same port with a new device address, with the values it had.
    void plug(int controller);
    // The next request reaches the controller, then it is gone before answering (its transfers
    // end with -ESHUTDOWN and the node answers ENODEV); unplug() then takes it off the bus.
    void cutOnNextRequest(int controller);
    bool isCut(int controller) const;

    // Stops answering (reads time out) or answers again.
    void setSilent(int controller, bool silent);
    // Opening its node fails with EACCES, as without the udev rule.
    void denyAccess(int controller, bool denied);

    // "/dev/bus/usb/001/002".
    std::string node(int controller) const;
    // How many times the controller's node was opened since it was plugged.
    int opens(int controller) const;
    // Raw values of the simulated controller.
    int16_t setpoint(int controller, int channel) const;
    int16_t actual(int controller, int channel) const;

    std::string root() const;
    // UMOCKDEV_DIR and LD_PRELOAD for a program started by the test.
    std::map<std::string, std::string> childEnvironment() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace zdx::test
