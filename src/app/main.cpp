#include "ClientOptions.h"
#include "ShowException.h"
#include "ZelkAEDemoMain.h"
#include "ZelkApplication.h"

#include <QStandardPaths>
#include <QTimer>

int main(int argc, char* argv[]) {
    // --help, --version and a wrong command line are answered before the application
    // object exists, so they work on a terminal without a display. A command line that may
    // hold Qt's own options is judged again once the application object has taken them out.
    const QStringList arguments = CommandLineArguments(argc, argv);
    TClientOptions options = ParseClientOptions(arguments);
    if (options.Error.isEmpty() || !MayHoldQtOptions(arguments))
        if (const std::optional<int> status = AnswerClientOptions(options))
            return *status;

    TZelkApplication app(argc, argv);
    // The desktop entry of the same name gives the window its icon and its name in the
    // task bar.
    TZelkApplication::setDesktopFileName(QStringLiteral("zelk-ae-client"));
    options = ParseClientOptions(TZelkApplication::arguments());
    if (const std::optional<int> status = AnswerClientOptions(options))
        return *status;

    TZelkApplication::RegisterStartup();
    TMainForm window(nullptr, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    window.show();
    if (!options.Server.isEmpty())
        // Once the window is on the screen, so that a server that cannot be reached is
        // reported over a window the operator can already see and use.
        QTimer::singleShot(0, &window, [&] {
            try {
                window.ConnectTo(options.Server, options.Computer);
            } catch (const std::exception& e) {
                ShowException(e);
            }
        });
    return app.exec();
}
