#pragma once

// TObject: the root of the plain (non-component) objects that travel through the
// toolkit, such as message payloads; it only guarantees a virtual destructor.
// TPersistent: an object whose state can be copied from another with Assign.

#include "Exceptions.h"

#include <typeinfo>

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;
};

class TPersistent : public TObject {
public:
    // Copies `source` into this object. A class that cannot take the source passes the
    // request on to its base; at this level every request is refused.
    virtual void Assign(const TPersistent* source);
};
