// The event server's caches of the server's categories, attributes, conditions and
// sub-conditions, read once per connection. Whatever a server returns is released here,
// also when a step raises; a server that returns fewer arrays than it should costs
// names or values, never a read through a null pointer.

#include "ZelkEventServer.h"

namespace {

using zelk::com::BStr;
using zelk::com::TaskArray;
using zelk::com::TaskMem;

QString TextAt(const TaskArray<LPWSTR>& texts, DWORD index) {
    return texts.Get() ? zelk::com::ToQString(texts[index]) : QString();
}

// The names of a name query, when the server answered S_OK.
QStringList NamesOf(HRESULT result, const TaskArray<LPWSTR>& names) {
    QStringList list;
    if (result != S_OK)
        return list;
    list.reserve(static_cast<qsizetype>(names.Count()));
    for (DWORD i = 0; i < names.Count(); ++i)
        list.append(TextAt(names, i));
    return list;
}

// The server's Categories cache as the attribute values of its events see it.
class TServerCategories final : public IZelkCategoryLookup {
public:
    explicit TServerCategories(TZelkEventServer& Server) : FServer(Server) {}
    bool CategoriesAvailable() const override { return FServer.Active(); }
    const TZelkEventItem* FindCategory(int Id) override { return FServer.Categories()->ById(Id); }
    std::uint32_t CategoriesGeneration() const override { return FServer.CategoriesGeneration(); }

private:
    TZelkEventServer& FServer;
};

} // namespace

std::shared_ptr<IZelkCategoryLookup> TZelkEventServer::MakeCategoryLookup() {
    return std::make_shared<TServerCategories>(*this);
}

void TZelkEventServer::DropCaches() noexcept {
    FConditions.reset();
    FCategoryList.reset();
    ++FCategoriesGeneration;
}

TZelkEventItems* TZelkEventServer::Categories() {
    if (!FCategoryList) {
        FCategoryList = std::make_unique<TZelkEventItems>();
        try {
            AddCategories(OPC_SIMPLE_EVENT);
            AddCategories(OPC_CONDITION_EVENT);
            AddCategories(OPC_TRACKING_EVENT);
        } catch (...) {
            // The cache keeps what was read; the next connect or disconnect drops it.
        }
    }
    return FCategoryList.get();
}

TZelkEventItems* TZelkEventServer::Conditions() {
    if (!FConditions) {
        FConditions = std::make_unique<TZelkEventItems>();
        const TZelkEventItems* categories = Categories();
        for (int i = 0; i < categories->Count(); ++i)
            if (const TZelkEventItem* category = categories->Items(i))
                QueryConditions(category->Id, FConditions.get());
    }
    return FConditions.get();
}

void TZelkEventServer::AddCategories(DWORD EventType) {
    const int first = FCategoryList->Count();
    QueryCategories(EventType, FCategoryList.get());
    for (int i = first; i < FCategoryList->Count(); ++i) {
        TZelkEventItem* category = FCategoryList->Items(i);
        QueryAttributes(category->Id, category->Items.get());
    }
}

void TZelkEventServer::QueryCategories(DWORD EventType, TZelkEventItems* Items) {
    const ComPtr<IOPCEventServer> server = GetOPCEventServer();
    if (!server)
        return;
    DWORD count = 0;
    TaskMem<DWORD> ids;
    TaskArray<LPWSTR> descriptions;
    const HRESULT result =
        server->QueryEventCategories(EventType, &count, ids.Put(), descriptions.Put());
    descriptions.SetCount(count);
    OPCCheck(result);
    if (!ids)
        return;
    for (DWORD i = 0; i < count; ++i)
        Items->Add(std::make_unique<TZelkEventItem>(static_cast<std::int32_t>(ids[i]),
                                                    static_cast<WORD>(EventType),
                                                    TextAt(descriptions, i)));
}

void TZelkEventServer::QueryAttributes(int CategoryId, TZelkEventItems* Items) {
    Items->Clear();
    const ComPtr<IOPCEventServer> server = GetOPCEventServer();
    if (!server)
        return;
    DWORD count = 0;
    TaskMem<DWORD> ids;
    TaskArray<LPWSTR> descriptions;
    TaskMem<VARTYPE> types;
    const HRESULT result = server->QueryEventAttributes(static_cast<DWORD>(CategoryId), &count,
                                                        ids.Put(), descriptions.Put(), types.Put());
    descriptions.SetCount(count);
    OPCCheck(result);
    if (!ids)
        return;
    for (DWORD i = 0; i < count; ++i)
        Items->Add(std::make_unique<TZelkEventItem>(
            static_cast<std::int32_t>(ids[i]), static_cast<WORD>(CategoryId),
            TextAt(descriptions, i), types ? types[i] : VARTYPE(VT_EMPTY)));
}

void TZelkEventServer::QueryConditions(int CategoryId, TZelkEventItems* Items) {
    const ComPtr<IOPCEventServer> server = GetOPCEventServer();
    if (!server)
        return;
    TaskArray<LPWSTR> names;
    const HRESULT result =
        server->QueryConditionNames(static_cast<DWORD>(CategoryId), names.PutCount(), names.Put());
    const QStringList conditions = NamesOf(result, names);
    names.Reset();
    for (qsizetype i = 0; i < conditions.size(); ++i) {
        TZelkEventItem* condition = Items->Add(std::make_unique<TZelkEventItem>(
            static_cast<std::int32_t>(i), static_cast<WORD>(CategoryId), conditions[i]));
        QuerySubConditions(condition->Name, condition->Items.get());
    }
}

void TZelkEventServer::QuerySubConditions(const QString& ConditionName, TZelkEventItems* Items) {
    const ComPtr<IOPCEventServer> server = GetOPCEventServer();
    if (!server)
        return;
    BStr name(ConditionName);
    TaskArray<LPWSTR> names;
    const HRESULT result =
        server->QuerySubConditionNames(name.Get(), names.PutCount(), names.Put());
    const QStringList subConditions = NamesOf(result, names);
    for (qsizetype i = 0; i < subConditions.size(); ++i)
        Items->Add(std::make_unique<TZelkEventItem>(static_cast<std::int32_t>(i), WORD(0),
                                                    subConditions[i]));
}

void TZelkEventServer::QuerySourceConditions(const QString& Source, QStringList& Conditions) {
    Conditions.clear();
    const ComPtr<IOPCEventServer> server = GetOPCEventServer();
    if (!server)
        return;
    BStr source(Source);
    TaskArray<LPWSTR> names;
    const HRESULT result =
        server->QuerySourceConditions(source.Get(), names.PutCount(), names.Put());
    Conditions = NamesOf(result, names);
}
