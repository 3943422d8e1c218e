#pragma once

// The component categories manager (CLSID_StdComponentCategoriesMgr, in-process only):
// ICatInformation answered from the local computer's class registry.

#include "comifaces.h"
#include "comptr.h"

inline constexpr HRESULT CAT_E_CATIDNOEXIST = zelk::com::detail::Code(0x80040160);
inline constexpr HRESULT CAT_E_NODESCRIPTION = zelk::com::detail::Code(0x80040161);

namespace zelk::com::detail {
// The class factory that the local registry holds for CLSID_StdComponentCategoriesMgr.
ComPtr<IClassFactory> ComponentCategoriesManagerFactory();
} // namespace zelk::com::detail
