#pragma once

// Shared by the COM value-type suites: a fixture that fails any test leaving task memory
// (strings, arrays, message buffers) alive, and a stack object that counts references.

#include "comtypes.h"
#include "taskmem.h"

#include <gtest/gtest.h>

class ComValueTest : public ::testing::Test {
protected:
    void SetUp() override { FLiveBefore = zelk::com::LiveTaskAllocations(); }
    void TearDown() override {
        EXPECT_EQ(zelk::com::LiveTaskAllocations(), FLiveBefore) << "task memory leaked";
    }
    long long LiveSinceStart() const { return zelk::com::LiveTaskAllocations() - FLiveBefore; }

private:
    long long FLiveBefore = 0;
};

// Lives on the test's stack; Release never deletes, so the count can be read afterwards.
class StubUnknown final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown))
            return E_NOINTERFACE;
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --FRefs; }
    ULONG Refs() const { return FRefs; }

private:
    ULONG FRefs = 1;
};
