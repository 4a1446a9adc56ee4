#pragma once
// The main of a benchmark program that needs widgets: one application object, offscreen
// unless a platform is chosen, then Google Benchmark as usual.

#include <benchmark/benchmark.h>

#include <QApplication>

inline int runGuiBenchmarks(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
