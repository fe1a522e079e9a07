// Fuzz harness for the device's receive cycle: a device opened over a scripted USB backend whose
// reads deliver the fuzz input in fuzz-chosen chunks (with occasional read failures), and a series
// of transactions over it. After every transaction the device's pools must hold exactly the frames
// they should, each free frame exactly once; the caller's variables may only change on success.
#pragma once

#include "decoderharness.h"

#include "device/handletable.h"
#include "device/varondevice.h"
#include "support/scriptedbackend.h"

#include <set>

namespace zdx::fuzz {

// Takes every free frame of the pool and checks that each comes out once and belongs to it, then
// gives them back: a corrupted free list or a frame handed out twice shows here.
inline void checkPoolConsistent(Pool &pool, int32_t expectedInUse, const char *what)
{
    ZDX_FUZZ_CHECK(pool.inUse() == expectedInUse, what);
    std::set<Frame *> seen;
    std::vector<Frame *> taken;
    while (Frame *frame = pool.acquire()) {
        ZDX_FUZZ_CHECK(frame->owner == &pool, "frame of another pool on the free list");
        ZDX_FUZZ_CHECK(seen.insert(frame).second, "free frame handed out twice");
        taken.push_back(frame);
    }
    ZDX_FUZZ_CHECK(int32_t(taken.size()) == pool.total() - expectedInUse, "free list length");
    for (Frame *frame : taken)
        giveBack(frame);
    ZDX_FUZZ_CHECK(pool.inUse() == expectedInUse, "pool after the check");
}

inline void runReceiveCycleHarness(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    test::ScriptedBackend backend;
    backend.devices.push_back({"150F1", "Heat Unit H2", "fuzz-link"});
    test::BackendScope scope(&backend);

    VaronDevice device;
    IDeviceEnumerator *enumerator = nullptr;
    ZDX_FUZZ_CHECK(device.createEnumerator(&enumerator) == StatusOk, "enumerator");
    enumerator->refresh();
    ZDX_FUZZ_CHECK(enumerator->next(), "no device");
    ZDX_FUZZ_CHECK(device.open(enumerator->current()) == StatusOk, "open");
    HandleTable &table = HandleTable::instance();
    const int32_t handle = table.lowestFreeHandle();
    table.put(handle, &device);

    // The first bytes steer the run; the rest is what the "controller" sends.
    const uint8_t chunk = input.byte();
    const uint8_t failures = input.byte();
    backend.readChunk = chunk % 64; // 0: whatever is there
    backend.inputLength = input.take(backend.input.data(), backend.input.size());

    for (int transaction = 0; transaction < 8; ++transaction) {
        if (failures && transaction % 4 == failures % 4)
            backend.readStatus = (failures & 0x80) ? usb::DeviceIoFailed : usb::Success;
        FrameHeader header{1, 0x81, 1, AccessRead};
        int16_t value = 0x5A5A;
        char name[8];
        std::memset(name, 'q', sizeof(name));
        int16_t minimum = 0x1111, maximum = 0x2222;
        FrameElement elements[2];
        int32_t count = 1;
        switch (transaction % 3) {
        case 0:
            elements[0] = FrameElement{ElementS16, 0, 2, "value", &value};
            break;
        case 1:
            header.command = 0x80;
            elements[0] = FrameElement{ElementText, 0, sizeof(name), "name", name};
            break;
        default:
            header.command = 0x84;
            elements[0] = FrameElement{ElementS16, 0, 2, "minValue", &minimum};
            elements[1] = FrameElement{ElementS16, 0, 2, "maxValue", &maximum};
            count = 2;
            break;
        }
        FrameMessage request{&header, nullptr, 0, nullptr, 0};
        FrameMessage response{&header, elements, count, nullptr, 0};
        const int32_t result = transact(handle, &request, &response);
        ZDX_FUZZ_CHECK(result == TransactOk || result == TransactReceiveFailed ||
                           result == TransactRefused || result == TransactSendFailed,
                       "unexpected transaction result");
        ZDX_FUZZ_CHECK(response.retained == nullptr, "a frame was retained without pointers");
        if (result != TransactOk) {
            ZDX_FUZZ_CHECK(value == 0x5A5A && minimum == 0x1111 && maximum == 0x2222,
                           "a failed transaction changed the caller's variables");
        }
        if (result == TransactOk && transaction % 3 == 1)
            ZDX_FUZZ_CHECK(std::memchr(name, 0, sizeof(name)) != nullptr, "name not terminated");
        checkPoolConsistent(*device.transmitPool(), 0, "transmit frames lost");
        // The driver keeps one pending frame, unless a read failure left it without one.
        // Besides the driver's pending frame (gone only if a pool ran dry), the decoder may hold
        // the input frame of the last answer until the next request.
        const int32_t held = device.decoder()->inputFrame() ? 1 : 0;
        const int32_t inUse = device.receivePool()->inUse();
        ZDX_FUZZ_CHECK(inUse == held || inUse == held + 1, "receive frames lost");
        checkPoolConsistent(*device.receivePool(), inUse, "receive pool");
        backend.readStatus = usb::Success;
    }

    table.take(handle);
    ZDX_FUZZ_CHECK(device.close() == StatusOk, "close");
    delete enumerator;
}

} // namespace zdx::fuzz
