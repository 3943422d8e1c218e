#include "guid.h"

#include "ComValueTestSupport.h"

#include <QString>
#include <string>

namespace {

using GuidText = ComValueTest;

constexpr GUID Sample = ZelkGuid("6C736DB1-BD94-11D0-8A23-00AA00B58E10");

HRESULT Parse(const std::u16string& text, GUID& guid) {
    guid = ZelkGuid("11111111-1111-1111-1111-111111111111");
    return CLSIDFromString(text.c_str(), &guid);
}

} // namespace

TEST_F(GuidText, ParsesTheBraceFormInEitherCase) {
    GUID guid{};
    EXPECT_EQ(Parse(u"{6C736DB1-BD94-11D0-8A23-00AA00B58E10}", guid), S_OK);
    EXPECT_EQ(guid, Sample);
    EXPECT_EQ(Parse(u"{6c736db1-bd94-11d0-8a23-00aa00b58e10}", guid), S_OK);
    EXPECT_EQ(guid, Sample);
    EXPECT_EQ(Parse(u"{6c736DB1-bD94-11d0-8A23-00aA00B58e10}", guid), S_OK);
    EXPECT_EQ(guid, Sample);
    EXPECT_EQ(IIDFromString(u"{00000000-0000-0000-C000-000000000046}", &guid), S_OK);
    EXPECT_EQ(guid, IID_IUnknown);
}

TEST_F(GuidText, RejectsEverythingButTheExactBraceForm) {
    const std::u16string malformed[] = {
        u"6C736DB1-BD94-11D0-8A23-00AA00B58E10",    // no braces
        u"{6C736DB1-BD94-11D0-8A23-00AA00B58E10",   // 37 characters
        u"{6C736DB1-BD94-11D0-8A23-00AA00B58E10}}", // 39 characters
        u"{6C736DB1-BD94-11D0-8A23-00AA00B58E1}",   // 37, one digit short
        u"{6C736DB1-BD94-11D0-8A23-00AA00B58E10} ", // trailing blank
        u" {6C736DB1-BD94-11D0-8A23-00AA00B58E10}", // leading blank
        u"{6C736DB1-BD94-11D0-8A23-00AA00B58E1G}",  // not a hex digit
        u"{6C736DB1-BD94-11D0-8A2300-AA00B58E10}",  // dash misplaced
        u"{6C736DB1+BD94-11D0-8A23-00AA00B58E10}",  // wrong separator
        u"(6C736DB1-BD94-11D0-8A23-00AA00B58E10)",  // wrong brackets
        u"{}",
        u"",
    };
    for (const auto& text : malformed) {
        GUID guid{};
        EXPECT_EQ(Parse(text, guid), CO_E_CLASSSTRING)
            << QString::fromStdU16String(text).toStdString();
        EXPECT_EQ(guid, GUID_NULL);
        // Windows tells a GUID written wrongly from text that is no GUID at all.
        const HRESULT iidResult = text.starts_with(u'{') ? CO_E_IIDSTRING : E_INVALIDARG;
        EXPECT_EQ(IIDFromString(text.c_str(), &guid), iidResult)
            << QString::fromStdU16String(text).toStdString();
    }
    // A zero inside the 38 characters ends the string there.
    const OLECHAR embedded[] = u"{6C736DB1-BD94-11D0\0-8A23-00AA00B58E10}";
    GUID guid{};
    EXPECT_EQ(CLSIDFromString(embedded, &guid), CO_E_CLASSSTRING);

    guid = Sample;
    EXPECT_EQ(CLSIDFromString(nullptr, &guid), S_OK) << "no text names no class";
    EXPECT_EQ(guid, GUID_NULL);
    EXPECT_EQ(IIDFromString(nullptr, &guid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromString(u"{6C736DB1-BD94-11D0-8A23-00AA00B58E10}", nullptr), E_INVALIDARG);
}

TEST_F(GuidText, FormatsTheUpperCaseBraceForm) {
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(ZelkGuid("6c736db1-bd94-11d0-8a23-00aa00b58e10"), &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{6C736DB1-BD94-11D0-8A23-00AA00B58E10}");
    EXPECT_EQ(LiveSinceStart(), 1) << "the text is task memory";
    GUID back{};
    EXPECT_EQ(CLSIDFromString(text, &back), S_OK);
    EXPECT_EQ(back, Sample);
    CoTaskMemFree(text);

    ASSERT_EQ(StringFromIID(GUID_NULL, &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{00000000-0000-0000-0000-000000000000}");
    CoTaskMemFree(text);
    EXPECT_EQ(StringFromCLSID(Sample, nullptr), E_INVALIDARG);

    OLECHAR buffer[40];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(StringFromGUID2(Sample, buffer, 38), 0);
    EXPECT_EQ(buffer[0], u'#') << "nothing is written into a short buffer";
    EXPECT_EQ(StringFromGUID2(Sample, buffer, 39), 39);
    EXPECT_EQ(std::u16string(buffer), u"{6C736DB1-BD94-11D0-8A23-00AA00B58E10}");
    EXPECT_EQ(buffer[39], u'#');
    EXPECT_EQ(StringFromGUID2(Sample, nullptr, 39), 0);
}
