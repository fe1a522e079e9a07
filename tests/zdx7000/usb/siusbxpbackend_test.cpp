// The vendor's USB library as the Windows build takes it: by ordinal, at the first device count,
// whole or not at all. A missing library, or one without a call we use, finds no controller,
// calls through nothing, and tells the caller so.
#include "usb/siusbxpbackend.h"
#include "zdx7000.h"

#include "support/simulationfile.h"

#include <gtest/gtest.h>

#include <string>

namespace zdx::usb {
namespace {

class UnusableLibrary : public ::testing::TestWithParam<const wchar_t *>
{};

TEST_P(UnusableLibrary, FindsNoControllerAndSaysWhy)
{
    SiUSBXpBackend backend(GetParam());
    uint32_t count = 7;
    EXPECT_EQ(backend.deviceCount(&count), LibraryUnavailable);
    EXPECT_EQ(backend.availability(), LibraryUnavailable);
    EXPECT_EQ(GetModuleHandleW(GetParam()), nullptr) << "an unusable library stays loaded";

    // Nothing goes through a null entry point, whatever the caller does next.
    Handle handle = 0;
    char text[ProductStringSize] = {};
    uint8_t bytes[4] = {};
    uint32_t moved = 0;
    EXPECT_EQ(backend.productString(0, text, SerialNumber), LibraryUnavailable);
    EXPECT_EQ(backend.open(0, &handle), LibraryUnavailable);
    EXPECT_EQ(backend.read(1, bytes, sizeof bytes, &moved), LibraryUnavailable);
    EXPECT_EQ(backend.write(1, bytes, sizeof bytes, &moved), LibraryUnavailable);
    EXPECT_EQ(backend.flush(1, 1, 1), LibraryUnavailable);
    EXPECT_EQ(backend.setTimeouts(100, 100), LibraryUnavailable);
    EXPECT_EQ(backend.setBaudRate(1, 57600), LibraryUnavailable);
    EXPECT_EQ(backend.close(1), LibraryUnavailable);

    // The exported enumeration tells "no USB library" from "no controller attached".
    setBackend(&backend);
    EXPECT_EQ(ZdxEnumReset(), ZDX_FAILED);
    ZdxDeviceInfo info{};
    EXPECT_EQ(ZdxEnumNext(&info), ZDX_FAILED);
    EXPECT_EQ(ZdxEnumFree(), ZDX_SUCCESS);
    setBackend(nullptr);
}

INSTANTIATE_TEST_SUITE_P(MissingOrIncomplete, UnusableLibrary,
                         ::testing::Values(L"NoSuchLibrary.dll", L"SiUSBXpIncomplete.dll"));

TEST(SiUSBXpBackend, TakesTheWholeLibraryAtTheFirstDeviceCount)
{
    zdx::test::SimulationFile file("zdx7000-siusbxp");
    file.write(zdx::test::controller("150B1", "") + zdx::test::controller("150B2", ""));
    file.useFromEnvironment();
    {
        SiUSBXpBackend backend;
        EXPECT_EQ(backend.availability(), LibraryUnavailable) << "nothing loaded before use";
        uint32_t count = 0;
        ASSERT_EQ(backend.deviceCount(&count), Success);
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(backend.availability(), Success);
        char serial[ProductStringSize] = {};
        ASSERT_EQ(backend.productString(1, serial, SerialNumber), Success);
        EXPECT_STREQ(serial, "150B2");
        Handle handle = 0;
        ASSERT_EQ(backend.open(1, &handle), Success);
        EXPECT_EQ(backend.setBaudRate(handle, 57600), Success);
        EXPECT_EQ(backend.close(handle), Success);
        EXPECT_EQ(backend.close(handle), InvalidHandle);
    }
    EXPECT_EQ(GetModuleHandleW(L"SiUSBXp.dll"), nullptr) << "the backend's reference is given back";
}

} // namespace
} // namespace zdx::usb
