#pragma once

// How a simulator class is registered and what it can do.

#include "comtypes.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace zelk::aesim {

// The simulator's class identity, fixed so a client may store it.
inline constexpr CLSID CLSID_ZelkAESimulator = ZelkGuid("5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6F1");

// What a server class offers beyond the OPC AE 1.10 basics; the defaults describe a
// conformant 1.10 server.
struct TSimCapabilities {
    // False: the server object has no IConnectionPointContainer (a server of the oldest
    // kind, which can send no shutdown request).
    bool ConnectionPoints = true;
    // True: the server object answers QueryInterface for IOPCBrowse (the newest kind).
    bool AnswersIOPCBrowse = false;
    // False: CreateAreaBrowser answers E_NOTIMPL.
    bool AreaBrowser = true;
    // False: the subscriptions' Refresh answers E_NOTIMPL.
    bool Refresh = true;
    // True: SetFilter accepts a low severity of 0.
    bool AcceptsLowSeverityZero = false;
    // QueryConditionNames answers E_FAIL for this category.
    std::optional<DWORD> FailingConditionNamesCategory{};
};

// The size of a generated plant: process areas (the root areas among them) and sources,
// each source with one or two conditions. Both 0 keep the default plant. The layout
// depends only on the size and the class's Seed: the same size gives the same plant.
struct TSimPlantSize {
    int Areas = 0;
    int Sources = 0;

    bool IsDefault() const noexcept { return Areas <= 0 && Sources <= 0; }
};

enum class TSimClockMode {
    Manual,   // time moves only when the test says so; no thread of its own
    RealTime, // the simulator's own thread runs the plant at StepInterval
};

struct TSimClassOptions {
    CLSID Clsid = CLSID_ZelkAESimulator;
    QString ProgID = QStringLiteral("Zelk.AESimulator.1");
    QString VersionIndependentProgID = QStringLiteral("Zelk.AESimulator");
    QString Description = QStringLiteral("Zelk OPC AE Simulation Server");
    TSimCapabilities Capabilities{};
    // The seed of the process simulation: the same seed, the same plant history.
    std::uint32_t Seed = 1;
    // The default plant, or a generated one of this size.
    TSimPlantSize PlantSize{};
    TSimClockMode Clock = TSimClockMode::Manual;
    // Simulated time of one process step (both modes).
    int StepIntervalMs = 250;
    // Real-time mode only: generate FloodRate notifications per second instead of the
    // process simulation (0: as many as the thread can make).
    bool Flood = false;
    int FloodRate = 10'000;
    // Keep a record of the published notifications (switch off for performance work).
    bool RecordNotifications = true;
};

} // namespace zelk::aesim
