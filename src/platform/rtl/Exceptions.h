#pragma once

// The runtime's exception classes. Every failure in the toolkit is an exception that
// carries a message text; code that shows errors to a person shows Message().

#include <QString>
#include <cstdint>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(QString message);
    ~Exception() override;

    const QString& Message() const noexcept { return FMessage; }
    void SetMessage(const QString& message);
    // The message as UTF-8, for std::exception consumers (test output, terminate handler).
    const char* what() const noexcept override;

private:
    QString FMessage;
    QByteArray FWhat;
};

// "List index out of bounds (%d)"
class EListError : public Exception {
public:
    using Exception::Exception;
    static EListError IndexOutOfBounds(qint64 index);
};

class EPropertyError : public Exception {
public:
    using Exception::Exception;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

class EIntfCastError : public Exception {
public:
    using Exception::Exception;
};

class EAbstractError : public Exception {
public:
    using Exception::Exception;
};

// Raised while reading or writing the text form of components.
class EReadError : public Exception {
public:
    using Exception::Exception;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A COM call failed; the exception carries the call's result code.
class EOleSysError : public Exception {
public:
    EOleSysError(QString message, std::int32_t errorCode);

    std::int32_t ErrorCode() const noexcept { return FErrorCode; }

private:
    std::int32_t FErrorCode;
};
