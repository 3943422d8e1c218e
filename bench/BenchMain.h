#pragma once

// The main function of the benchmark programs: a Qt application (the components'
// synchronized dispatch needs one) and, for the programs that reach servers through
// COM, the COM transport.

#include "ZelkCOMLink.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace zelk::bench {

// TApplication is QCoreApplication, or QApplication for the programs that show windows.
template <class TApplication = QCoreApplication>
int RunBenchmarks(int argc, char** argv, bool withCOMLink) {
    TApplication app(argc, argv);
    if (withCOMLink)
        RegisterZelkCOMLink();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace zelk::bench
