#pragma once

#include "ProgramState.h"
#include "Text.h"

#include <QMainWindow>
#include <QMargins>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QMenu;
class QAction;

namespace horavox {

class SerialLink;

// The program's only window. Controls keep their form names, as members and as
// objectName(), so that the tests and the accessibility tree find them by those names.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kOuterWidth = 380;
    static constexpr int kOuterHeight = 293;

    explicit MainWindow(ProgramState& state, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window's created event; it has nothing to do.
    void OnCreated() {}
    // Shows the window with its outer frame 380 x 293, centred on the primary screen.
    void ShowCentred();

    // Handlers bound to the window's events.
    void ConnectDevice();
    void DecodeStatusByte(qint32 value);
    void RefreshStatusLabels();
    void CheckHourlyChime();
    void PlayMelody();

    SerialLink& Link() { return *端口1; }

    QGroupBox* 分组框3;
    QLabel* 标签2;
    QLineEdit* 编辑框_端口号;
    QPushButton* 按钮1;
    QTimer* 时钟1;
    SerialLink* 端口1;
    QLabel* 标签3;
    QLineEdit* 编辑框_波特率;
    QPushButton* 按钮2;
    QGroupBox* 分组框2;
    QLineEdit* 编辑框1;
    QGroupBox* 分组框1;
    QLabel* 标签1;
    QLabel* 标签4;
    QLabel* 标签6;
    QLabel* 标签5;
    QMenu* 菜单;
    QAction* 帮助;
    QAction* 关于;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceOnScreen();
    void Shutdown();

    ProgramState& state_;
    Cp936Codec codec_;
    QMargins placedMargins_{-1, -1, -1, -1};
    bool shown_ = false;
};

// The melody the window starts with.
inline constexpr const char* kDesignMelody =
    "L1,L2,L3,L4,L5,L6,L7,M1,M2,M3,M3,M5,M6,M7,H1,H2,H3,H4,H5,H6,H7,";

} // namespace horavox
