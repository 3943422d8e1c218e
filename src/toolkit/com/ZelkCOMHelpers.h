#pragma once

// The COM transport's helper operations: class id and ProgID conversions, the server
// names offered to the transport registry, text handed to servers as BSTR, reading a
// string enumerator, connection-point advise and unadvise, the COM error exception and
// the process-wide security setting.

#include "objbase.h"

#include <QString>
#include <QStringList>

// The system's text for `code` as the runtime library reports it: without the final
// full stop, blanks and line break; empty when the system has no text for the code.
QString SysErrorMessage(HRESULT code);
// Raises EOleSysError carrying `code`, with the system's text (or "OLE error xxxxxxxx").
[[noreturn]] void OleError(HRESULT code);
// Returns when `code` is a success, otherwise OleError.
void OleCheck(HRESULT code);

// True when `Name` is a registered ProgID or, failing that, a class id text in brace form.
bool NameToClsid(const QString& Name, CLSID& ClassId);
bool IsClsidStr(const QString& Name);
// The brace form in upper case; empty when the conversion fails.
QString ClsidToStr(REFCLSID ClassId);
// The COM transport's answer for the names of a server: a ProgID gives its class id text
// in both outputs; the class id text of a registered class gives its ProgID and the
// normalised class id text; anything else keeps Caption = Name and an empty ClsId (or,
// for an unregistered class id text, ClsId = Name and an empty Caption).
void GetCOMServerNames(const QString& Name, QString& Caption, QString& ClsId);

// A new BSTR holding `S` (an empty `S` gives an allocated empty BSTR, never null); the
// caller frees it with SysFreeString. Throws std::bad_alloc when memory runs out.
BSTR StrToBSTR(const QString& S);

// Replaces `Strings` by what `Enum` yields, read in batches of up to 100. An empty
// string ends the reading. Every string the enumerator hands out is freed, also those
// not added and also when adding fails.
void EnumStringToStrings(IEnumString* Enum, QStringList& Strings);

// Advises `Sink` on the connection point `Iid` of `Server`: the result of Advise, or
// E_FAIL when the server is null, has no connection points or none for `Iid`.
HRESULT ConnectionAdvise(IUnknown* Server, REFIID Iid, IUnknown* Sink, DWORD& Cookie);
// S_OK when the connection was ended; E_FAIL for a null server, a zero cookie or any
// failing step.
HRESULT ConnectionUnadvise(IUnknown* Server, REFIID Iid, DWORD Cookie);

// The process-wide COM security: no authentication, impersonation allowed. Called once,
// by the main window when it is created; returns CoInitializeSecurity's result.
HRESULT InitCOMSecurity();

// Creates an object of `ClassId` on `Computer` (passed as given), asking for IUnknown:
// in any server context when the name is this computer's (any case), as a remote server
// otherwise. A failing call or interface request raises EOleSysError; a success that
// yields no object gives null.
ComPtr<IUnknown> CreateRemoteObject(REFCLSID ClassId, const QString& Computer);

// This computer's name as GetComputerNameW reports it; empty when the call fails.
QString ThisComputerName();
