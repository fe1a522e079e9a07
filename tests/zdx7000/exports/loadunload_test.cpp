// The shared library as a program loads and unloads it: loading makes what the exports need before
// the first call, unloading with devices still open neither crashes nor leaves anything behind
// (the sanitizer run checks for leaks), and a library loaded again starts afresh. On Windows the
// unload must also have closed the device in the vendor's USB library, which outlives it.
#include "zdx7000.h"

#include "support/simulationfile.h"

#include <gtest/gtest.h>

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zdx {
namespace {

#if defined(_WIN32)
// Importers bind the stdcall-decorated names.
std::string exportName(const char *name, int argumentBytes)
{
    return "_" + std::string(name) + "@" + std::to_string(argumentBytes);
}
void *loadLibrary()
{
    return LoadLibraryA(ZDX7000_LIBRARY);
}
void *symbol(void *library, const std::string &name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
}
bool unloadLibrary(void *library)
{
    return FreeLibrary(static_cast<HMODULE>(library));
}
bool stillLoaded()
{
    return GetModuleHandleA(ZDX7000_LIBRARY) != nullptr;
}
#else
std::string exportName(const char *name, int)
{
    return name;
}
void *loadLibrary()
{
    void *library = dlopen(ZDX7000_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(library, nullptr) << dlerror();
    return library;
}
void *symbol(void *library, const std::string &name)
{
    return dlsym(library, name.c_str());
}
bool unloadLibrary(void *library)
{
    return dlclose(library) == 0;
}
bool stillLoaded()
{
    // RTLD_NOLOAD finds the library only while it is still mapped.
    void *again = dlopen(ZDX7000_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (again)
        dlclose(again);
    return again != nullptr;
}
#endif

// The exports a program needs here, resolved by name as an importer binds them.
struct Library
{
    void *handle = nullptr;
    int32_t(ZDX_CALL *enumReset)() = nullptr;
    int32_t(ZDX_CALL *enumNext)(ZdxDeviceInfo *) = nullptr;
    int32_t(ZDX_CALL *open)(ZdxDeviceInfo *, int32_t *) = nullptr;
    int32_t(ZDX_CALL *actualValue)(int32_t, int32_t, int16_t *) = nullptr;

    template <typename F>
    void resolve(F &function, const char *name, int argumentBytes)
    {
        function = reinterpret_cast<F>(symbol(handle, exportName(name, argumentBytes)));
        EXPECT_NE(function, nullptr) << exportName(name, argumentBytes);
    }

    bool load()
    {
        handle = loadLibrary();
        if (!handle)
            return false;
        resolve(enumReset, "ZdxEnumReset", 0);
        resolve(enumNext, "ZdxEnumNext", 4);
        resolve(open, "ZdxOpen", 8);
        resolve(actualValue, "ZdxGetActualValue", 12);
        return enumReset && enumNext && open && actualValue;
    }
};

#if defined(_WIN32)
// The vendor's library (here its stand-in), held by the test so that it outlives the DLL's unload
// and can be asked whether the DLL left the device open.
struct VendorLibrary
{
    HMODULE module = LoadLibraryA("SiUSBXp.dll");
    ~VendorLibrary() { FreeLibrary(module); }

    // Opening device 0 works only when nobody holds it open.
    bool deviceFree() const
    {
        using Open = int32_t(WINAPI *)(DWORD, HANDLE *);
        using Close = int32_t(WINAPI *)(HANDLE);
        auto open = reinterpret_cast<Open>(
            reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(3))));
        auto close = reinterpret_cast<Close>(
            reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(4))));
        HANDLE handle = nullptr;
        if (!open || !close || open(0, &handle) != 0)
            return false;
        return close(handle) == 0;
    }
};
#endif

TEST(LoadUnload, UnloadingWithOpenDevicesAndLoadingAgainStartsAfresh)
{
    test::SimulationFile file("zdx7000-loadunload");
    file.write(test::controller("150L1", "", test::channel(1, "Stage")));
    file.useFromEnvironment();
#if defined(_WIN32)
    VendorLibrary vendor;
    ASSERT_NE(vendor.module, nullptr) << "the stand-in SiUSBXp.dll beside the test";
#endif

    for (int round = 0; round < 2; ++round) {
        Library library;
        ASSERT_TRUE(library.load()) << round;
        ZdxDeviceInfo info{};
        EXPECT_EQ(library.enumNext(&info), ZDX_FAILED)
            << "nothing enumerated yet in round " << round;
        int16_t value = 0;
        EXPECT_EQ(library.actualValue(1, 1, &value), ZDX_ILLEGAL_HANDLE)
            << "no handle survives an unload, round " << round;
        // The enumeration device exists as soon as the library is loaded.
        ASSERT_EQ(library.enumReset(), ZDX_SUCCESS) << round;
        ASSERT_EQ(library.enumNext(&info), ZDX_SUCCESS) << round;
        int32_t handle = 0;
        ASSERT_EQ(library.open(&info, &handle), ZDX_SUCCESS) << round;
        EXPECT_EQ(handle, 1);
        EXPECT_EQ(library.actualValue(handle, 1, &value), ZDX_SUCCESS);
        EXPECT_EQ(value, 250);
#if defined(_WIN32)
        EXPECT_FALSE(vendor.deviceFree()) << "the open device is held, round " << round;
#endif
        // Neither closed nor freed: the unload takes care of the device and the enumeration.
        EXPECT_TRUE(unloadLibrary(library.handle));
        EXPECT_FALSE(stillLoaded()) << "the library stays mapped, so its unload never runs";
#if defined(_WIN32)
        EXPECT_TRUE(vendor.deviceFree()) << "the unload left the device open, round " << round;
#endif
    }
}

} // namespace
} // namespace zdx
