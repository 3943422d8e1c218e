// Codes for texts: their order is the collation order, also when texts crowd one place
// and every code has to be given anew; texts that collate equal share one code; a code
// goes with its last user.

#include "ZelkTextCodes.h"
#include "ZelkTextCompare.h"

#include <gtest/gtest.h>
#include <vector>

using zelk::ae::TTextCodes;

namespace {

// Every pair of held texts: the codes compare as the texts collate.
void ExpectCollationOrder(const std::vector<std::pair<QString, TTextCodes::TNode*>>& held) {
    for (std::size_t i = 0; i < held.size(); ++i)
        for (std::size_t j = 0; j < held.size(); ++j) {
            const int texts = AnsiCompareStr(held[i].first, held[j].first);
            const std::uint64_t a = held[i].second->Code;
            const std::uint64_t b = held[j].second->Code;
            const int codes = (a > b) - (a < b);
            ASSERT_EQ(codes, texts)
                << held[i].first.toStdString() << " / " << held[j].first.toStdString();
        }
}

} // namespace

TEST(TextCodes, CodesFollowTheCollationWhereverTextsCrowd) {
    TTextCodes codes(zelk::ae::MakeCollator(Qt::CaseSensitive));
    std::vector<std::pair<QString, TTextCodes::TNode*>> held;
    const auto acquire = [&](const QString& text) {
        held.emplace_back(text, &codes.Acquire(text));
    };
    // Each new text sorts just after the one before it and before "n": the room between
    // two neighbours halves every time, until the codes are given anew.
    acquire(QStringLiteral("n"));
    QString text = QStringLiteral("m");
    for (int i = 0; i < 150; ++i) {
        acquire(text);
        text += u'a';
    }
    // Texts that go first and last, and between the others.
    for (int i = 0; i < 100; ++i) {
        acquire(QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')));
        acquire(QStringLiteral("zz%1").arg(i, 3, 10, QLatin1Char('0')));
        acquire(QStringLiteral("Ma%1").arg(i));
    }
    EXPECT_GT(codes.Relabels(), 0u);
    ExpectCollationOrder(held);
    codes.Clear();
}

TEST(TextCodes, TextsThatCollateEqualShareACodeThatGoesWithItsLastUser) {
    TTextCodes codes(zelk::ae::MakeCollator(Qt::CaseSensitive));
    const QString composed = QStringLiteral("Caf\u00e9");
    const QString decomposed = QStringLiteral("Cafe\u0301");
    ASSERT_EQ(AnsiCompareStr(composed, decomposed), 0);
    TTextCodes::TNode& first = codes.Acquire(composed);
    TTextCodes::TNode& second = codes.Acquire(decomposed);
    TTextCodes::TNode& upper = codes.Acquire(QStringLiteral("CAF\u00c9"));
    EXPECT_EQ(&first, &second);
    EXPECT_NE(&first, &upper);
    EXPECT_EQ(codes.Count(), 2u);

    codes.Release(upper);
    codes.Release(first);
    EXPECT_EQ(codes.Count(), 1u) << "one use is left";
    EXPECT_EQ(&codes.Acquire(decomposed), &second);
    codes.Release(second);
    codes.Release(second);
    EXPECT_EQ(codes.Count(), 0u);
    // Both spellings are forgotten with their node: a new use starts afresh.
    TTextCodes::TNode& again = codes.Acquire(composed);
    EXPECT_EQ(again.Uses, 1u);
    EXPECT_EQ(again.Texts, QStringList{composed});
    codes.Release(again);
}
