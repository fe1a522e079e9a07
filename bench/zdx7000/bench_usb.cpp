// The library's own CPU time per transaction over the libusb backend, beside the simulation
// backend, in one run; and the scan the device manager makes every second with 8 controllers
// attached and nothing changed. The controllers sit on emulated USB (tests/usbtestbed): what the
// emulation spends inside ioctl() (umockdev's socket round trip, where hardware would have the
// kernel) is measured apart and is not the library's. Bars: a transaction's library share under
// 1 % of its 2.78 ms on the wire at 57600 baud; a scan under 1 ms, opening nothing.
#include "zdx7000.h"

#include "usb/libusbbackend.h"
#include "usb/simulation/simulationbackend.h"
#include "usb/usbapi.h"
#include "usbtestbed.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdarg>
#include <ctime>
#include <string>
#include <thread>

using namespace zdx;

namespace {

constexpr double WireMicroseconds = 16 * 10 / 57600.0 * 1e6; // a value read: 7 + 9 bytes
constexpr double ScanBarMicroseconds = 1000.0;

thread_local int64_t t_ioctlNs = 0;
thread_local int64_t t_ioctls = 0;

int64_t threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

test::UsbTestBed *s_bed = nullptr;

// Opens the first listed controller; 0 when there is none.
int32_t openFirst()
{
    int32_t handle = 0;
    ZdxDeviceInfo info{};
    for (int attempt = 0; attempt < 200 && !handle; ++attempt) {
        ZdxEnumReset();
        if (ZdxEnumNext(&info) == ZDX_SUCCESS && ZdxOpen(&info, &handle) != ZDX_SUCCESS)
            handle = 0;
        ZdxEnumFree();
        if (!handle)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return handle;
}

// What reading the thread's CPU clock costs: each ioctl() pays for it once outside the span it
// measures, which is the instrument's, not the library's.
double clockReadNs()
{
    constexpr int Reads = 20000;
    const int64_t before = threadCpuNs();
    for (int i = 0; i < Reads; ++i)
        benchmark::DoNotOptimize(threadCpuNs());
    return double(threadCpuNs() - before) / Reads;
}

// CPU time of this thread per transaction, and the part of it spent inside ioctl().
void measureTransactions(benchmark::State &state, int32_t handle)
{
    const double clockNs = clockReadNs();
    int16_t value = 0;
    const int64_t cpuBefore = threadCpuNs();
    const int64_t ioctlBefore = t_ioctlNs;
    const int64_t ioctlsBefore = t_ioctls;
    const auto wallBefore = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (ZdxGetActualValue(handle, 1, &value) != ZDX_SUCCESS) {
            state.SkipWithError("transaction failed");
            break;
        }
    }
    const double n = double(state.iterations());
    const double cpu = double(threadCpuNs() - cpuBefore) / 1000.0 / n;
    const double ioctls = double(t_ioctls - ioctlsBefore) / n;
    const double emulation =
        double(t_ioctlNs - ioctlBefore) / 1000.0 / n + ioctls * clockNs / 1000.0;
    state.counters["wall_us"] =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wallBefore)
            .count() /
        n;
    state.counters["cpu_us"] = cpu;
    state.counters["emulation_us"] = emulation;
    state.counters["ioctls"] = ioctls;
    state.counters["library_us"] = cpu - emulation;
    state.counters["percent_of_wire"] = 100.0 * (cpu - emulation) / WireMicroseconds;
    if (value != 250)
        state.SkipWithError("wrong value read");
}

void BM_TransactionThroughSimulation(benchmark::State &state)
{
    usb::SimulationBackend simulation;
    usb::setBackend(&simulation);
    const int32_t handle = openFirst();
    if (!handle) {
        state.SkipWithError("no simulated controller");
    } else {
        int16_t value = 0;
        const int64_t cpuBefore = threadCpuNs();
        for (auto _ : state) {
            if (ZdxGetActualValue(handle, 1, &value) != ZDX_SUCCESS) {
                state.SkipWithError("transaction failed");
                break;
            }
        }
        const double cpu = double(threadCpuNs() - cpuBefore) / 1000.0 / double(state.iterations());
        state.counters["cpu_us"] = cpu;
        state.counters["library_us"] = cpu;
        state.counters["percent_of_wire"] = 100.0 * cpu / WireMicroseconds;
        ZdxClose(handle);
    }
    usb::setBackend(nullptr);
}
BENCHMARK(BM_TransactionThroughSimulation);

void BM_TransactionOverLibusb(benchmark::State &state)
{
    usb::LibusbBackend libusb;
    usb::setBackend(&libusb);
    const int heat = s_bed->add(test::UsbTestBed::model("H2", "150B1"));
    const int32_t handle = openFirst();
    if (!handle)
        state.SkipWithError("no controller on emulated USB");
    else
        measureTransactions(state, handle);
    if (handle)
        ZdxClose(handle);
    s_bed->unplug(heat);
    usb::setBackend(nullptr);
}
BENCHMARK(BM_TransactionOverLibusb)->MinTime(2.0)->UseRealTime();

void BM_ScanOfEightControllers(benchmark::State &state)
{
    usb::LibusbBackend libusb;
    usb::setBackend(&libusb);
    int controllers[8];
    for (int i = 0; i < 8; ++i)
        controllers[i] = s_bed->add(test::UsbTestBed::model(
            i % 2 ? "G1" : "H2", (i % 2 ? "153S" : "150S") + std::to_string(i)));
    int listed = 0;
    for (int attempt = 0; attempt < 200 && listed < 8; ++attempt) {
        ZdxEnumReset();
        ZdxDeviceInfo info{};
        for (listed = 0; ZdxEnumNext(&info) == ZDX_SUCCESS;)
            ++listed;
        ZdxEnumFree();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int reads = libusb.stringReads();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ZdxEnumReset();
        ZdxDeviceInfo info{};
        int found = 0;
        while (ZdxEnumNext(&info) == ZDX_SUCCESS)
            ++found;
        ZdxEnumFree();
        if (found != 8)
            state.SkipWithError("not 8 controllers listed");
    }
    const double perScan =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count() /
        double(state.iterations());
    state.counters["scan_us"] = perScan;
    state.counters["of_bar"] = perScan / ScanBarMicroseconds;
    state.counters["opened"] = double(libusb.stringReads() - reads);
    if (listed != 8 || libusb.stringReads() != reads)
        state.SkipWithError("a scan opened a known controller");
    for (int controller : controllers)
        s_bed->unplug(controller);
    usb::setBackend(nullptr);
}
BENCHMARK(BM_ScanOfEightControllers);

} // namespace

// Every ioctl of this process passes here on its way to umockdev's preload library: what it
// costs this thread is the emulation's, not the library's.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto next = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    const int64_t before = threadCpuNs();
    const int result = next(fd, request, argument);
    t_ioctlNs += threadCpuNs() - before;
    ++t_ioctls;
    return result;
}

int main(int argc, char **argv)
{
    test::UsbTestBed::restartWithPreload(argv);
    if (!test::UsbTestBed::preloadActive())
        return 1;
    test::UsbTestBed bed;
    s_bed = &bed;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s_bed = nullptr;
    return 0;
}
