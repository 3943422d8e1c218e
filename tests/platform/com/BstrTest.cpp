#include "bstr.h"

#include "ComValueTestSupport.h"

#include <cstring>
#include <string>

using zelk::com::BStrFromQString;
using zelk::com::BStrToQString;

namespace {

using BStrMemory = ComValueTest;

std::u16string Chars(BSTR text) {
    return std::u16string(text, SysStringLen(text));
}

} // namespace

TEST_F(BStrMemory, KeepsTheLengthPrefixAndEmbeddedZeros) {
    BSTR text = SysAllocStringLen(u"a\0b", 3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(LiveSinceStart(), 1) << "one BSTR is one task allocation";
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(SysStringByteLen(text), 6u);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, 4);
    EXPECT_EQ(prefix, 6u) << "the byte count sits just before the characters";
    EXPECT_EQ(text[3], 0) << "zero-terminated after the counted characters";
    EXPECT_EQ(Chars(text), std::u16string(u"a\0b", 3));
    EXPECT_EQ(zelk::com::ToQString(text), QStringLiteral("a"));
    EXPECT_EQ(BStrToQString(text).size(), 3);
    SysFreeString(text);

    BSTR zeros = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(Chars(zeros), std::u16string(4, u'\0'));
    SysFreeString(zeros);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);

    BSTR bytes = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    EXPECT_EQ(std::memcmp(bytes, "abc", 3), 0);
    SysFreeString(bytes);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(LiveSinceStart(), 0);
}

TEST_F(BStrMemory, ReallocationReplacesTheStringAndMayReadItsOwnText) {
    BSTR text = SysAllocString(u"abcdef");
    ASSERT_EQ(SysReAllocString(&text, text + 2), TRUE);
    EXPECT_EQ(Chars(text), u"cdef");

    ASSERT_EQ(SysReAllocStringLen(&text, nullptr, 6), TRUE);
    EXPECT_EQ(Chars(text), std::u16string(u"cdef\0\0", 6)) << "old text kept, the rest zeros";
    ASSERT_EQ(SysReAllocStringLen(&text, nullptr, 2), TRUE);
    EXPECT_EQ(Chars(text), u"cd");
    ASSERT_EQ(SysReAllocStringLen(&text, u"x\0y", 3), TRUE);
    EXPECT_EQ(Chars(text), std::u16string(u"x\0y", 3));

    EXPECT_EQ(SysReAllocString(nullptr, u"x"), FALSE);
    EXPECT_EQ(SysReAllocStringLen(nullptr, u"x", 1), FALSE);
    EXPECT_EQ(LiveSinceStart(), 1);
    ASSERT_EQ(SysReAllocString(&text, nullptr), TRUE);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(LiveSinceStart(), 0);
}

TEST_F(BStrMemory, ConvertsToAndFromQString) {
    const QString sample =
        QStringLiteral("Gr\u00F6\u00DFe \u20AC") + QChar(0) + QStringLiteral("!");
    BSTR text = BStrFromQString(sample);
    EXPECT_EQ(SysStringLen(text), static_cast<UINT>(sample.size()));
    EXPECT_EQ(BStrToQString(text), sample);
    EXPECT_EQ(zelk::com::ToQString(text, 2), QStringLiteral("Gr"));
    SysFreeString(text);

    BSTR empty = BStrFromQString(QString());
    EXPECT_NE(empty, nullptr) << "an empty text is an empty string, not a null one";
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
    EXPECT_TRUE(zelk::com::ToQString(nullptr).isEmpty());
    EXPECT_TRUE(BStrToQString(nullptr).isEmpty());

    LPWSTR task = zelk::com::TaskStrFromQString(QStringLiteral("abc"));
    EXPECT_EQ(std::u16string(task), u"abc");
    CoTaskMemFree(task);
}
