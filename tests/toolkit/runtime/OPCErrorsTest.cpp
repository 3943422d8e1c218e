#include "ZelkComn.h"

#include <gtest/gtest.h>

namespace {
constexpr HRESULT Code(std::uint32_t value) {
    return static_cast<HRESULT>(value);
}
} // namespace

TEST(OPCErrors, NamesAndTextsComeFromTheTable) {
    EXPECT_EQ(OPCErrorName(0), QStringLiteral("E_UNKNOWN"));
    EXPECT_TRUE(OPCErrorText(0).isEmpty());
    EXPECT_EQ(OPCErrorName(Code(0x00040200)), QStringLiteral("S_ALREADYACKED"));
    EXPECT_EQ(OPCErrorName(Code(0xC0040007)), QStringLiteral("E_UNKNOWNITEMNAME"));
    EXPECT_EQ(OPCErrorName(Code(0xC0040008)), QStringLiteral("E_UNKNOWNITEMNAME"));
    EXPECT_NE(OPCErrorText(Code(0xC0040007)), OPCErrorText(Code(0xC0040008)));
    EXPECT_EQ(OPCErrorName(Code(0x80020005)), QStringLiteral("E_RANGE"));
    EXPECT_TRUE(OPCErrorText(Code(0x80020005)).isEmpty());
    EXPECT_EQ(OPCErrorText(Code(0xC004100D)),
              QStringLiteral("The server has no value for the specified time and item ID."));
}

TEST(OPCErrors, CheckPassesSuccessCodesEvenWithARow) {
    EXPECT_NO_THROW(OPCCheck(S_OK));
    EXPECT_NO_THROW(OPCCheck(S_FALSE));
    EXPECT_NO_THROW(OPCCheck(Code(0x00040200)));
    EXPECT_NO_THROW(OPCCheck(Code(0x40041003)));
}

TEST(OPCErrors, FailureWithAnOPCMessageRaisesEOPCExceptionWithNameAndText) {
    try {
        OPCCheck(Code(0x80041007));
        FAIL() << "no exception";
    } catch (const EOPCException& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("W_NOFILTER The server does not support this filter."));
    }
    try {
        OPCCheck(Code(0xC0040004));
        FAIL() << "no exception";
    } catch (const EOPCException& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral(
            "E_BADTYPE The server cannot convert the data between the\r\nrequested")));
    }
    try {
        OPCRaise(Code(0xC0040206));
    } catch (const EOPCException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("E_NOINFO Information is not available."));
    }
}

TEST(OPCErrors, OtherFailuresRaiseEOleSysErrorWithTheSystemText) {
    try {
        OPCCheck(E_FAIL);
        FAIL() << "no exception";
    } catch (const EOPCException&) {
        FAIL() << "E_FAIL has no OPC row";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), E_FAIL);
        EXPECT_EQ(e.Message(), QStringLiteral("Unspecified error"));
    }
    // Named in the table but without a message: reported like a code outside it.
    try {
        OPCCheck(DISP_E_TYPEMISMATCH);
        FAIL() << "no exception";
    } catch (const EOPCException&) {
        FAIL() << "E_RANGE without a message must not be an EOPCException";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(e.Message(), QStringLiteral("Type mismatch")); // final full stop and CRLF gone
    }
    try {
        OPCCheck(Code(0x8BADF00D));
        FAIL() << "no exception";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), Code(0x8BADF00D));
        EXPECT_EQ(e.Message(), QStringLiteral("OLE error 8badf00d"));
    }
}
