#include "AppId.h"
#include "Commands.h"
#include "MainWindow.h"
#include "ProgramState.h"
#include "Version.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Horavox"));
    QApplication::setApplicationVersion(QStringLiteral(HORAVOX_VERSION_STRING));
    QApplication::setDesktopFileName(QStringLiteral(HORAVOX_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/horavox/horavox.png")));

    // The program keeps no files, but it starts where its executable lies, as it always has.
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    horavox::ApplyDesignFont(app);

    horavox::ProgramState state;
    horavox::MainWindow window(state); // created hidden, timer already running
    window.OnCreated();
    window.ShowCentred();
    QApplication::exec();
    return 0;
}
