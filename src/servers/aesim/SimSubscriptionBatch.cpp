#include "SimSubscriptionBatch.h"

#include <algorithm>

namespace zelk::aesim {

namespace {

// The text of a record field. The sink only reads it during the call; a null QString
// gives the empty string, never a null pointer.
LPWSTR Text(const QString& text) {
    static char16_t empty[1] = {0};
    if (text.isEmpty())
        return empty;
    return const_cast<LPWSTR>(reinterpret_cast<const char16_t*>(text.utf16()));
}

const std::vector<DWORD>& SelectedFor(const TSimAttributeSelection& selection, DWORD category) {
    static const std::vector<DWORD> none;
    const auto it = selection.find(category);
    return it == selection.end() ? none : it->second;
}

} // namespace

TSimEventBatch::TSimEventBatch(std::vector<TSimNotification> events,
                               const TSimAttributeSelection& selection)
    : FEvents(std::move(events)) {
    std::size_t valueCount = 0;
    for (const auto& n : FEvents)
        valueCount += SelectedFor(selection, n.EventCategory).size();
    // Reserved up front: the records keep pointers into FValues.
    FValues.reserve(valueCount);
    FRecords.reserve(FEvents.size());
    for (auto& n : FEvents) {
        const auto& ids = SelectedFor(selection, n.EventCategory);
        VARIANT* values = ids.empty() ? nullptr : FValues.data() + FValues.size();
        for (DWORD id : ids) {
            const auto it = std::find_if(n.Attributes.begin(), n.Attributes.end(),
                                         [&](const TSimAttributeValue& a) { return a.Id == id; });
            VARIANT value;
            VariantInit(&value);
            if (it != n.Attributes.end())
                value = it->Value.Value();
            FValues.push_back(value);
        }
        ONEVENTSTRUCT record{};
        record.wChangeMask = n.ChangeMask;
        record.wNewState = n.NewState;
        record.szSource = Text(n.Source);
        record.ftTime = n.Time;
        record.szMessage = Text(n.Message);
        record.dwEventType = n.EventType;
        record.dwEventCategory = n.EventCategory;
        record.dwSeverity = n.Severity;
        record.szConditionName = Text(n.ConditionName);
        record.szSubconditionName = Text(n.SubconditionName);
        record.wQuality = n.Quality;
        record.bAckRequired = n.AckRequired ? TRUE : FALSE;
        record.ftActiveTime = n.ActiveTime;
        record.dwCookie = n.Cookie;
        record.dwNumEventAttrs = static_cast<DWORD>(ids.size());
        record.pEventAttributes = values;
        record.szActorID = Text(n.ActorID);
        FRecords.push_back(record);
    }
}

} // namespace zelk::aesim
