#pragma once

// What the attribute values of an event (or of a condition snapshot) need of the event
// server they came from: the category entry whose attribute list names them. The event
// server owns the lookup and hands out weak references, so values that outlive their
// server (a copy in a detail panel, a snapshot in a dialog) find no category instead of a
// destroyed one.

#include <cstdint>
#include <memory>

class TZelkEventItem;

class IZelkCategoryLookup {
public:
    virtual ~IZelkCategoryLookup() = default;
    // Whether the server is connected: names are given only then.
    virtual bool CategoriesAvailable() const = 0;
    // The category entry with that id; null when the server does not know it. The entry
    // stays valid while CategoriesGeneration is unchanged.
    virtual const TZelkEventItem* FindCategory(int Id) = 0;
    // Changes whenever the server drops its caches (a connect or disconnect).
    virtual std::uint32_t CategoriesGeneration() const = 0;
};

using TZelkCategoryLookupRef = std::weak_ptr<IZelkCategoryLookup>;
