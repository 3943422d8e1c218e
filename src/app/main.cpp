#include "ZelkAEDemoMain.h"
#include "ZelkApplication.h"

#include <QStandardPaths>

int main(int argc, char* argv[]) {
    TZelkApplication app(argc, argv);
    TZelkApplication::RegisterStartup();
    TMainForm window(nullptr, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    window.show();
    return app.exec();
}
