#include "StringLists.h"

#include "Exceptions.h"

#include <gtest/gtest.h>

namespace {

QStringList Lines(std::initializer_list<const char*> lines) {
    QStringList list;
    for (const char* line : lines)
        list.append(QString::fromUtf8(line));
    return list;
}

} // namespace

TEST(StringLists, ValuesAreFoundByNameWithoutRegardToCase) {
    const QStringList params =
        Lines({"plain line", "xml-user=operator", "URL=http://host/a=b", "xml-user=second", "=x"});
    EXPECT_EQ(Values(params, QStringLiteral("XML-User")), QStringLiteral("operator"));
    EXPECT_EQ(Values(params, QStringLiteral("url")), QStringLiteral("http://host/a=b"));
    EXPECT_EQ(Values(params, QStringLiteral("missing")), QString());
    EXPECT_EQ(Values(params, QStringLiteral("plain line")), QString());
    EXPECT_EQ(IndexOfName(params, QStringLiteral("plain line")), -1);
    EXPECT_EQ(IndexOfName(params, QStringLiteral("xml-user")), 1);
    EXPECT_EQ(IndexOfName(params, QString()), 4);

    EXPECT_EQ(Names(params, 2), QStringLiteral("URL"));
    EXPECT_EQ(ValueFromIndex(params, 2), QStringLiteral("http://host/a=b"));
    EXPECT_EQ(Names(params, 0), QString());
    EXPECT_EQ(ValueFromIndex(params, 0), QString());
    try {
        Names(params, 5);
        FAIL() << "no range error";
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("List index out of bounds (5)"));
    }
    EXPECT_THROW(ValueFromIndex(params, -1), EListError);
}

TEST(StringLists, SetValuesReplacesAppendsOrDeletes) {
    QStringList params = Lines({"LOGLEVEL=1", "ua-proxy=old", "USESYNC=0"});
    SetValues(params, QStringLiteral("UA-PROXY"), QStringLiteral("new"));
    EXPECT_EQ(params, Lines({"LOGLEVEL=1", "UA-PROXY=new", "USESYNC=0"}));
    SetValues(params, QStringLiteral("xml-pass"), QStringLiteral("secret=1"));
    EXPECT_EQ(params, Lines({"LOGLEVEL=1", "UA-PROXY=new", "USESYNC=0", "xml-pass=secret=1"}));
    SetValues(params, QStringLiteral("loglevel"), QString());
    EXPECT_EQ(params, Lines({"UA-PROXY=new", "USESYNC=0", "xml-pass=secret=1"}));
    SetValues(params, QStringLiteral("absent"), QString());
    EXPECT_EQ(params.size(), 3);
}

TEST(StringLists, CommaTextQuotesWhatWouldNotReadBack) {
    EXPECT_EQ(CommaText(Lines({"a", "b c", "d,e", "say \"hi\"", "", "tab\there"})),
              QStringLiteral("a,\"b c\",\"d,e\",\"say \"\"hi\"\"\",,\"tab\there\""));
    EXPECT_EQ(CommaText(Lines({""})), QStringLiteral("\"\""));
    EXPECT_EQ(CommaText({}), QString());

    for (const QStringList& list :
         {Lines({"a", "b c", "d,e", "say \"hi\"", "", "x"}), Lines({""}), Lines({"", ""}),
          Lines({"a", ""}), Lines({"", "a"}), QStringList()}) {
        QStringList back = Lines({"stale"});
        SetCommaText(back, CommaText(list));
        EXPECT_EQ(back, list) << CommaText(list).toStdString();
    }
}

TEST(StringLists, SetCommaTextSplitsAtCommasAndBlanksOutsideQuotes) {
    QStringList list;
    SetCommaText(list, QStringLiteral("  one two,three ,  \"four five\",\"six\"\"s\",, last"));
    EXPECT_EQ(list, Lines({"one", "two", "three", "four five", "six\"s", "", "last"}));
    SetCommaText(list, QStringLiteral("a,"));
    EXPECT_EQ(list, Lines({"a", ""}));
    SetCommaText(list, QStringLiteral("\"unterminated, still one"));
    EXPECT_EQ(list, Lines({"unterminated, still one"}));
    SetCommaText(list, QStringLiteral("   "));
    EXPECT_TRUE(list.isEmpty());
    SetCommaText(list, QString::fromUtf16(u"a,b\0c,d", 7));
    EXPECT_EQ(list, Lines({"a", "b"}));
}
