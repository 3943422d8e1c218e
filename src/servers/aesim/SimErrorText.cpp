#include "SimErrorText.h"

#include "opcerror.h"
#include "syserror.h"

namespace zelk::aesim {

namespace {

struct TErrorText {
    HRESULT Code;
    const char* English;
    const char* German;
};

// German texts are written with ASCII transcriptions, so the table stays Latin-1.
const TErrorText ErrorTexts[] = {
    {OPC_S_ALREADYACKED, "The condition has already been acknowledged.",
     "Die Bedingung wurde bereits quittiert."},
    {OPC_S_INVALIDBUFFERTIME, "The buffer time parameter was invalid.",
     "Die Pufferzeit war ungueltig."},
    {OPC_S_INVALIDMAXSIZE, "The max size parameter was invalid.",
     "Die maximale Anzahl war ungueltig."},
    {OPC_S_INVALIDKATIME, "The keep-alive time parameter was invalid.",
     "Die Keep-alive-Zeit war ungueltig."},
    {OPC_E_INVALIDBRANCHNAME, "The string was not recognized as an area name.",
     "Die Zeichenfolge ist kein Bereichsname."},
    {OPC_E_INVALIDTIME, "The time does not match the latest active time.",
     "Die Zeit entspricht nicht der letzten Aktivierungszeit."},
    {OPC_E_BUSY, "A refresh is currently in progress.", "Eine Aktualisierung laeuft bereits."},
    {OPC_E_NOINFO, "Information is not available.", "Keine Information verfuegbar."},
    {E_FAIL, "Unspecified error.", "Unbekannter Fehler."},
    {E_INVALIDARG, "The value of one or more parameters was not valid.",
     "Mindestens ein Parameter ist ungueltig."},
    {E_NOTIMPL, "Not implemented.", "Nicht implementiert."},
    {E_OUTOFMEMORY, "Not enough memory.", "Nicht genuegend Speicher."},
    {E_POINTER, "Invalid pointer.", "Ungueltiger Zeiger."},
};

} // namespace

std::optional<QString> SimErrorText(HRESULT code, LCID locale) {
    for (const TErrorText& text : ErrorTexts)
        if (text.Code == code)
            return QString::fromLatin1(locale == SimLocaleGerman ? text.German : text.English);
    // Other system codes read as the system words them (in English only).
    const QString system = zelk::com::SystemMessageText(code).trimmed();
    if (!system.isEmpty())
        return system;
    return std::nullopt;
}

} // namespace zelk::aesim
