#pragma once

// Names in the simulated AE server's default plant that the tests drive.

#include <QString>

namespace zelk::test {

inline const QString SimProgId = QStringLiteral("Zelk.AESimulator.1");
inline const QString Lic201 = QStringLiteral("Plant1.TankFarm.LIC201");
inline const QString Lic202 = QStringLiteral("Plant1.TankFarm.LIC202");
inline const QString PvLevel = QStringLiteral("PVLEVEL");

} // namespace zelk::test
