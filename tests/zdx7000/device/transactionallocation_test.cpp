// A transaction on an open device allocates nothing: every frame comes from the pools made at open,
// every description lives on the caller's stack. The global allocation functions are replaced here
// to count.
#include "device/handletable.h"
#include "device/varondevice.h"
#include "status.h"
#include "support/scriptedbackend.h"
#include "support/simulationfile.h"
#include "usb/simulation/simulationbackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
} // namespace

void *operator new(std::size_t size)
{
    if (g_counting)
        ++g_allocations;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size)
{
    return operator new(size);
}
// The frame allocator asks for its blocks without exceptions; a sanitizer runtime would otherwise
// serve these itself, uncounted and unmatched with the free() below.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    if (g_counting)
        ++g_allocations;
    return std::malloc(size ? size : 1);
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace zdx {
namespace {

TEST(TransactionAllocation, ThousandTransactionsAllocateNothing)
{
    test::ScriptedBackend backend;
    backend.devices.push_back({"150A7", "Heat Unit H2", "link-0"});
    backend.written.reserve(1 << 16);
    test::BackendScope scope(&backend);

    VaronDevice device;
    IDeviceEnumerator *e = nullptr;
    ASSERT_EQ(device.createEnumerator(&e), StatusOk);
    e->refresh();
    ASSERT_TRUE(e->next());
    // The counter must see what open makes, the eight pool frames among it, or its zero below
    // would prove nothing.
    g_allocations = 0;
    g_counting = true;
    ASSERT_EQ(device.open(e->current()), StatusOk);
    g_counting = false;
    EXPECT_GE(g_allocations.load(), 2 * 4);
    g_allocations = 0;
    HandleTable::instance().put(1, &device);

    // The answer to a setpoint write of 370 on channel 2.
    const uint8_t answer[] = {0xF0, 0x02, 0x83, 0x02, 0x57, 0x72, 0x01, 0x4F, 0x01};
    g_counting = true;
    for (int i = 0; i < 1000; ++i) {
        backend.inputLength = backend.inputPosition = 0;
        backend.written.clear();
        std::memcpy(backend.input.data(), answer, sizeof(answer));
        backend.inputLength = sizeof(answer);
        backend.readChunk = 1 + i % 5; // arrive in pieces, as over USB
        int16_t value = 370;
        FrameHeader header{1, 0x83, 2, AccessWrite};
        FrameElement element{ElementS16, 0, 2, "value", &value};
        FrameMessage request{&header, &element, 1, nullptr, 0};
        FrameMessage response{&header, &element, 1, nullptr, 0};
        ASSERT_EQ(transact(1, &request, &response), TransactOk);
        ASSERT_EQ(value, 370);
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);

    HandleTable::instance().take(1);
    device.close();
    delete e;
}

// The same through the controller simulation with a file behind it: what a test or a demonstration
// measures includes the simulation, which must not allocate per transaction either.
TEST(TransactionAllocation, SimulatedTransactionsAllocateNothing)
{
    test::SimulationFile file("zdx7000-allocation");
    file.write(test::controller("150A7", "", test::channel(2, "Lid")));
    usb::SimulationBackend simulation{std::filesystem::path(file.path())};
    test::BackendScope scope(&simulation);

    VaronDevice device;
    IDeviceEnumerator *e = nullptr;
    ASSERT_EQ(device.createEnumerator(&e), StatusOk);
    e->refresh();
    ASSERT_TRUE(e->next());
    ASSERT_EQ(device.open(e->current()), StatusOk);
    HandleTable::instance().put(1, &device);
    auto transactOnce = [] {
        int16_t value = 370;
        FrameHeader header{1, 0x83, 2, AccessWrite};
        FrameElement element{ElementS16, 0, 2, "value", &value};
        FrameMessage request{&header, &element, 1, nullptr, 0};
        FrameMessage response{&header, &element, 1, nullptr, 0};
        return transact(1, &request, &response);
    };
    ASSERT_EQ(transactOnce(), TransactOk); // the simulation's buffers settle on first use
    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(transactOnce(), TransactOk);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);

    HandleTable::instance().take(1);
    device.close();
    delete e;
}

} // namespace
} // namespace zdx
