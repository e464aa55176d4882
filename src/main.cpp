#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvalis"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Norvalis"));
    window.show();
    return app.exec();
}
