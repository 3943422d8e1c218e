#include "ClientOptions.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {

const char* const ProgramName = "zelk-ae-client";

// The status of sysexits.h for a bad command line, as the monitor uses it.
constexpr int ExitUsage = 64;

void Write(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

TClientOptions ParseClientOptions(const QStringList& arguments) {
    // The help text is written out in full below; the parser only reads.
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("ProgID"));
    const QCommandLineOption computer(QStringLiteral("computer"), QString(),
                                      QStringLiteral("NAME"));
    QCommandLineParser parser;
    parser.addOptions({help, version, server, computer});

    TClientOptions options;
    if (!parser.parse(arguments)) {
        options.Error = parser.errorText();
        return options;
    }
    options.Help = parser.isSet(help);
    options.Version = parser.isSet(version);
    if (options.Help || options.Version)
        return options;

    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty()) {
        options.Error = QStringLiteral("unexpected argument '%1'").arg(positional.constFirst());
        return options;
    }
    options.Server = parser.value(server).trimmed();
    options.Computer = parser.value(computer).trimmed();
    if (parser.isSet(server) && options.Server.isEmpty())
        options.Error = QStringLiteral("--server needs a name");
    return options;
}

QStringList CommandLineArguments(int argc, char* argv[]) {
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

bool MayHoldQtOptions(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return false; // what follows is no option at all
        if (argument.size() > 2 && argument.startsWith(QLatin1Char('-')) &&
            argument.at(1) != QLatin1Char('-'))
            return true;
    }
    return false;
}

QString ClientHelpText() {
    return QStringLiteral(
               "Usage: %1 [options]\n"
               "Watches, sorts, filters and acknowledges the alarms and events of an OPC AE "
               "server.\n"
               "\n"
               "Options:\n"
               "  --server ProgID    connect at start to this server (a ProgID such as\n"
               "                     Zelk.AESimulator.1, or a class id \"{...}\")\n"
               "  --computer NAME    the computer that server runs on (default: this "
               "computer)\n"
               "  -h, --help         show this text and exit\n"
               "  -v, --version      show the version and exit\n"
               "\n"
               "Qt's own options, such as -platform or -style, are understood as well.\n")
        .arg(QLatin1String(ProgramName));
}

QString ClientVersionText() {
    return QStringLiteral("%1 %2\n").arg(QLatin1String(ProgramName),
                                         QStringLiteral(ZELK_CLIENT_VERSION));
}

std::optional<int> AnswerClientOptions(const TClientOptions& options) {
    if (!options.Error.isEmpty()) {
        Write(stderr, QStringLiteral("%1: %2\ntry '%1 --help' for more information\n")
                          .arg(QLatin1String(ProgramName), options.Error));
        return ExitUsage;
    }
    if (options.Help) {
        Write(stdout, ClientHelpText());
        return 0;
    }
    if (options.Version) {
        Write(stdout, ClientVersionText());
        return 0;
    }
    return std::nullopt;
}
