#include "JournalToolProgram.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return zelk::journaltool::RunJournalTool(QCoreApplication::arguments());
}
