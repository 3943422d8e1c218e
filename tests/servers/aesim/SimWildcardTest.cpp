#include "SimWildcard.h"

#include <gtest/gtest.h>

using zelk::aesim::SimMatchPattern;
using zelk::aesim::TSimWildcard;

namespace {

struct TWildcardCase {
    const char16_t* Pattern;
    const char16_t* Text;
    bool Matches;
};

} // namespace

TEST(SimWildcard, MatchesTheOpcPatternTable) {
    const TWildcardCase cases[] = {
        // Plain text matches itself only, case-sensitively and whole.
        {u"Plant1", u"Plant1", true},
        {u"Plant1", u"plant1", false},
        {u"Plant1", u"Plant10", false},
        {u"Plant1", u"", false},
        {u"", u"", true},
        {u"", u"x", false},
        // ? is exactly one character.
        {u"Plant?", u"Plant1", true},
        {u"Plant?", u"Plant", false},
        {u"Plant?", u"Plant12", false},
        {u"Tank ?", u"Tank 1", true},
        // * is any run, also none, anywhere in the pattern.
        {u"*", u"", true},
        {u"*", u"Plant1.TankFarm", true},
        {u"Plant1.*", u"Plant1.TankFarm", true},
        {u"Plant1.*", u"Plant1", false},
        {u"*.LIC201", u"Plant1.TankFarm.LIC201", true},
        {u"*Farm*", u"Plant1.TankFarm.Tank 1", true},
        {u"P*1*1", u"Plant1.Tank 1", true},
        {u"P*1*1", u"Plant1.Tank 2", false},
        {u"a*b*c", u"aXbYbZc", true},
        {u"a*b*c", u"aXbYcZ", false},
        {u"**x", u"x", true},
        // # is one digit.
        {u"LIC###", u"LIC201", true},
        {u"LIC###", u"LIC20A", false},
        {u"Plant#", u"Plant", false},
        // [list], ranges and [!list].
        {u"FIC30[01]", u"FIC300", true},
        {u"FIC30[01]", u"FIC302", false},
        {u"[A-Z]IC*", u"TIC7", true},
        {u"[A-Z]IC*", u"tIC7", false},
        {u"LI[!2]*", u"LI101", true},
        {u"LI[!2]*", u"LI201", false},
        {u"[!a-z]*", u"Plant1", true},
        {u"x[-]y", u"x-y", true},
        {u"x[a-]y", u"x-y", true},
        {u"x[a-]y", u"xay", true},
        {u"x[!-]y", u"x-y", false},
        // Special characters are matched through a list.
        {u"a[*]b", u"a*b", true},
        {u"a[*]b", u"aXb", false},
        {u"a[?]b", u"a?b", true},
        {u"a[#]b", u"a#b", true},
        {u"a[[]b", u"a[b", true},
        {u"a]b", u"a]b", true},
        // An unclosed list makes the pattern match nothing.
        {u"Plant[1", u"Plant[1", false},
        {u"Plant[1", u"Plant1", false},
        {u"*[", u"x[", false},
    };
    for (const auto& c : cases) {
        const QString pattern = QString::fromUtf16(c.Pattern);
        const QString text = QString::fromUtf16(c.Text);
        EXPECT_EQ(SimMatchPattern(text, pattern), c.Matches)
            << "pattern \"" << pattern.toStdString() << "\" text \"" << text.toStdString() << '"';
    }
}

TEST(SimWildcard, CompiledPatternKeepsItsTextAndIsReusable) {
    const TSimWildcard pattern(u"Plant?.*");
    EXPECT_EQ(pattern.Pattern(), QStringLiteral("Plant?.*"));
    EXPECT_TRUE(pattern.Matches(u"Plant1.TankFarm"));
    EXPECT_TRUE(pattern.Matches(u"Plant2.X"));
    EXPECT_FALSE(pattern.Matches(u"Plant12.X"));
    EXPECT_TRUE(pattern.Matches(u"Plant1.TankFarm"));
}
