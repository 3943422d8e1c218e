#include "TextForm.h"

#include "TextFormTestTypes.h"

#include <QBuffer>
#include <gtest/gtest.h>
#include <random>

namespace {

QString ReadError(const QByteArray& text, TComponent* target) {
    try {
        ReadComponentFromText(text, target);
    } catch (const EReadError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

void Fill(TSampleComponent& c) {
    c.SetName(QStringLiteral("Sample1"));
    c.SetText(QStringLiteral("it's\r\nok \u00e9\u20ac\U0001F600 ") + QString(70, QLatin1Char('x')));
    c.SetCaption(QString());
    c.SetActive(true);
    c.SetCount(-42);
    c.SetBig(-9223372036854775807LL - 1);
    c.SetUnsigned(4294967295u);
    c.SetRatio(-0.1);
    c.SetMode(TSampleComponent::moFast);
    c.SetLevel(TSampleComponent::TLevel::lvHigh);
    c.SetKinds(TSampleComponent::kiSimple | TSampleComponent::kiTracking);
    c.SetLines({QStringLiteral("a"), QString(), QStringLiteral("'quoted'"), QStringLiteral("#1")});
    c.SetGuarded(5);
    for (int i = 0; i < 3; ++i) {
        auto* item = static_cast<TSampleItem*>(c.Items()->Add());
        item->SetCaption(QStringLiteral("Item %1").arg(i));
        item->SetLevel(i == 1 ? 1000 : i);
        if (i == 2)
            item->SetSources({QStringLiteral("Area1.Src"), QString()});
    }
}

} // namespace

TEST(TextForm, RoundTripKeepsEveryKindOfValue) {
    TSampleComponent original;
    Fill(original);
    const QByteArray text = WriteComponentToText(&original);

    TSampleComponent copy;
    ReadComponentFromText(text, &copy);
    EXPECT_EQ(copy.Name(), original.Name());
    EXPECT_EQ(copy.Text(), original.Text());
    EXPECT_EQ(copy.Caption(), QString());
    EXPECT_TRUE(copy.Active());
    EXPECT_EQ(copy.Count(), -42);
    EXPECT_EQ(copy.Big(), original.Big());
    EXPECT_EQ(copy.Unsigned(), 4294967295u);
    EXPECT_EQ(copy.Ratio(), -0.1);
    EXPECT_EQ(copy.Mode(), TSampleComponent::moFast);
    EXPECT_EQ(copy.Level(), TSampleComponent::TLevel::lvHigh);
    EXPECT_EQ(copy.Kinds(), original.Kinds());
    EXPECT_EQ(copy.Lines(), original.Lines());
    EXPECT_EQ(copy.Guarded(), 5);
    ASSERT_EQ(copy.Items()->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(copy.Item(i)->Caption(), original.Item(i)->Caption());
        EXPECT_EQ(copy.Item(i)->Level(), original.Item(i)->Level());
        EXPECT_EQ(copy.Item(i)->Sources(), original.Item(i)->Sources());
    }
    EXPECT_EQ(WriteComponentToText(&copy), text);

    // Reading again replaces the collection's items instead of appending to them.
    ReadComponentFromText(text, &copy);
    EXPECT_EQ(copy.Items()->Count(), 3);
}

TEST(TextForm, WritesTheFrameworkShapeAndSkipsDefaults) {
    TSampleComponent fresh;
    EXPECT_EQ(WriteComponentToText(&fresh), QByteArray("object TSampleComponent\n"
                                                       "  Active = False\n"
                                                       "end\n"));

    TSampleComponent c;
    c.SetName(QStringLiteral("S"));
    c.SetText(QStringLiteral("it's\r\n\u00e9"));
    c.SetCaption(QString()); // empty, but not the declared default 'none'
    c.SetMode(TSampleComponent::moOff);
    c.SetKinds(TSampleComponent::kiSimple | TSampleComponent::kiTracking);
    c.SetTransient(3);
    c.SetInternal(4);
    c.SetLines({QStringLiteral("a"), QString()});
    auto* item = static_cast<TSampleItem*>(c.Items()->Add());
    item->SetCaption(QStringLiteral("one"));
    c.Items()->Add();
    EXPECT_EQ(WriteComponentToText(&c), QByteArray("object S: TSampleComponent\n"
                                                   "  Text = 'it''s'#13#10#233\n"
                                                   "  Caption = ''\n"
                                                   "  Active = False\n"
                                                   "  Mode = moOff\n"
                                                   "  Kinds = [kiSimple, kiTracking]\n"
                                                   "  Lines.Strings = (\n"
                                                   "    'a'\n"
                                                   "    '')\n"
                                                   "  Items = <\n"
                                                   "    item\n"
                                                   "      Caption = 'one'\n"
                                                   "    end\n"
                                                   "    item\n"
                                                   "    end>\n"
                                                   "end\n"));

    c.SetText(QString(100, QLatin1Char('a')));
    const QByteArray split = WriteComponentToText(&c);
    EXPECT_TRUE(split.contains("  Text = '" + QByteArray(64, 'a') + "' +\n    '" +
                               QByteArray(36, 'a') + "'\n"))
        << split.constData();
}

TEST(TextForm, ReadSetsLoadingAndCallsLoadedOnlyAfterSuccess) {
    TSampleComponent c;
    ReadComponentFromText("object Named: TSampleComponent\n"
                          "  active = true\n" // names and keywords in any case
                          "  Lines.Strings = ('x' + 'y'#65)\n"
                          "  Ratio = 2\n"
                          "END",
                          &c);
    EXPECT_TRUE(c.FLoadingSeenBySetter);
    EXPECT_FALSE(c.ComponentState().Contains(csLoading));
    EXPECT_EQ(c.LoadedCalls, 1);
    EXPECT_EQ(c.Name(), QStringLiteral("Named"));
    EXPECT_EQ(c.Lines(), QStringList{QStringLiteral("xyA")});
    EXPECT_EQ(c.Ratio(), 2.0);

    // A copy loaded next to its original under the same owner gets a name of its own.
    TComponent owner;
    auto* first = new TSampleComponent(&owner);
    first->SetName(QStringLiteral("Named"));
    auto* second = new TSampleComponent(&owner);
    ReadComponentFromText(WriteComponentToText(first), second);
    EXPECT_EQ(second->Name(), QStringLiteral("Named_1"));

    // A setter that refuses its value: the lines before it stay applied, Loaded is not
    // called and the component is left out of the loading state.
    TSampleComponent d;
    EXPECT_EQ(
        ReadError("object TSampleComponent\n  Count = 3\n  Guarded = -1\n  Big = 9\nend", &d),
        QStringLiteral("Line 3: Error reading property Guarded: Guarded must not be negative"));
    EXPECT_EQ(d.Count(), 3);
    EXPECT_EQ(d.Big(), 0);
    EXPECT_EQ(d.LoadedCalls, 0);
    EXPECT_FALSE(d.ComponentState().Contains(csLoading));

    // A syntax error anywhere applies nothing, not even the name.
    EXPECT_TRUE(ReadError("object X: TSampleComponent\n  Count = 3\n  Text = 'open\nend", &d)
                    .startsWith(QStringLiteral("Line 3: ")));
    EXPECT_EQ(d.Count(), 3);
    EXPECT_EQ(d.Name(), QString());
}

TEST(TextForm, BadInputRaisesReadErrorNamingTheLine) {
    const struct {
        QByteArray Text;
        const char* Message;
    } cases[] = {
        {"object TSampleComponent\n  Count = 1\n  Foo = 3\nend",
         "Line 3: Property Foo does not exist"},
        {"object TSampleComponent\n\n  Count = 'x'\nend",
         "Line 3: Invalid value for property Count: integer expected, found string"},
        {"object TSampleComponent\n  Count = 2147483648\nend",
         "Line 2: Value 2147483648 out of range for property Count"},
        {"object TSampleComponent\n  Unsigned = -1\nend",
         "Line 2: Value -1 out of range for property Unsigned"},
        {"object TSampleComponent\n  Mode = moWarp\nend",
         "Line 2: moWarp is not a valid value of property Mode"},
        {"object TSampleComponent\n  Kinds = [kiSimple, kiNone]\nend",
         "Line 2: kiNone is not a valid value of property Kinds"},
        {"object TSampleComponent\n  Active = 1\nend",
         "Line 2: Invalid value for property Active: True or False expected, found integer"},
        {"object TSampleComponent\n  Lines.Strings = ('a' 1)\nend",
         "Line 2: Invalid value in list Lines.Strings: string expected, found integer"},
        {"object TSampleComponent\n  Lines = ('a')\nend",
         "Line 2: Property Lines is a string list and is written as Lines.Strings"},
        {"object TSampleComponent\n  Count.Strings = ('a')\nend",
         "Line 2: Property Count.Strings does not exist"},
        {"object TSampleComponent\n  Internal = 1\nend",
         "Line 2: Property Internal does not exist"},
        {"object TSampleComponent\n  Items = <\n    item\n      Nope = 1\n    end>\nend",
         "Line 4: Property Nope does not exist"},
        {"object TOther\nend", "Line 1: Class TOther does not match the component's class "
                               "TSampleComponent"},
        {"object 1x: TSampleComponent\nend", "Line 1: Invalid number"},
        {"object TSampleComponent\n  Count = 1\n", "Line 3: Unexpected end of text: Property name "
                                                   "or 'end' expected"},
        {"object TSampleComponent\n  Text = 'abc", "Line 2: Unterminated string"},
        {"object TSampleComponent\n  Text = 'a\xff'\nend", "Line 2: Invalid UTF-8 in string"},
        {"object TSampleComponent\n  Text = #70000\nend",
         "Line 2: Character code #70000 out of range"},
        {"object TSampleComponent\nend\nend", "Line 3: Unexpected text after the end"},
        {"object TSampleComponent\n  object Inner: TSampleComponent\n  end\nend",
         "Line 2: Nested components are not supported"},
        {QByteArray("\x7f"
                    "ELF\x02\x01\x00\x00",
                    8),
         "Line 1: Invalid character #127"},
        {QByteArray("object TSampleComponent\n  Text = 'a") + '\0' + "b'\nend",
         "Line 2: Invalid character #0 in string"},
        {"", "Line 1: Unexpected end of text: 'object' expected"},
    };
    for (const auto& c : cases) {
        TSampleComponent target;
        EXPECT_EQ(ReadError(c.Text, &target), QString::fromUtf8(c.Message)) << c.Text.constData();
        EXPECT_FALSE(target.ComponentState().Contains(csLoading));
        EXPECT_EQ(target.LoadedCalls, 0);
    }

    TSampleComponent target;
    const QByteArray deep = "object TSampleComponent\n  Lines.Strings = " + QByteArray(100, '(') +
                            QByteArray(100, ')') + "\nend";
    EXPECT_EQ(ReadError(deep, &target), QStringLiteral("Line 2: Nesting too deep"));

    std::mt19937 random(7);
    QByteArray garbage = "object TSampleComponent\n";
    garbage.resize(10 * 1024 * 1024);
    for (qsizetype i = 24; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(random());
    EXPECT_TRUE(ReadError(garbage, &target).startsWith(QStringLiteral("Line ")));
    const QByteArray huge = "object TSampleComponent\n  Text = '" +
                            QByteArray(zelk::rtl::MaxTextFormSize, 'a') + "'\nend";
    EXPECT_TRUE(ReadError(huge, &target).startsWith(QStringLiteral("Line 1: Text form too large")));
}

TEST(TextForm, StreamsAndRefusesWhatItCannotStore) {
    TSampleComponent original;
    Fill(original);
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    WriteComponentToStream(&original, buffer);
    buffer.seek(0);
    TSampleComponent copy;
    ReadComponentFromStream(buffer, &copy);
    EXPECT_EQ(copy.Text(), original.Text());
    EXPECT_EQ(copy.Items()->Count(), 3);

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_THROW(WriteComponentToStream(&original, readOnly), EStreamError);

    TOddComponent odd;
    try {
        WriteComponentToText(&odd);
        ADD_FAILURE() << "a QPoint property was written";
    } catch (const EPropertyError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Property Where of TOddComponent has a type the "
                                              "text form cannot store (QPoint)"));
    }
    TBadDefaultComponent badDefault;
    EXPECT_THROW(WriteComponentToText(&badDefault), EPropertyError);
}
