// The least a Qt Widgets program does to show a window of the launcher's size: startup_bench's
// baseline for the launcher's time to its main window.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    // The size of the launcher's fixed main window at 96 dpi.
    window.setFixedSize(561, 572);
    // With a caption asked for, one line of text: the least a window that shows words must set up.
    if (const char* caption = std::getenv("VANTREL_BENCH_CAPTION"); caption && *caption) {
        (new QLabel(QString::fromUtf8(caption), &window))->move(8, 8);
    }
    window.show();
    return application.exec();
}
