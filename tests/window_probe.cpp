// A second process for the fault tests: the program's window run the way main() runs it,
// with the clicks a user would make, so that a test can watch how the process ends.
//
//   window_probe close-on-request  connects (按钮1) and prints "connected"; closes the window
//                                  once anything arrives on standard input, printing
//                                  "closing N open|closed T" first (N = bytes received so
//                                  far, T = steady clock in ns, comparable across processes)
//   window_probe open N            opens COMn with a bare link; exit code 0 if it opened

#include "Commands.h"
#include "MainWindow.h"
#include "ProgramState.h"
#include "SerialLink.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <poll.h>

namespace {

int CloseOnRequest(int argc, char* argv[]) {
    QApplication app(argc, argv);
    horavox::ApplyDesignFont(app);
    horavox::ProgramState state;
    horavox::MainWindow window(state);
    window.OnCreated();
    window.ShowCentred();
    long long received = 0;
    QObject::connect(&window.Link(), &horavox::SerialLink::ByteReceived,
                     [&received](qint32) { ++received; });
    QTimer::singleShot(0, window.按钮1, [&] {
        window.按钮1->click();
        std::printf("connected\n");
        std::fflush(stdout);
    });
    // The request reaches the window the way a window manager's close does: as an event
    // the loop takes whenever it gets to it.
    std::atomic<bool> done{false};
    std::thread request([&] {
        pollfd in{0, POLLIN, 0};
        while (!done && ::poll(&in, 1, 100) == 0) {
        }
        if (done || !(in.revents & POLLIN))
            return;
        QMetaObject::invokeMethod(
            &window,
            [&] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::printf("closing %lld %s %lld\n", received,
                            window.Link().IsOpen() ? "open" : "closed",
                            static_cast<long long>(
                                std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                std::fflush(stdout);
                window.close();
            },
            Qt::QueuedConnection);
    });
    QApplication::exec();
    done = true;
    request.join();
    return 0;
}

int Open(int number) {
    horavox::SerialLink link;
    link.SetPortNumber(number);
    return link.Open() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "close-on-request") == 0)
        return CloseOnRequest(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "open") == 0)
        return Open(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: window_probe close-on-request | open N\n");
    return 2;
}
