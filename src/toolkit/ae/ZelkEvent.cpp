#include "ZelkEvent.h"

#include "OsHelpers.h"
#include "ZelkEventItems.h"
#include "ZelkEventList.h"
#include "ZelkEventServer.h"
#include "ZelkOPCErrors.h"

#include <limits>

TDateTime FileTimeToDateTime(const FILETIME& FileTime) {
    if (FileTime.dwLowDateTime == 0 || FileTime.dwHighDateTime == 0)
        return 0;
    FILETIME local;
    SYSTEMTIME parts;
    if (!FileTimeToLocalFileTime(&FileTime, &local) || !FileTimeToSystemTime(&local, &parts))
        return 0;
    try {
        const TDateTime date = EncodeDate(parts.wYear, parts.wMonth, parts.wDay);
        const TDateTime time =
            EncodeTime(parts.wHour, parts.wMinute, parts.wSecond, parts.wMilliseconds);
        // Before 1899-12-30 the day count is negative and the time of day still counts
        // forward from it.
        return date >= 0 ? date + time : date - time;
    } catch (const EConvertError&) {
        return 0;
    }
}

namespace {

QString TextOf(const OLECHAR* text) {
    return zelk::com::ToQString(text);
}

// Takes one attribute value out of the server's record, which is left empty. A value
// held by reference is copied as the value it points to: the server's storage is valid
// only during the callback. A value that cannot be taken is stored empty, with the code
// that says why.
HRESULT TakeAttribute(VARIANT& source, zelk::com::ComVariant& target) {
    if (source.vt & VT_BYREF) {
        const HRESULT hr = VariantCopyInd(target.Put(), &source);
        VariantClear(&source);
        return FAILED(hr) ? hr : S_OK;
    }
    if (!zelk::com::IsSupportedVariantType(source.vt))
        return DISP_E_BADVARTYPE;
    target.Attach(source);
    return S_OK;
}

} // namespace

TZelkEvent::TZelkEvent(ONEVENTSTRUCT& Event, int ID) : TZelkEvent(nullptr, Event) {
    FID = ID;
}

TZelkEvent::TZelkEvent(TZelkEventServer* Server, ONEVENTSTRUCT& Event) {
    // Every field is read from a copy; only the attribute values are taken through the
    // record's own pointer.
    const ONEVENTSTRUCT record = Event;
    FActorID = TextOf(record.szActorID);
    FSource = TextOf(record.szSource);
    FMsg = TextOf(record.szMessage);
    FConditionName = TextOf(record.szConditionName);
    FSubconditionName = TextOf(record.szSubconditionName);
    FTime = FileTimeToDateTime(record.ftTime);
    FActiveTime = FileTimeToDateTime(record.ftActiveTime);
    FTTime = record.ftTime;
    FTActiveTime = record.ftActiveTime;
    FNewState = record.wNewState;
    FChangeMask = record.wChangeMask;
    FEventType = static_cast<std::int32_t>(record.dwEventType);
    FEventCategory = static_cast<std::int32_t>(record.dwEventCategory);
    FSeverity = static_cast<std::int32_t>(record.dwSeverity);
    FQuality = record.wQuality;
    FAckRequired = record.bAckRequired != 0;
    FCookie = static_cast<std::int32_t>(record.dwCookie);
    FKey = FSource + FConditionName;
    FID = Server ? Server->NextEventId() : 0;
    FOPCAEServer = Server;

    // A count without an array (or beyond any real array) yields no values, so nothing is
    // ever read past what the server passed.
    const bool readable = record.pEventAttributes != nullptr &&
                          record.dwNumEventAttrs <= std::numeric_limits<std::int32_t>::max();
    FNumEventAttrs = readable ? static_cast<std::int32_t>(record.dwNumEventAttrs) : 0;
    if (FNumEventAttrs > 0) {
        FCustProperties.Init(Server ? Server->CategoryLookup() : TZelkCategoryLookupRef(),
                             FNumEventAttrs, FEventCategory);
        for (std::int32_t i = 0; i < FNumEventAttrs; ++i) {
            zelk::com::ComVariant value;
            const HRESULT hr = TakeAttribute(Event.pEventAttributes[i], value);
            FCustProperties.PutValue(i, std::move(value), hr);
        }
    }
}

TZelkEvent::TZelkEvent(const TZelkEvent& Event)
    : TPersistent(Event), FActorID(Event.FActorID), FSource(Event.FSource), FTime(Event.FTime),
      FActiveTime(Event.FActiveTime), FTTime(Event.FTTime), FTActiveTime(Event.FTActiveTime),
      FMsg(Event.FMsg), FNewState(Event.FNewState), FChangeMask(Event.FChangeMask),
      FEventType(Event.FEventType), FEventCategory(Event.FEventCategory),
      FSeverity(Event.FSeverity), FConditionName(Event.FConditionName),
      FSubconditionName(Event.FSubconditionName), FQuality(Event.FQuality),
      FAckRequired(Event.FAckRequired), FCookie(Event.FCookie),
      FNumEventAttrs(Event.FNumEventAttrs), FID(Event.FID), FOPCAEServer(Event.FOPCAEServer),
      FKey(Event.FKey) {
    const TZelkEventCustomProps& source = Event.FCustProperties;
    if (source.Count() > 0) {
        FCustProperties.Init(source.CategoryLookup(), FNumEventAttrs, FEventCategory);
        const int count = std::min(source.Count(), FCustProperties.Count());
        for (int i = 0; i < count; ++i)
            FCustProperties.PutValue(i, source.Values(i).Value(), source.Errors(i));
    }
}

TZelkEvent::~TZelkEvent() {
    if (FLast) {
        FLast->FOPCAEServer = nullptr;
        FLast.reset();
    }
}

void TZelkEvent::SetKey(const QString& Value) {
    FKey = Value;
    // The key is a published property, so a list sorted by it must sort again.
    if (FList)
        FList->FViewCurrent = false;
}

TZelkEventServer* TZelkEvent::OPCAEServer() const noexcept {
    return FOPCAEServer.data();
}

QString TZelkEvent::CategoryName() const {
    if (!FOPCAEServer || !FOPCAEServer->Active())
        return QString();
    const TZelkEventItem* category = FOPCAEServer->Categories()->ById(FEventCategory);
    return category ? category->Name : QString();
}

QString TZelkEvent::EventTypeStr() const {
    switch (FEventType) {
    case OPC_SIMPLE_EVENT:
        return QStringLiteral("Simple");
    case OPC_TRACKING_EVENT:
        return QStringLiteral("Tacking");
    case OPC_CONDITION_EVENT:
        return QStringLiteral("Condition");
    default:
        return QStringLiteral("unknown");
    }
}

void TZelkEvent::CustomPropertyItemId(int CustPropIndex, QString& ItemId, QString& ComputerName,
                                      CLSID& ServerCLSID) const {
    ItemId.clear();
    ComputerName.clear();
    if (!FOPCAEServer)
        return;
    const TZelkEventItem* category = FOPCAEServer->Categories()->ById(FEventCategory);
    if (!category)
        return;
    const TZelkEventItem* attribute = category->Items->Items(CustPropIndex);
    const ComPtr<IOPCEventServer> server = FOPCAEServer->GetOPCEventServer();
    if (!attribute || !server)
        return;

    zelk::com::BStr source(FSource);
    zelk::com::BStr condition(FConditionName);
    zelk::com::BStr subcondition(FSubconditionName);
    DWORD attributeId = static_cast<DWORD>(attribute->Id);
    zelk::com::TaskArray<LPWSTR> itemIds(1);
    zelk::com::TaskArray<LPWSTR> nodeNames(1);
    zelk::com::TaskMem<CLSID> classIds;
    OPCCheck(server->TranslateToItemIDs(source.Get(), static_cast<DWORD>(FEventCategory),
                                        condition.Get(), subcondition.Get(), 1, &attributeId,
                                        itemIds.Put(), nodeNames.Put(), classIds.Put()));
    if (itemIds.Get())
        ItemId = TextOf(itemIds[0]);
    if (nodeNames.Get())
        ComputerName = TextOf(nodeNames[0]);
    if (classIds)
        ServerCLSID = classIds[0];
}
