// The least a Qt Widgets program does to show a window of the launcher's size: startup_bench's
// baseline for the launcher's time to its main window.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    // The size of the launcher's fixed main window at 96 dpi.
    window.setFixedSize(561, 572);
    window.show();
    return application.exec();
}
