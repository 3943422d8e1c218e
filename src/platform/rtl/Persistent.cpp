#include "Persistent.h"

#include <QString>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>

namespace {
QString ClassNameOf(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return QString::fromLatin1(status == 0 && demangled ? demangled.get() : type.name());
}
} // namespace

void TPersistent::Assign(const TPersistent* source) {
    const QString sourceName = source ? ClassNameOf(typeid(*source)) : QStringLiteral("nil");
    throw EConvertError(
        QStringLiteral("Cannot assign a %1 to a %2").arg(sourceName, ClassNameOf(typeid(*this))));
}
