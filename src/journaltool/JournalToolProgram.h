#pragma once

#include <QStringList>

namespace zelk::journaltool {

// The whole program: reads the command line, runs the command, returns the exit status.
int RunJournalTool(const QStringList& arguments);

} // namespace zelk::journaltool
