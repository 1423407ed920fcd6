// The floor to compare against: a Qt widgets program showing one small window
// and doing nothing.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel w(QStringLiteral("minimal"));
    w.resize(244, 694);
    w.show();
    return app.exec();
}
