// The desktop program's command line: what it reads, what it refuses, and which command
// lines have to wait for Qt's application object to be judged.

#include "ClientOptions.h"

#include <gtest/gtest.h>

namespace {

TClientOptions Parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("zelk-ae-client"));
    return ParseClientOptions(arguments);
}

QStringList Words(const char* line) {
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

TEST(ClientOptionsTest, ReadsServerAndComputerInBothForms) {
    for (const char* line : {"--server Zelk.AESimulator.1 --computer plant-01",
                             "--server=Zelk.AESimulator.1 --computer=plant-01",
                             "--computer plant-01 --server=Zelk.AESimulator.1"}) {
        const TClientOptions options = Parse(Words(line));
        EXPECT_TRUE(options.Error.isEmpty()) << line << ": " << options.Error.toStdString();
        EXPECT_EQ(options.Server, QStringLiteral("Zelk.AESimulator.1")) << line;
        EXPECT_EQ(options.Computer, QStringLiteral("plant-01")) << line;
        EXPECT_FALSE(options.Help || options.Version) << line;
    }
    // A class id in braces, and an empty computer name for this computer.
    const TClientOptions options =
        Parse({QStringLiteral("--server"), QStringLiteral("{6E617C5F-2B4C-4F0A-9C1D-000000000001}"),
               QStringLiteral("--computer"), QString()});
    EXPECT_TRUE(options.Error.isEmpty()) << options.Error.toStdString();
    EXPECT_EQ(options.Server, QStringLiteral("{6E617C5F-2B4C-4F0A-9C1D-000000000001}"));
    EXPECT_TRUE(options.Computer.isEmpty());

    const TClientOptions none = Parse({});
    EXPECT_TRUE(none.Error.isEmpty() && none.Server.isEmpty() && none.Computer.isEmpty());
    EXPECT_FALSE(none.Help || none.Version);
}

TEST(ClientOptionsTest, HelpAndVersionAnswerWhateverElseIsGiven) {
    for (const char* line : {"--help", "-h", "--server X --help", "--help stray"}) {
        const TClientOptions options = Parse(Words(line));
        EXPECT_TRUE(options.Help) << line;
        EXPECT_TRUE(options.Error.isEmpty()) << line;
    }
    for (const char* line : {"--version", "-v", "--computer Y -v"}) {
        const TClientOptions options = Parse(Words(line));
        EXPECT_TRUE(options.Version) << line;
        EXPECT_TRUE(options.Error.isEmpty()) << line;
    }
}

TEST(ClientOptionsTest, RefusesAWrongCommandLineNamingTheCulprit) {
    const struct {
        QStringList Arguments;
        const char* Culprit;
    } cases[] = {
        {Words("--bogus"), "bogus"},
        {Words("--server"), "server"},
        {{QStringLiteral("--server"), QStringLiteral("  ")}, "--server"},
        {{QStringLiteral("--server=")}, "--server"},
        {Words("Zelk.AESimulator.1"), "Zelk.AESimulator.1"},
        {Words("--server X -- --computer"), "--computer"},
    };
    for (const auto& c : cases) {
        const TClientOptions options = Parse(c.Arguments);
        const std::string shown = c.Arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(options.Error.contains(QString::fromUtf8(c.Culprit)))
            << shown << ": " << options.Error.toStdString();
        EXPECT_FALSE(options.Help || options.Version) << shown;
    }
}

TEST(ClientOptionsTest, OnlySingleDashWordsMayBeQtOptions) {
    // Qt's own options are unknown to the parser, so such a command line waits for the
    // application object to take them out.
    EXPECT_FALSE(Parse(Words("-platform offscreen")).Error.isEmpty());

    const QStringList program{QStringLiteral("zelk-ae-client")};
    for (const char* line : {"-platform offscreen", "--server X -style fusion", "-reverse"})
        EXPECT_TRUE(MayHoldQtOptions(program + Words(line))) << line;
    for (const char* line : {"", "--bogus", "-h", "-v", "--server X", "-- -platform"})
        EXPECT_FALSE(MayHoldQtOptions(program + Words(line))) << line;
    // The program's own name is no option, whatever it looks like.
    EXPECT_FALSE(MayHoldQtOptions({QStringLiteral("-odd-name")}));
}

TEST(ClientOptionsTest, TheHelpTextListsEveryOptionTheParserReads) {
    const QString help = ClientHelpText();
    for (const char* option : {"--server", "--computer", "-h, --help", "-v, --version"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(option))) << option;
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: zelk-ae-client ")));
    EXPECT_TRUE(ClientVersionText().startsWith(QStringLiteral("zelk-ae-client ")));
}
