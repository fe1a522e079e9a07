// The common main() of the benchmarks of the application's code: a quiet message log, a Qt
// application object for timers and signals, then Google Benchmark.
#pragma once

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <functional>

namespace benchsupport {

inline void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// `cleanup` runs after the benchmarks, while the application object still exists.
inline int runQtBenchmarks(int argc, char **argv, const std::function<void()> &cleanup)
{
    qInstallMessageHandler(quietMessages);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    cleanup();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchsupport
