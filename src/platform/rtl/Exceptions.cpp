#include "Exceptions.h"

#include <utility>

Exception::Exception(QString message) : FMessage(std::move(message)), FWhat(FMessage.toUtf8()) {}

Exception::~Exception() = default;

void Exception::SetMessage(const QString& message) {
    FMessage = message;
    FWhat = message.toUtf8();
}

const char* Exception::what() const noexcept {
    return FWhat.constData();
}

EListError EListError::IndexOutOfBounds(qint64 index) {
    return EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

EOleSysError::EOleSysError(QString message, std::int32_t errorCode)
    : Exception(std::move(message)), FErrorCode(errorCode) {}
