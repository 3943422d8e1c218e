#pragma once

// The toolkit's exception classes. Every toolkit error is one of these, carrying the
// message that the application shows to the operator.

#include "Exceptions.h"

// Messages that several toolkit classes raise in the same words.
inline const QString NotConnectedMessage = QStringLiteral("Not connected to server");
// A client component that cannot make a connection of its own.
inline const QString OverrideCreateConnectionMessage =
    QStringLiteral("please override CreateConnection");

class EOPCException : public Exception {
public:
    using Exception::Exception;
};

// Browsing a server's areas and sources.
class EOPCBrowserException : public EOPCException {
public:
    using EOPCException::EOPCException;
};

// Data Access groups.
class EOPCGroupException : public EOPCException {
public:
    using EOPCException::EOPCException;
};

// Finding, creating and reaching a server.
class EOPCServerException : public EOPCException {
public:
    using EOPCException::EOPCException;
};

// Enumerating the servers of a computer.
class EOPCServerListException : public EOPCServerException {
public:
    using EOPCServerException::EOPCServerException;
};
