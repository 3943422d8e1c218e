#include "ZelkEventCondition.h"

#include "ZelkEvent.h"
#include "bstr.h"
#include "taskmem.h"
#include "variant.h"

namespace {

QString TextAt(LPWSTR* texts, DWORD index) {
    return texts ? zelk::com::ToQString(texts[index]) : QString();
}

void FreeTexts(LPWSTR* texts, DWORD count) noexcept {
    if (!texts)
        return;
    for (DWORD i = 0; i < count; ++i)
        CoTaskMemFree(texts[i]);
    CoTaskMemFree(texts);
}

} // namespace

// ---- TZelkEventSubConditions ----

TZelkEventSubCondition* TZelkEventSubConditions::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError::IndexOutOfBounds(Index);
    return FItems[static_cast<std::size_t>(Index)].get();
}

TZelkEventSubCondition* TZelkEventSubConditions::Add(std::unique_ptr<TZelkEventSubCondition> Item) {
    return FItems.emplace_back(std::move(Item)).get();
}

// ---- TZelkEventCondition ----

TZelkEventCondition::TZelkEventCondition() = default;

TZelkEventCondition::TZelkEventCondition(const QString& Source, const QString& ConditionName,
                                         const OPCCONDITIONSTATE& State)
    : FState(State.wState), FSource(Source), FConditionName(ConditionName),
      FComment(zelk::com::ToQString(State.szComment)),
      FAcknowledgerID(zelk::com::ToQString(State.szAcknowledgerID)), FQuality(State.wQuality),
      FLastAckTime(FileTimeToDateTime(State.ftLastAckTime)),
      FSubCondLastActive(FileTimeToDateTime(State.ftSubCondLastActive)),
      FCondLastActive(FileTimeToDateTime(State.ftCondLastActive)),
      FCondLastInactive(FileTimeToDateTime(State.ftCondLastInactive)) {
    const QString active = zelk::com::ToQString(State.szActiveSubCondition);
    const QString activeDefinition = zelk::com::ToQString(State.szASCDefinition);
    const QString activeDescription = zelk::com::ToQString(State.szASCDescription);
    for (DWORD i = 0; i < State.dwNumSCs; ++i) {
        const TZelkEventSubCondition* sub =
            FSubConditions.Add(std::make_unique<TZelkEventSubCondition>(
                TextAt(State.pszSCNames, i), TextAt(State.pszSCDefinitions, i),
                TextAt(State.pszSCDescriptions, i),
                State.pdwSCSeverities ? static_cast<int>(State.pdwSCSeverities[i]) : 0));
        // When several sub-conditions match, the last one is taken.
        if (!active.isEmpty() && sub->Name() == active && sub->Definition() == activeDefinition &&
            sub->Description() == activeDescription &&
            static_cast<DWORD>(sub->Severity()) == State.dwASCSeverity)
            FActiveSubCondition = static_cast<int>(i);
    }
}

TZelkEventCondition::~TZelkEventCondition() = default;

// ---- the server's record ----

void zelk::ae::TConditionStateRecord::Reset() noexcept {
    OPCCONDITIONSTATE* record = std::exchange(FRecord, nullptr);
    if (!record)
        return;
    CoTaskMemFree(record->szActiveSubCondition);
    CoTaskMemFree(record->szASCDefinition);
    CoTaskMemFree(record->szASCDescription);
    CoTaskMemFree(record->szAcknowledgerID);
    CoTaskMemFree(record->szComment);
    FreeTexts(record->pszSCNames, record->dwNumSCs);
    FreeTexts(record->pszSCDefinitions, record->dwNumSCs);
    FreeTexts(record->pszSCDescriptions, record->dwNumSCs);
    CoTaskMemFree(record->pdwSCSeverities);
    if (record->pEventAttributes) {
        for (DWORD i = 0; i < record->dwNumEventAttrs; ++i)
            VariantClear(&record->pEventAttributes[i]);
        CoTaskMemFree(record->pEventAttributes);
    }
    CoTaskMemFree(record->pErrors);
    CoTaskMemFree(record);
}
