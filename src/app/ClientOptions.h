#pragma once

// The desktop program's command line: "--server ProgID --computer NAME" open the window on
// a plant's server (so a shortcut can carry them), "--help" and "--version" answer on the
// terminal and end the program before any window exists.

#include <QString>
#include <QStringList>
#include <optional>

struct TClientOptions {
    bool Help = false;
    bool Version = false;
    QString Server;   // ProgID or class id to connect to at start; empty: no connection
    QString Computer; // computer of that server; empty: this computer
    QString Error;    // a wrong command line, said in one line; empty when it was read
};

// Reads the arguments (program name first), GNU style: "--server NAME" or "--server=NAME".
TClientOptions ParseClientOptions(const QStringList& arguments);

// The program's arguments as the C runtime hands them over, before Qt's application object
// has taken out its own options.
QStringList CommandLineArguments(int argc, char* argv[]);

// True when the arguments may hold one of Qt's own options ("-platform offscreen",
// "-style fusion"): a single dash and a word. Only the application object knows those and
// takes them out, so a command line with one can only be judged after it exists.
bool MayHoldQtOptions(const QStringList& arguments);

QString ClientHelpText();
QString ClientVersionText();

// Answers --help and --version on standard output and a wrong command line on standard
// error; returns the exit status then (0, or 64 for a usage error), and nothing when the
// program goes on to its window.
std::optional<int> AnswerClientOptions(const TClientOptions& options);
