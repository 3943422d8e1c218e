#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelk AE Client"));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Zelk AE Client"));
    window.resize(900, 600);
    window.show();
    return app.exec();
}
