#pragma once

// The COM runtime stand-in in one include: types and codes, the standard interfaces,
// counted pointers and holders, strings, variants and arrays, task memory, GUID text,
// system message texts, object implementation helpers, the class registry, activation,
// component categories, the global interface table, connection points and enumerators.

#include "activation.h"
#include "bstr.h"
#include "catinfo.h"
#include "comholders.h"
#include "comifaces.h"
#include "comobject.h"
#include "comptr.h"
#include "comtypes.h"
#include "connpoint.h"
#include "enumerators.h"
#include "git.h"
#include "guid.h"
#include "registry.h"
#include "regkeys.h"
#include "safearray.h"
#include "syserror.h"
#include "taskmem.h"
#include "variant.h"
