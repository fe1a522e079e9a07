// zdx7000.dll as a Windows program meets it: linked through its import library, every export found
// under its stdcall-decorated name, the vendor's USB library (here its stand-in, backed by the
// controller simulation) loaded at the first enumeration and used by ordinal, and device-change
// notifications registered for a message-only window.
#include "zdx7000/zdx7000.h"

#include "support/simulationfile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace zdx {
namespace {

struct Export
{
    const char *name;
    int argumentBytes;
};

// What importers link against: 4 bytes an argument.
const Export Exports[] = {
    {"ZdxGetVersion", 4},
    {"ZdxEnumReset", 0},
    {"ZdxEnumNext", 4},
    {"ZdxEnumGetData", 16},
    {"ZdxEnumFree", 0},
    {"ZdxOpen", 8},
    {"ZdxClose", 4},
    {"ZdxGetDeviceStatus", 8},
    {"ZdxGetControlMode", 8},
    {"ZdxSetControlMode", 8},
    {"ZdxGetExternalIlluminationBrightness", 8},
    {"ZdxSetExternalIlluminationBrightness", 8},
    {"ZdxGetComponentName", 16},
    {"ZdxGetActualValue", 12},
    {"ZdxGetSetpointValue", 12},
    {"ZdxSetSetpointValue", 12},
    {"ZdxGetSetpointValueRange", 16},
    {"ZdxGetLoopControl", 12},
    {"ZdxSetLoopControl", 12},
    {"ZdxGetChannelStatus", 12},
    {"ZdxCalibrateSensor", 12},
    {"ZdxRegisterNotification", 8},
    {"ZdxUnregisterNotification", 4},
};

class DecoratedExport : public ::testing::TestWithParam<Export>
{};

TEST_P(DecoratedExport, IsFoundUnderItsDecoratedNameOnly)
{
    HMODULE dll = GetModuleHandleA("zdx7000.dll");
    ASSERT_NE(dll, nullptr) << "linked through the import library, so loaded with the program";
    const Export e = GetParam();
    const std::string decorated = "_" + std::string(e.name) + "@" + std::to_string(e.argumentBytes);
    EXPECT_NE(GetProcAddress(dll, decorated.c_str()), nullptr) << decorated;
    EXPECT_EQ(GetProcAddress(dll, e.name), nullptr) << e.name;
}

INSTANTIATE_TEST_SUITE_P(AllExports, DecoratedExport, ::testing::ValuesIn(Exports),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(WindowsDll, EnumerateOpenReadWriteCloseThroughTheVendorLibrary)
{
    test::SimulationFile file("zdx7000-windowsdll");
    file.write(test::controller("150W1", "", test::channel(1, "Stage")) +
               test::controller("150W2", "", test::channel(1, "Lid", "actual=\"240\"")));
    file.useFromEnvironment();
    EXPECT_EQ(GetModuleHandleA("SiUSBXp.dll"), nullptr) << "loaded before its first use";

    ASSERT_EQ(ZdxEnumReset(), ZDX_SUCCESS);
    EXPECT_NE(GetModuleHandleA("SiUSBXp.dll"), nullptr);
    ZdxDeviceInfo info{};
    ASSERT_EQ(ZdxEnumNext(&info), ZDX_SUCCESS);
    EXPECT_STREQ(info.serialNumber, "150W1");
    ZdxDeviceInfo second{};
    ASSERT_EQ(ZdxEnumNext(&second), ZDX_SUCCESS);
    EXPECT_STREQ(second.description, "Unit 150W2");
    uint32_t vendor = 0;
    EXPECT_EQ(ZdxEnumGetData(&second, ZDX_DATA_VENDOR_ID, &vendor, sizeof vendor), ZDX_SUCCESS);
    EXPECT_EQ(vendor, 0x2E91u);
    EXPECT_EQ(ZdxEnumNext(&info), ZDX_FAILED);

    int32_t handle = 0;
    ASSERT_EQ(ZdxOpen(&second, &handle), ZDX_SUCCESS);
    EXPECT_EQ(ZdxEnumFree(), ZDX_SUCCESS);
    int16_t value = 0;
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 240);
    int16_t setpoint = 395;
    EXPECT_EQ(ZdxSetSetpointValue(handle, 1, &setpoint), ZDX_SUCCESS);
    EXPECT_EQ(ZdxGetSetpointValue(handle, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 395);
    char name[16] = {};
    EXPECT_EQ(ZdxGetComponentName(handle, 1, name, sizeof name), ZDX_SUCCESS);
    EXPECT_STREQ(name, "Lid");
    EXPECT_EQ(ZdxClose(handle), ZDX_SUCCESS);
    EXPECT_EQ(ZdxClose(handle), ZDX_ILLEGAL_HANDLE);
}

// A window that only receives messages, as a program without a visible window would register.
class MessageWindow
{
public:
    MessageWindow()
        : m_window(CreateWindowExA(0, "STATIC", "zdx7000 notifications", 0, 0, 0, 0, 0,
                                   HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr))
    {}
    ~MessageWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    HWND handle() const { return m_window; }

private:
    HWND m_window;
};

TEST(WindowsDll, NotificationsCheckTheirArgumentsAndRegisterAMessageOnlyWindow)
{
    MessageWindow window;
    ASSERT_NE(window.handle(), nullptr);
    void *notification = nullptr;
    // The out pointer is checked first.
    EXPECT_EQ(ZdxRegisterNotification(window.handle(), nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxRegisterNotification(INVALID_HANDLE_VALUE, nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxRegisterNotification(INVALID_HANDLE_VALUE, &notification), ZDX_ILLEGAL_PARAMETER);
    EXPECT_EQ(ZdxRegisterNotification(nullptr, &notification), ZDX_ILLEGAL_PARAMETER);

    ASSERT_EQ(ZdxRegisterNotification(window.handle(), &notification), ZDX_SUCCESS);
    EXPECT_NE(notification, nullptr);
    EXPECT_EQ(ZdxUnregisterNotification(notification), ZDX_SUCCESS);
}

} // namespace
} // namespace zdx
