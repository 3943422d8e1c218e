// The main window's rebuild of its alarm list (FillEventList) for 1,000, 10,000 and
// 100,000 events, offscreen, and the same rebuild followed by the paint it causes; the
// rebuild with a find text; the export of 100,000 events to CSV and to JSON lines.
//
//   QT_QPA_PLATFORM=offscreen build/default/bench/bench_mainwindow

#include "BenchMain.h"
#include "ZelkAE.h"
#include "ZelkAEDemoMain.h"
#include "objbase.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeView>
#include <benchmark/benchmark.h>

namespace {

const OLECHAR* Text(const QString& s) {
    return reinterpret_cast<const OLECHAR*>(s.utf16());
}

// `count` live conditions with distinct sources, sorted by the window's default lines.
void FillEvents(TZelkEventServer& server, int count) {
    server.Events()->DeleteEvents();
    const QString condition = QStringLiteral("PVLEVEL");
    const QString message = QStringLiteral("Level high");
    for (int i = 0; i < count; ++i) {
        const QString source = QStringLiteral("Plant.Area%1.Tank%2").arg(i % 100).arg(i);
        ONEVENTSTRUCT record{};
        record.szSource = const_cast<LPWSTR>(Text(source));
        record.szConditionName = const_cast<LPWSTR>(Text(condition));
        record.szSubconditionName = const_cast<LPWSTR>(Text(condition));
        record.szMessage = const_cast<LPWSTR>(Text(message));
        record.wNewState = OPC_CONDITION_ENABLED | (i % 3 ? OPC_CONDITION_ACTIVE : 0);
        record.dwEventType = OPC_CONDITION_EVENT;
        record.dwSeverity = static_cast<DWORD>(1 + i % 1000);
        record.ftTime.dwLowDateTime = static_cast<DWORD>(i) * 10'000'000u;
        record.ftTime.dwHighDateTime = 0x01DD0000;
        record.bAckRequired = TRUE;
        server.Events()->AddEvent(std::make_unique<TZelkEvent>(&server, record));
    }
    server.Events()->Resort();
}

void BM_FillEventList(benchmark::State& state) {
    TMainForm window;
    window.show();
    FillEvents(*window.ZelkEventServer1(), static_cast<int>(state.range(0)));
    for (auto _ : state)
        window.FillEventList();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillEventList)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_FillEventListAndPaint(benchmark::State& state) {
    TMainForm window;
    window.show();
    FillEvents(*window.ZelkEventServer1(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        window.FillEventList();
        window.ListView1()->viewport()->repaint();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillEventListAndPaint)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);

// A find text that one event in a hundred matches, by source.
void BM_FillEventListWithFind(benchmark::State& state) {
    TMainForm window;
    window.show();
    FillEvents(*window.ZelkEventServer1(), static_cast<int>(state.range(0)));
    window.SetFindText(QStringLiteral("area7.tank"));
    for (auto _ : state)
        window.FillEventList();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillEventListWithFind)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_ExportList(benchmark::State& state) {
    TMainForm window;
    window.show();
    FillEvents(*window.ZelkEventServer1(), 100'000);
    window.FillEventList();
    QTemporaryDir folder;
    const QString file =
        folder.filePath(state.range(0) ? QStringLiteral("list.jsonl") : QStringLiteral("list.csv"));
    for (auto _ : state)
        window.ExportList(file);
    state.SetItemsProcessed(state.iterations() * 100'000);
    state.SetLabel(state.range(0) ? "JSON lines" : "CSV");
}
BENCHMARK(BM_ExportList)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return zelk::bench::RunBenchmarks<QApplication>(argc, argv, true);
}
