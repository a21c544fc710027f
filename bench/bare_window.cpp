// The yardstick for the program's idle CPU: a bare Qt window, shown, with two
// 100 ms timers doing trivial work, the least any window with two such timers costs.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare_window"));
    window.resize(495, 135);
    window.show();
    // Trivial work the compiler cannot drop: the counts end up in the tooltip at quit.
    unsigned long long ticks[2] = {};
    QTimer first, second;
    for (QTimer* t : {&first, &second}) {
        t->setInterval(100);
    }
    QObject::connect(&first, &QTimer::timeout, [&] { ++ticks[0]; });
    QObject::connect(&second, &QTimer::timeout, [&] { ++ticks[1]; });
    first.start();
    second.start();
    QObject::connect(&app, &QApplication::aboutToQuit,
                     [&] { window.setToolTip(QString::number(ticks[0] + ticks[1])); });
    return app.exec();
}
