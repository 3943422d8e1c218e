#pragma once

// TZelkApplication: the program's application object. It initialises COM for the
// user-interface thread, makes the start-up registrations every client component relies
// on, and is the program's default exception handler: an exception that escapes an
// event handler is shown in an error box with its message, and the program goes on. A
// server call that hangs is met with the "Server is not responding" question.

#include <QApplication>

class TZelkApplication : public QApplication {
    Q_OBJECT
public:
    // The program's title, also the caption of its error boxes.
    static const QString Title;

    TZelkApplication(int& argc, char** argv);
    ~TZelkApplication() override;

    // The COM transport (a component takes the first registered transport as its
    // protocol, so this comes before any component exists) and the simulated AE server,
    // so that a new user finds a server to connect to on this computer.
    static void RegisterStartup();
    // Shows an exception's message in an error box owned by the active window.
    static void ShowExceptionBox(const std::exception& E);

    bool notify(QObject* receiver, QEvent* event) override;
};
