#include "Commands.h"
#include "MainWindow.h"
#include "SerialLink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

using namespace horavox;

// Receives what the desktop's opener would have been given.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class TstMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void windowFrame();
    void centredOnScreen();
    void editBoxesShowTheirStart();
    void labelAppearance();
    void components();
    void menu();
    void tabOrderAndFocus();
    void escapeCloses_data();
    void escapeCloses();
    void enterAndF1DoNothing();
    void helpOpensTheWebPageEveryTime();
    void aboutBoxKeepsTheClockRunning();

private:
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<MainWindow> window_;
};

void TstMainWindow::initTestCase() {
    ApplyDesignFont(*qApp);
}

void TstMainWindow::init() {
    state_ = std::make_unique<ProgramState>();
    state_->pause = [](std::chrono::milliseconds) {};
    window_ = std::make_unique<MainWindow>(*state_);
}

void TstMainWindow::cleanup() {
    window_.reset();
    state_.reset();
}

void TstMainWindow::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, const char* kind, const char* parent, QRect r,
                  const char* text) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(kind)
                            << QString::fromUtf8(parent) << r << QString::fromUtf8(text);
    };
    // "client" is the area below the menu bar that the layout is measured from.
    row("分组框3", "QGroupBox", "client", {8, 8, 360, 88}, "配置");
    row("标签2", "QLabel", "分组框3", {16, 16, 48, 24}, "端口号:");
    row("编辑框_端口号", "QLineEdit", "分组框3", {58, 16, 72, 24}, "19");
    row("按钮1", "QPushButton", "分组框3", {224, 16, 72, 24}, "连接");
    row("标签3", "QLabel", "client", {24, 56, 48, 24}, "波特率:");
    row("编辑框_波特率", "QLineEdit", "client", {66, 56, 72, 24}, "9600");
    row("按钮2", "QPushButton", "client", {232, 56, 72, 24}, "测试音乐");
    row("分组框2", "QGroupBox", "client", {8, 104, 360, 48}, "音乐");
    row("编辑框1", "QLineEdit", "分组框2", {8, 16, 344, 24}, kDesignMelody);
    row("分组框1", "QGroupBox", "client", {8, 160, 360, 80}, "状态显示");
    row("标签1", "QLabel", "分组框1", {16, 16, 56, 24}, "当前时间");
    row("标签4", "QLabel", "分组框1", {72, 16, 128, 24}, "请连接设备");
    row("标签6", "QLabel", "client", {24, 208, 56, 24}, "当前温度");
    row("标签5", "QLabel", "client", {80, 208, 128, 24}, "请连接设备");
}

void TstMainWindow::controls() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    const auto found = window_->findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QWidget* w = found.front();
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->geometry(), geometry);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(w))
        shown = label->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        shown = edit->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        shown = button->text();
    else if (auto* box = qobject_cast<QGroupBox*>(w))
        shown = box->title();
    QCOMPARE(shown, text);
    if (parent == QLatin1String("client"))
        QCOMPARE(w->parentWidget(), window_->centralWidget());
}

void TstMainWindow::windowFrame() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Horavox 上位机助手 V1.6"));
    const Qt::WindowFlags flags = window_->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowStaysOnTopHint));
    window_->ShowCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    // The outer frame is 380 x 293, whatever frame the platform draws (none on a
    // bare X server, a two-pixel one on the offscreen platform).
    QCOMPARE(window_->frameGeometry().size(), QSize(380, 293));
    const QSize client = window_->size();
    QCOMPARE(window_->minimumSize(), client);
    QCOMPARE(window_->maximumSize(), client);
    window_->resize(600, 500);
    QCOMPARE(window_->size(), client);
    window_->showMaximized();
    QTRY_VERIFY(!window_->isMaximized());
    QCOMPARE(window_->frameGeometry().size(), QSize(380, 293));
    // The bottom-most control still lies inside the client area below the menu bar.
    QVERIFY(window_->centralWidget()->height() >= 240);
}

void TstMainWindow::centredOnScreen() {
    window_->ShowCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(window_->frameGeometry().topLeft(), QPoint(screen.x() + (screen.width() - 380) / 2,
                                                        screen.y() + (screen.height() - 293) / 2));
}

void TstMainWindow::editBoxesShowTheirStart() {
    for (QLineEdit* edit : {window_->编辑框_端口号, window_->编辑框_波特率, window_->编辑框1}) {
        QCOMPARE(edit->cursorPosition(), 0);
        QCOMPARE(edit->maxLength(), 32767);
        QVERIFY(!edit->isReadOnly());
    }
    // A melody of any length can be typed; the box scrolls rather than refusing it.
    const QString longMelody = QString::fromLatin1(kDesignMelody).repeated(40);
    window_->编辑框1->setText(longMelody);
    QCOMPARE(window_->编辑框1->text(), longMelody);
}

void TstMainWindow::labelAppearance() {
    for (QLabel* framed : {window_->标签4, window_->标签5}) {
        QCOMPARE(framed->frameShape(), QFrame::Box);
        QCOMPARE(framed->lineWidth(), 1);
        QCOMPARE(framed->alignment(), Qt::AlignCenter);
    }
    for (QLabel* plain : {window_->标签1, window_->标签2, window_->标签3, window_->标签6}) {
        QCOMPARE(plain->frameShape(), QFrame::NoFrame);
        QCOMPARE(plain->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        QCOMPARE(plain->focusPolicy(), Qt::NoFocus);
    }
    // What a screen reader announces for the boxes and the two live values.
    QCOMPARE(window_->编辑框_端口号->accessibleName(), QStringLiteral("端口号"));
    QCOMPARE(window_->编辑框_波特率->accessibleName(), QStringLiteral("波特率"));
    QCOMPARE(window_->编辑框1->accessibleName(), QStringLiteral("音乐"));
    QCOMPARE(window_->标签4->accessibleDescription(), QStringLiteral("当前时间"));
    QCOMPARE(window_->标签5->accessibleDescription(), QStringLiteral("当前温度"));
    for (QPushButton* button : {window_->按钮1, window_->按钮2}) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
}

void TstMainWindow::components() {
    auto* timer = window_->findChild<QTimer*>(QStringLiteral("时钟1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 100);
    QVERIFY(timer->isActive());
    auto* link = window_->findChild<SerialLink*>(QStringLiteral("端口1"));
    QVERIFY(link);
    QVERIFY(!link->IsOpen());
    QCOMPARE(link->DataBits(), 8);
    QCOMPARE(link->BaudRate(), 9600);
    QCOMPARE(link->StopBits(), 1);
    QCOMPARE(link->PortNumber(), 1);
    // Closing the window stops the clock.
    window_->show();
    window_->close();
    QVERIFY(!timer->isActive());
}

void TstMainWindow::menu() {
    const auto top = window_->menuBar()->actions();
    QCOMPARE(top.size(), 1);
    QCOMPARE(top.front()->text(), QStringLiteral("菜单"));
    QMenu* popup = top.front()->menu();
    QVERIFY(popup);
    QStringList texts;
    for (QAction* action : popup->actions()) {
        texts << action->text();
        QVERIFY(!action->isSeparator());
        QVERIFY(!action->isCheckable());
        QVERIFY(action->isEnabled());
        QVERIFY(action->shortcut().isEmpty());
    }
    QCOMPARE(texts, QStringList({QStringLiteral("帮助"), QStringLiteral("关于")}));
}

void TstMainWindow::tabOrderAndFocus() {
    window_->ShowCentred();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QCOMPARE(QApplication::focusWidget(), window_->编辑框_端口号);
    const QList<QWidget*> cycle = {window_->编辑框_波特率, window_->按钮1, window_->按钮2,
                                   window_->编辑框1, window_->编辑框_端口号};
    for (QWidget* expected : cycle) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    for (qsizetype i = cycle.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), cycle[i]);
    }
}

void TstMainWindow::escapeCloses_data() {
    QTest::addColumn<QString>("focus");
    QTest::newRow("port box") << QStringLiteral("编辑框_端口号");
    QTest::newRow("melody box") << QStringLiteral("编辑框1");
    QTest::newRow("button") << QStringLiteral("按钮2");
}

void TstMainWindow::escapeCloses() {
    QFETCH(QString, focus);
    window_->ShowCentred();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    auto* target = window_->findChild<QWidget*>(focus);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Escape);
    QVERIFY(!window_->isVisible());
    QVERIFY(!window_->时钟1->isActive());
}

void TstMainWindow::enterAndF1DoNothing() {
    window_->ShowCentred();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QSignalSpy connectClicks(window_->按钮1, &QPushButton::clicked);
    QSignalSpy testClicks(window_->按钮2, &QPushButton::clicked);
    for (QWidget* w :
         {static_cast<QWidget*>(window_->编辑框_端口号),
          static_cast<QWidget*>(window_->编辑框_波特率), static_cast<QWidget*>(window_->按钮1),
          static_cast<QWidget*>(window_->按钮2), static_cast<QWidget*>(window_->编辑框1)}) {
        w->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_F1})
            QTest::keyClick(w, key);
        QVERIFY(window_->isVisible());
        QCOMPARE(QApplication::focusWidget(), w);
    }
    QCOMPARE(connectClicks.count(), 0);
    QCOMPARE(testClicks.count(), 0);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(window_->编辑框_端口号->text(), QStringLiteral("19"));
    QCOMPARE(window_->编辑框1->text(), QString::fromLatin1(kDesignMelody));
}

void TstMainWindow::helpOpensTheWebPageEveryTime() {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    window_->帮助->trigger();
    window_->帮助->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(recorder.urls.size(), 2);
    for (const QUrl& url : recorder.urls) {
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QCOMPARE(url.host(), QStringLiteral("www.example.com"));
        QCOMPARE(url.path(), QStringLiteral("/"));
        QCOMPARE(url.query(), QStringLiteral("id=183"));
    }
}

void TstMainWindow::aboutBoxKeepsTheClockRunning() {
    window_->ShowCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    // The board has reported 07:00: the next tick starts the chime, even behind the box.
    state_->deviceClock.hourOnes = 7;
    int ticks = 0;
    connect(window_->时钟1, &QTimer::timeout, this, [&] { ++ticks; });

    QString text, title;
    int buttons = -1;
    QMessageBox::Icon icon = QMessageBox::Warning;
    Qt::WindowModality modality = Qt::NonModal;
    bool hadOwner = true;
    int ticksWhileOpen = 0;
    std::int32_t chimedWhileOpen = 0;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (title.isEmpty()) {
            text = box->text();
            title = box->windowTitle();
            buttons = static_cast<int>(box->buttons().size());
            icon = box->icon();
            modality = box->windowModality();
            hadOwner = box->parentWidget() != nullptr;
            ticks = 0;
        }
        // Close once a few ticks ran behind the box (or give up after a generous wait).
        if ((ticks >= 3 && state_->lastChimeHour == 7) || waited.elapsed() > 10000) {
            ticksWhileOpen = ticks;
            chimedWhileOpen = state_->lastChimeHour;
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });
    poll.start(20);
    window_->关于->trigger(); // returns when the box is closed
    poll.stop();

    QCOMPARE(text, QStringLiteral("软件用途：基于小脚丫FPGA开发板设计的智能闹钟上位机\r\n"
                                  "版权所有 (C) 2026 Horavox 开发组，保留所有权利。\r\n"
                                  "项目网址：https://www.example.com"));
    QCOMPARE(text.count(QStringLiteral("\r\n")), 2);
    QVERIFY(!text.endsWith(QLatin1Char('\n')));
    QCOMPARE(title, QStringLiteral("关于"));
    QCOMPARE(buttons, 1);
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(modality, Qt::ApplicationModal);
    QVERIFY(!hadOwner);
    QVERIFY(ticksWhileOpen >= 3);
    QCOMPARE(chimedWhileOpen, 7);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
