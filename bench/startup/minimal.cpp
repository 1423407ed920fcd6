// The floor for start-up: a Qt widgets program that shows one window of the
// main window's size and ends when it is closed.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("quillbeck-bench-minimal"));
    w.resize(244, 712);
    w.show();
    return app.exec();
}
