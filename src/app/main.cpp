#include "ZelkAEDemoMain.h"
#include "ZelkApplication.h"

int main(int argc, char* argv[]) {
    TZelkApplication app(argc, argv);
    TZelkApplication::RegisterStartup();
    TMainForm window;
    window.show();
    return app.exec();
}
