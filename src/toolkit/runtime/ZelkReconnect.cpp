#include "ZelkReconnect.h"

#include <QRandomGenerator>
#include <QString>
#include <algorithm>

namespace {
// HRESULT_FROM_WIN32(RPC_S_CALL_FAILED): the call reached the computer, the answer never came.
constexpr HRESULT RpcCallFailed = zelk::com::detail::Code(0x800706BE);
} // namespace

std::chrono::milliseconds TZelkBackoff::Delay(int Attempt) const {
    using std::chrono::milliseconds;
    const milliseconds first = std::max(First, milliseconds(1));
    const milliseconds max = std::max(Max, first);
    milliseconds base = first;
    for (int i = 1; i < Attempt && base < max; ++i)
        base = std::min(base * 2, max);
    const double random = Random ? Random() : QRandomGenerator::global()->generateDouble();
    const double cut = std::clamp(Jitter, 0.0, 1.0) * std::clamp(random, 0.0, 1.0);
    return std::max(milliseconds(1), milliseconds(static_cast<long long>(
                                         static_cast<double>(base.count()) * (1.0 - cut))));
}

bool IsConnectionLostCode(HRESULT Code) noexcept {
    return Code == RPC_E_DISCONNECTED || Code == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           Code == RpcCallFailed;
}

QString DelayText(std::chrono::milliseconds Delay) {
    const double seconds = static_cast<double>(Delay.count()) / 1000.0;
    return QString::number(seconds, 'f', Delay.count() % 100 == 0 ? 1 : 2) + QStringLiteral(" s");
}
