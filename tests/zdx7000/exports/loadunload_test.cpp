// The shared library as a program loads and unloads it: loading makes what the exports need before
// the first call, unloading with devices still open neither crashes nor leaves anything behind
// (the sanitizer run checks for leaks), and a library loaded again starts afresh.
#include "zdx7000.h"

#include "support/simulationfile.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace zdx {
namespace {

// The exports a program needs here, resolved by name as an importer binds them.
struct Library
{
    void *handle = nullptr;
    int32_t (*enumReset)() = nullptr;
    int32_t (*enumNext)(ZdxDeviceInfo *) = nullptr;
    int32_t (*open)(ZdxDeviceInfo *, int32_t *) = nullptr;
    int32_t (*actualValue)(int32_t, int32_t, int16_t *) = nullptr;

    template <typename F>
    void resolve(F &function, const char *name)
    {
        function = reinterpret_cast<F>(dlsym(handle, name));
        EXPECT_NE(function, nullptr) << name;
    }

    bool load()
    {
        handle = dlopen(ZDX7000_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(handle, nullptr) << dlerror();
        if (!handle)
            return false;
        resolve(enumReset, "ZdxEnumReset");
        resolve(enumNext, "ZdxEnumNext");
        resolve(open, "ZdxOpen");
        resolve(actualValue, "ZdxGetActualValue");
        return enumReset && enumNext && open && actualValue;
    }

    bool unloaded() const
    {
        // RTLD_NOLOAD finds the library only while it is still mapped.
        void *again = dlopen(ZDX7000_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
        if (again)
            dlclose(again);
        return again == nullptr;
    }
};

TEST(LoadUnload, UnloadingWithOpenDevicesAndLoadingAgainStartsAfresh)
{
    test::SimulationFile file("zdx7000-loadunload");
    file.write(test::controller("150L1", "", test::channel(1, "Stage")));
    file.useFromEnvironment();

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
        // Neither closed nor freed: the unload takes care of the device and the enumeration.
        EXPECT_EQ(dlclose(library.handle), 0) << dlerror();
        EXPECT_TRUE(library.unloaded()) << "the library stays mapped, so its unload never runs";
    }
}

} // namespace
} // namespace zdx
