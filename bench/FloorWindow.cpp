// The floor of the desktop benchmarks: the least a Qt Widgets program with a menu and a
// label costs. It shows the same kind of text as Horavox (Chinese, so the same fonts are
// loaded) and nothing else. With --tick it also runs a 100 ms timer that does nothing: the
// floor of what Horavox's chime check costs while idle.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>

#include <cstring>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("floor"));
    QMenu* menu = window.menuBar()->addMenu(QStringLiteral("菜单"));
    menu->addAction(QStringLiteral("关于"));
    window.setCentralWidget(new QLabel(QStringLiteral("请连接设备"), &window));
    window.resize(380, 293);
    window.show();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(100);
    if (argc > 1 && std::strcmp(argv[1], "--tick") == 0)
        tick.start();
    return QApplication::exec();
}
