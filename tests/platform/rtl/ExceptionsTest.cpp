#include "Exceptions.h"

#include <gtest/gtest.h>

TEST(Exceptions, CarryTheirMessageAndCode) {
    try {
        throw EOleSysError(QStringLiteral("Unspecified error"),
                           static_cast<std::int32_t>(0x80004005));
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unspecified error"));
        EXPECT_STREQ(e.what(), "Unspecified error");
        auto* ole = dynamic_cast<const EOleSysError*>(&e);
        ASSERT_NE(ole, nullptr);
        EXPECT_EQ(static_cast<std::uint32_t>(ole->ErrorCode()), 0x80004005u);
    }
    EXPECT_EQ(EListError::IndexOutOfBounds(-1).Message(),
              QStringLiteral("List index out of bounds (-1)"));
}
