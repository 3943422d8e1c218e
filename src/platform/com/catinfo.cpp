#include "catinfo.h"

#include "comobject.h"
#include "enumerators.h"
#include "registry.h"

#include <algorithm>
#include <span>

// Category lists follow ICatInformation: a count of (ULONG)-1 means "no condition".
// A class qualifies when it implements ANY of the implemented categories asked for,
// and when every category it requires is among the required categories offered (a
// class that requires nothing qualifies for any offer). An empty implemented list
// matches no class, since no class implements any of nothing.

namespace zelk::com {

namespace {

constexpr ULONG AnyCategory = static_cast<ULONG>(-1);

bool Contains(std::span<const CATID> list, REFCATID catid) {
    return std::any_of(list.begin(), list.end(),
                       [&](const CATID& c) { return IsEqualGUID(c, catid); });
}

bool IsOfCategories(const ClassRegistration& c, ULONG cImplemented, const CATID* implemented,
                    ULONG cRequired, const CATID* required) {
    if (cImplemented != AnyCategory &&
        !std::any_of(c.ImplementedCategories.begin(), c.ImplementedCategories.end(),
                     [&](const CATID& catid) {
                         return Contains({implemented, cImplemented}, catid);
                     }))
        return false;
    if (cRequired == AnyCategory)
        return true;
    return std::all_of(c.RequiredCategories.begin(), c.RequiredCategories.end(),
                       [&](const CATID& catid) {
                           return Contains({required, cRequired}, catid);
                       });
}

bool ValidList(ULONG count, const CATID* list) {
    return count == 0 || count == AnyCategory || list;
}

// The description of `catid` for `lcid`: the exact locale, else one of the same primary
// language, else the first registered.
const CategoryRegistration* BestDescription(const std::vector<CategoryRegistration>& all,
                                            REFCATID catid, LCID lcid) {
    const CategoryRegistration* sameLanguage = nullptr;
    const CategoryRegistration* first = nullptr;
    for (const auto& c : all) {
        if (!IsEqualGUID(c.Catid, catid))
            continue;
        if (c.Lcid == lcid)
            return &c;
        if (!sameLanguage && (c.Lcid & 0x3FF) == (lcid & 0x3FF))
            sameLanguage = &c;
        if (!first)
            first = &c;
    }
    return sameLanguage ? sameLanguage : first;
}

class TComponentCategoriesManager : public ComObject<TComponentCategoriesManager, ICatInformation> {
public:
    HRESULT STDMETHODCALLTYPE EnumCategories(LCID lcid, IEnumCATEGORYINFO** ppenum) override {
        if (!ppenum)
            return E_INVALIDARG;
        *ppenum = nullptr;
        return ComBoundary([&] {
            const auto all = LocalRegistry().Categories();
            std::vector<CATEGORYINFO> infos;
            for (const auto& c : all) {
                const bool listed = std::any_of(infos.begin(), infos.end(), [&](auto& i) {
                    return IsEqualGUID(i.catid, c.Catid);
                });
                if (listed)
                    continue;
                const CategoryRegistration* best = BestDescription(all, c.Catid, lcid);
                CATEGORYINFO info{best->Catid, best->Lcid, {}};
                // szDescription holds at most 127 characters and the terminating zero.
                const auto length = std::min<qsizetype>(best->Description.size(), 127);
                std::copy_n(best->Description.utf16(), length, info.szDescription);
                infos.push_back(info);
            }
            *ppenum = MakeEnumerator<IEnumCATEGORYINFO, ValueItems<CATEGORYINFO>>(std::move(infos))
                          .Detach();
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE GetCategoryDesc(REFCATID rcatid, LCID lcid,
                                              LPWSTR* pszDesc) override {
        if (!pszDesc)
            return E_INVALIDARG;
        *pszDesc = nullptr;
        return ComBoundary([&] {
            const auto all = LocalRegistry().Categories();
            const CategoryRegistration* best = BestDescription(all, rcatid, lcid);
            if (!best)
                return CAT_E_CATIDNOEXIST;
            *pszDesc = TaskMemString(best->Description);
            return *pszDesc ? S_OK : E_OUTOFMEMORY;
        });
    }

    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, const CATID rgcatidImpl[],
                                                      ULONG cRequired, const CATID rgcatidReq[],
                                                      IEnumGUID** ppenumClsid) override {
        if (!ppenumClsid)
            return E_INVALIDARG;
        *ppenumClsid = nullptr;
        if (!ValidList(cImplemented, rgcatidImpl) || !ValidList(cRequired, rgcatidReq))
            return E_INVALIDARG;
        return ComBoundary([&] {
            std::vector<GUID> classes;
            for (const auto& c : LocalRegistry().Classes())
                if (IsOfCategories(c, cImplemented, rgcatidImpl, cRequired, rgcatidReq))
                    classes.push_back(c.Clsid);
            *ppenumClsid = MakeEnumGUID(std::move(classes)).Detach();
            return S_OK;
        });
    }

    // REGDB_E_CLASSNOTREG for an unknown class, S_FALSE when it does not qualify.
    HRESULT STDMETHODCALLTYPE IsClassOfCategories(REFCLSID rclsid, ULONG cImplemented,
                                                  const CATID rgcatidImpl[], ULONG cRequired,
                                                  const CATID rgcatidReq[]) override {
        if (!ValidList(cImplemented, rgcatidImpl) || !ValidList(cRequired, rgcatidReq))
            return E_INVALIDARG;
        return ComBoundary([&] {
            const auto c = LocalRegistry().Find(rclsid);
            if (!c)
                return REGDB_E_CLASSNOTREG;
            return IsOfCategories(*c, cImplemented, rgcatidImpl, cRequired, rgcatidReq) ? S_OK
                                                                                        : S_FALSE;
        });
    }

    HRESULT STDMETHODCALLTYPE EnumImplCategoriesOfClass(REFCLSID rclsid,
                                                        IEnumGUID** ppenumCatid) override {
        return EnumCategoriesOfClass(rclsid, &ClassRegistration::ImplementedCategories,
                                     ppenumCatid);
    }

    HRESULT STDMETHODCALLTYPE EnumReqCategoriesOfClass(REFCLSID rclsid,
                                                       IEnumGUID** ppenumCatid) override {
        return EnumCategoriesOfClass(rclsid, &ClassRegistration::RequiredCategories, ppenumCatid);
    }

private:
    static HRESULT EnumCategoriesOfClass(REFCLSID rclsid,
                                         std::vector<CATID> ClassRegistration::*list,
                                         IEnumGUID** ppenumCatid) {
        if (!ppenumCatid)
            return E_INVALIDARG;
        *ppenumCatid = nullptr;
        return ComBoundary([&] {
            auto c = LocalRegistry().Find(rclsid);
            if (!c)
                return REGDB_E_CLASSNOTREG;
            *ppenumCatid = MakeEnumGUID(std::move((*c).*list)).Detach();
            return S_OK;
        });
    }
};

} // namespace

namespace detail {
ComPtr<IClassFactory> ComponentCategoriesManagerFactory() {
    return MakeClassFactory([] { return TComponentCategoriesManager::Create(); });
}
} // namespace detail

} // namespace zelk::com
