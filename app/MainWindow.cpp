#include "MainWindow.h"

#include "Commands.h"
#include "HourlyChime.h"
#include "Melody.h"
#include "SerialLink.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

namespace horavox {

namespace {

template <typename W> W* Make(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromUtf8(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, QRect r, const char* caption) {
    auto* box = Make<QGroupBox>(parent, name, r.x(), r.y(), r.width(), r.height());
    box->setTitle(QString::fromUtf8(caption));
    box->setAlignment(Qt::AlignLeft);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, QRect r, const char* text, bool framed) {
    auto* label = Make<QLabel>(parent, name, r.x(), r.y(), r.width(), r.height());
    label->setText(QString::fromUtf8(text));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setFocusPolicy(Qt::NoFocus);
    if (framed) {
        label->setFrameShape(QFrame::Box);
        label->setFrameShadow(QFrame::Plain);
        label->setLineWidth(1);
        label->setAlignment(Qt::AlignCenter);
    } else {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect r, const char* text) {
    auto* edit = Make<QLineEdit>(parent, name, r.x(), r.y(), r.width(), r.height());
    edit->setText(QString::fromUtf8(text));
    // A native edit box shows its text from the start; QLineEdit would scroll to the end.
    edit->setCursorPosition(0);
    return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QRect r, const char* caption) {
    auto* button = Make<QPushButton>(parent, name, r.x(), r.y(), r.width(), r.height());
    button->setText(QString::fromUtf8(caption));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

MainWindow::MainWindow(ProgramState& state, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      state_(state) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Horavox 上位机助手 V1.6"));

    // Button-face background, black captions, black on white in the edit boxes.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    菜单 = menuBar()->addMenu(QStringLiteral("菜单"));
    菜单->setObjectName(QStringLiteral("菜单"));
    帮助 = 菜单->addAction(QStringLiteral("帮助"));
    帮助->setObjectName(QStringLiteral("帮助"));
    关于 = 菜单->addAction(QStringLiteral("关于"));
    关于->setObjectName(QStringLiteral("关于"));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    分组框3 = MakeGroup(client, "分组框3", {8, 8, 360, 88}, "配置");
    标签2 = MakeLabel(分组框3, "标签2", {16, 16, 48, 24}, "端口号:", false);
    编辑框_端口号 = MakeEdit(分组框3, "编辑框_端口号", {58, 16, 72, 24}, "19");
    按钮1 = MakeButton(分组框3, "按钮1", {224, 16, 72, 24}, "连接");
    时钟1 = new QTimer(分组框3);
    时钟1->setObjectName(QStringLiteral("时钟1"));
    时钟1->setTimerType(Qt::PreciseTimer);
    时钟1->setInterval(100);
    端口1 = new SerialLink(分组框3);
    端口1->setObjectName(QStringLiteral("端口1"));
    标签3 = MakeLabel(client, "标签3", {24, 56, 48, 24}, "波特率:", false);
    编辑框_波特率 = MakeEdit(client, "编辑框_波特率", {66, 56, 72, 24}, "9600");
    按钮2 = MakeButton(client, "按钮2", {232, 56, 72, 24}, "测试音乐");
    分组框2 = MakeGroup(client, "分组框2", {8, 104, 360, 48}, "音乐");
    编辑框1 = MakeEdit(分组框2, "编辑框1", {8, 16, 344, 24}, kDesignMelody);
    分组框1 = MakeGroup(client, "分组框1", {8, 160, 360, 80}, "状态显示");
    标签1 = MakeLabel(分组框1, "标签1", {16, 16, 56, 24}, "当前时间", false);
    标签4 = MakeLabel(分组框1, "标签4", {72, 16, 128, 24}, "请连接设备", true);
    标签6 = MakeLabel(client, "标签6", {24, 208, 56, 24}, "当前温度", false);
    标签5 = MakeLabel(client, "标签5", {80, 208, 128, 24}, "请连接设备", true);

    // The window's own controls overlap the group boxes around them (波特率 lies inside 配置,
    // 当前温度 inside 状态显示); keep them on top so that no box hides them.
    for (QWidget* w :
         {static_cast<QWidget*>(标签3), static_cast<QWidget*>(编辑框_波特率),
          static_cast<QWidget*>(按钮2), static_cast<QWidget*>(标签6), static_cast<QWidget*>(标签5)})
        w->raise();

    // Screen readers name the edit boxes by their captions and read the live values of
    // the two status labels together with what they show.
    标签2->setBuddy(编辑框_端口号);
    标签3->setBuddy(编辑框_波特率);
    编辑框_端口号->setAccessibleName(QStringLiteral("端口号"));
    编辑框_波特率->setAccessibleName(QStringLiteral("波特率"));
    编辑框1->setAccessibleName(QStringLiteral("音乐"));
    标签4->setAccessibleDescription(QStringLiteral("当前时间"));
    标签5->setAccessibleDescription(QStringLiteral("当前温度"));

    setTabOrder(编辑框_端口号, 编辑框_波特率);
    setTabOrder(编辑框_波特率, 按钮1);
    setTabOrder(按钮1, 按钮2);
    setTabOrder(按钮2, 编辑框1);
    编辑框_端口号->setFocus(Qt::OtherFocusReason);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("escape"));
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    connect(时钟1, &QTimer::timeout, this, &MainWindow::CheckHourlyChime);
    connect(按钮1, &QPushButton::clicked, this, &MainWindow::ConnectDevice);
    connect(按钮2, &QPushButton::clicked, this, &MainWindow::PlayMelody);
    connect(端口1, &SerialLink::ByteReceived, this, &MainWindow::DecodeStatusByte);
    connect(帮助, &QAction::triggered, this, [] { OpenWebPage(); });
    connect(关于, &QAction::triggered, this, [] { ShowAbout(); });

    setFixedSize(kOuterWidth, kOuterHeight);
    时钟1->start();
}

MainWindow::~MainWindow() {
    Shutdown();
}

void MainWindow::Shutdown() {
    时钟1->stop();
    端口1->Close();
}

void MainWindow::ShowCentred() {
    PlaceOnScreen();
    show();
    shown_ = true;
    PlaceOnScreen();
}

void MainWindow::PlaceOnScreen() {
    // 380 x 293 is the outer frame. A window manager's frame is known only once
    // the window is mapped, so this runs again whenever the frame's margins change.
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                           frame.right() - inner.right(), frame.bottom() - inner.bottom());
    if (margins == placedMargins_)
        return;
    placedMargins_ = margins;
    setFixedSize(kOuterWidth - margins.left() - margins.right(),
                 kOuterHeight - margins.top() - margins.bottom());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - kOuterWidth) / 2,
             area.y() + (area.height() - kOuterHeight) / 2);
    }
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (shown_)
        PlaceOnScreen();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (shown_)
        PlaceOnScreen();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The frame is fixed: a request to maximise or go full screen (a window manager's key,
    // a double click on the title) is turned back.
    if (event->type() == QEvent::WindowStateChange &&
        (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    Shutdown();
    event->accept();
}

void MainWindow::ConnectDevice() {
    端口1->SetPortNumber(TextToInt(codec_.Encode(编辑框_端口号->text())));
    端口1->SetBaudRate(TextToInt(codec_.Encode(编辑框_波特率->text())));
    端口1->SetParityCheck(false);
    端口1->SetStopBits(1);
    (void)端口1->Open();
}

void MainWindow::DecodeStatusByte(qint32 value) {
    StoreStatusByte(state_.deviceClock, value);
    RefreshStatusLabels();
}

void MainWindow::RefreshStatusLabels() {
    标签4->setText(codec_.Decode(TimeText(state_.deviceClock)));
    标签5->setText(codec_.Decode(TemperatureText(state_.deviceClock)));
}

void MainWindow::CheckHourlyChime() {
    // Bytes that arrived before this tick are decoded first, so the check never sees a
    // clock older than what the board has already sent.
    端口1->DeliverPending();
    if (ChimeDue(state_.deviceClock, state_.lastChimeHour))
        PlayMelody();
}

void MainWindow::PlayMelody() {
    const Text melody = codec_.Encode(编辑框1->text());
    PlayMelodyText(
        melody, [this](std::string_view bytes) { return 端口1->Send(bytes); }, state_.pause);
}

} // namespace horavox
