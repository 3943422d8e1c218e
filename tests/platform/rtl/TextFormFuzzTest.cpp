#include "TextForm.h"
#include "TextFormTestTypes.h"

#include <gtest/gtest.h>
#include <random>

namespace {

const QByteArray ValidText = "object Sample1: TSampleComponent\n"
                             "  Text = 'it''s'#13#10'ok' +\n"
                             "    'more'\n"
                             "  Active = True\n"
                             "  Count = -42\n"
                             "  Big = 9223372036854775807\n"
                             "  Ratio = 1.5e-3\n"
                             "  Mode = moFast\n"
                             "  Kinds = [kiSimple, kiTracking]\n"
                             "  Lines.Strings = (\n"
                             "    'a'\n"
                             "    '')\n"
                             "  Items = <\n"
                             "    item\n"
                             "      Caption = 'x'\n"
                             "      Sources.Strings = (\n"
                             "        'Area.Src')\n"
                             "    end\n"
                             "    item\n"
                             "      Level = 3\n"
                             "    end>\n"
                             "  Guarded = 1\n"
                             "end\n";

// Bytes that steer mutations towards the grammar's interesting corners.
const char Alphabet[] = "'#$+-.,:=()[]<>0123456789eE \n\r\tobjectendiemTrueFalse\x00\xff\xc3";

QByteArray Mutate(QByteArray text, std::mt19937& random) {
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !text.isEmpty(); ++e) {
        const qsizetype at = static_cast<qsizetype>(random() % static_cast<quint32>(text.size()));
        const char byte = Alphabet[random() % (sizeof Alphabet - 1)];
        switch (random() % 5) {
        case 0:
            text[at] = byte;
            break;
        case 1:
            text.insert(at, byte);
            break;
        case 2:
            text.remove(at, 1 + static_cast<qsizetype>(random() % 8));
            break;
        case 3:
            text.truncate(at);
            break;
        default:
            text.insert(at, text.mid(at, static_cast<qsizetype>(random() % 40)));
            break;
        }
    }
    return text;
}

// Reads text into target and reports whether the read succeeded. Anything other than
// success or EReadError fails the test.
bool ReadsCleanly(const QByteArray& text, TSampleComponent& target) {
    try {
        ReadComponentFromText(text, &target);
        return true;
    } catch (const EReadError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Line "))) << qPrintable(e.Message());
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected exception: " << e.what()
                      << "\ninput: " << text.toHex().constData();
    }
    EXPECT_FALSE(target.ComponentState().Contains(csLoading));
    return false;
}

} // namespace

TEST(TextFormFuzz, RandomAndMutatedInputEitherReadsOrRaisesReadError) {
    std::mt19937 random(20240611);
    TSampleComponent reused;
    ASSERT_TRUE(ReadsCleanly(ValidText, reused));

    int successes = 0;
    for (int i = 0; i < 2000; ++i) {
        QByteArray bytes(static_cast<qsizetype>(random() % 200), '\0');
        for (char& b : bytes)
            b = static_cast<char>(random());
        if (i % 2)
            bytes.prepend("object TSampleComponent\n");
        successes += ReadsCleanly(bytes, reused);
    }
    for (int i = 0; i < 4000; ++i) {
        const QByteArray text = Mutate(ValidText, random);
        TSampleComponent fresh;
        if (ReadsCleanly(text, fresh)) {
            ++successes;
            // Whatever was read can be written and read again.
            TSampleComponent again;
            EXPECT_TRUE(ReadsCleanly(WriteComponentToText(&fresh), again));
        }
        ReadsCleanly(text, reused);
    }
    EXPECT_GT(successes, 0); // the mutations also reach the applying stage
}
