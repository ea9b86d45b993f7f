#pragma once
// The main of a benchmark that draws: fonts and widgets need an application
// object, on the offscreen platform unless another is asked for.

#include <QtGlobal>

#include <benchmark/benchmark.h>

namespace cvlog::bench
{

template <class Application> int RunOffscreenBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace cvlog::bench
