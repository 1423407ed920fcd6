// The floor for start-up: a Qt widgets program that shows one window of the
// main window's size and ends when it is closed. With --label the window shows
// one line of Chinese text, so the floor includes the font set-up that any
// program with text pays.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("quillbeck-bench-minimal"));
    w.resize(244, 712);
    if (app.arguments().contains(QStringLiteral("--label")))
        (new QLabel(QStringLiteral("状态：无操作"), &w))->move(10, 10);
    w.show();
    return app.exec();
}
