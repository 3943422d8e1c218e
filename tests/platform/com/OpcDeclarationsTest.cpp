#include "opc_ae.h"
#include "opccomn.h"
#include "opcenum.h"
#include "opcerror.h"

#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

// The vtable slot of a virtual method, read from its pointer-to-member (Itanium C++ ABI,
// used by g++ and clang on this platform: the pointer holds 1 + the slot's byte offset).
template <class Method> std::ptrdiff_t VtableSlot(Method method) {
    static_assert(sizeof(Method) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t words[2];
    std::memcpy(words, &method, sizeof words);
    return (words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// Not reference counted: lives on the test's stack.
class TRecordingSink : public IOPCShutdown, public IOPCEventSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) override {
        reason = szReason;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEvent(OPCHANDLE hClientSubscription, BOOL bRefresh,
                                      BOOL bLastRefresh, DWORD dwCount,
                                      ONEVENTSTRUCT* pEvents) override {
        subscription = hClientSubscription;
        refresh = bRefresh;
        lastRefresh = bLastRefresh;
        for (DWORD i = 0; i < dwCount; ++i)
            sources.emplace_back(pEvents[i].szSource);
        return S_OK;
    }

    std::u16string reason;
    OPCHANDLE subscription = 0;
    BOOL refresh = FALSE;
    BOOL lastRefresh = FALSE;
    std::vector<std::u16string> sources;
};

} // namespace

TEST(OpcDeclarations, InterfaceIdentitiesAreTheStandardOnes) {
    EXPECT_EQ(IID_IOPCCommon.Data1, 0xF31DFDE2u);
    EXPECT_EQ(IID_IOPCCommon.Data2, 0x07B6u);
    EXPECT_EQ(IID_IOPCCommon.Data3, 0x11D2u);
    const std::uint8_t commonTail[8] = {0xB2, 0xD8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB};
    EXPECT_EQ(std::memcmp(IID_IOPCCommon.Data4, commonTail, 8), 0);
    EXPECT_EQ(IID_IOPCShutdown.Data1, 0xF31DFDE1u);
    EXPECT_EQ(IID_IOPCEventSink.Data1, 0x6516885Fu);
    EXPECT_EQ(IID_IOPCEventServer.Data4[7], 0xE9u);
    EXPECT_EQ(__uuidof(IOPCEventSubscriptionMgt), IID_IOPCEventSubscriptionMgt);
    // The enumerator class and its first interface differ in the first field only.
    EXPECT_EQ(CLSID_OpcServerList.Data1, IID_IOPCServerList.Data1 + 1);
    EXPECT_EQ(std::memcmp(CLSID_OpcServerList.Data4, IID_IOPCServerList.Data4, 8), 0);

    const GUID identities[] = {IID_IOPCCommon,           IID_IOPCShutdown,
                               IID_IOPCServerList,       IID_IOPCServerList2,
                               IID_IOPCEnumGUID,         IID_IOPCBrowse,
                               IID_IOPCEventServer,      IID_IOPCEventSubscriptionMgt,
                               IID_IOPCEventAreaBrowser, IID_IOPCEventSink,
                               CLSID_OpcServerList,      CATID_OPCDAServer10,
                               CATID_OPCDAServer20,      CATID_OPCDAServer30,
                               CATID_OPCBatchServer10,   CATID_OPCBatchServer20,
                               CATID_OPCDXServer10,      CATID_OPCHDAServer10,
                               CATID_OPCAEServer10};
    for (std::size_t i = 0; i < std::size(identities); ++i)
        for (std::size_t j = i + 1; j < std::size(identities); ++j)
            EXPECT_FALSE(identities[i] == identities[j]) << i << " equals " << j;
}

TEST(OpcDeclarations, MethodsSitInTheStandardVtableSlots) {
    // Slots 0-2 are IUnknown's.
    EXPECT_EQ(VtableSlot(&IOPCCommon::SetLocaleID), 3);
    EXPECT_EQ(VtableSlot(&IOPCCommon::SetClientName), 7);
    EXPECT_EQ(VtableSlot(&IOPCServerList2::GetClassDetails), 4);
    EXPECT_EQ(VtableSlot(&IOPCEventServer::GetStatus), 3);
    EXPECT_EQ(VtableSlot(&IOPCEventServer::QueryEventAttributes), 10);
    EXPECT_EQ(VtableSlot(&IOPCEventServer::GetConditionState), 12);
    EXPECT_EQ(VtableSlot(&IOPCEventServer::AckCondition), 17);
    EXPECT_EQ(VtableSlot(&IOPCEventServer::CreateAreaBrowser), 18);
    EXPECT_EQ(VtableSlot(&IOPCEventSubscriptionMgt::Refresh), 7);
    EXPECT_EQ(VtableSlot(&IOPCEventSubscriptionMgt::SetState), 10);
    EXPECT_EQ(VtableSlot(&IOPCEventAreaBrowser::GetQualifiedSourceName), 6);
    EXPECT_EQ(VtableSlot(&IOPCEventSink::OnEvent), 3);

    TRecordingSink sink;
    IOPCShutdown* shutdown = &sink;
    EXPECT_EQ(shutdown->ShutdownRequest(u"going down"), S_OK);
    EXPECT_EQ(sink.reason, u"going down");

    ONEVENTSTRUCT events[2]{};
    events[0].szSource = const_cast<LPWSTR>(u"Tank1");
    events[1].szSource = const_cast<LPWSTR>(u"Tank2");
    IOPCEventSink* eventSink = &sink;
    EXPECT_EQ(eventSink->OnEvent(42, TRUE, FALSE, 2, events), S_OK);
    EXPECT_EQ(sink.subscription, 42u);
    EXPECT_EQ(sink.refresh, TRUE);
    EXPECT_EQ(sink.lastRefresh, FALSE);
    EXPECT_EQ(sink.sources, (std::vector<std::u16string>{u"Tank1", u"Tank2"}));
}

TEST(OpcDeclarations, ResultCodesAreInterfaceCodesOfTheRightSeverity) {
    const HRESULT successes[] = {
        OPC_S_UNSUPPORTEDRATE,   OPC_S_CLAMP,          OPC_S_INUSE,         OPC_S_ALREADYACKED,
        OPC_S_INVALIDBUFFERTIME, OPC_S_INVALIDMAXSIZE, OPC_S_INVALIDKATIME, OPC_S_LOW_AUTHN_LEVEL,
        OPC_S_DATAQUEUEOVERFLOW, OPC_S_NODATA,         OPC_S_MOREDATA,      OPC_S_CURRENTVALUE,
        OPC_S_EXTRADATA,         OPC_S_INSERTED,       OPC_S_REPLACED};
    for (HRESULT code : successes) {
        EXPECT_TRUE(SUCCEEDED(code)) << std::hex << code;
        EXPECT_EQ(HRESULT_FACILITY(code), FACILITY_ITF) << std::hex << code;
    }
    const HRESULT failures[] = {OPC_W_NOFILTER,      OPC_E_INVALIDHANDLE,  OPC_E_UNKNOWNITEMID,
                                OPC_E_INVALIDITEMID, OPC_E_UNKNOWNPATH,    OPC_E_RANGE,
                                OPC_E_INVALID_PID,   OPC_E_INVALIDTIME,    OPC_E_BUSY,
                                OPC_E_NOINFO,        OPC_E_PRIVATE_ACTIVE, OPC_E_READONLY,
                                OPC_E_MAXEXCEEDED,   OPC_E_NODATAEXISTS};
    for (HRESULT code : failures) {
        EXPECT_TRUE(FAILED(code)) << std::hex << code;
        EXPECT_EQ(HRESULT_FACILITY(code), FACILITY_ITF) << std::hex << code;
    }
    EXPECT_EQ(static_cast<std::uint32_t>(OPC_E_NOINFO), 0xC0040206u);
    EXPECT_EQ(static_cast<std::uint32_t>(OPC_W_NOFILTER), 0x80041007u);
    EXPECT_EQ(OPC_E_INVALIDBRANCHNAME, OPC_E_INVALID_PID);
    EXPECT_EQ(OPC_S_INVALIDKEEPALIVETIME, OPC_S_INVALIDKATIME);
    EXPECT_EQ(OPC_ALL_EVENTS, OPC_SIMPLE_EVENT | OPC_TRACKING_EVENT | OPC_CONDITION_EVENT);
}
