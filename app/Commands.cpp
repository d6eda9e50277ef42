#include "Commands.h"

#include "Version.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <QUrl>

namespace horavox {

QString WebPageAddress() {
    return QStringLiteral("https://" HORAVOX_WEB_HOST "/?id=183");
}

QString AboutText() {
    return QStringLiteral("软件用途：基于小脚丫FPGA开发板设计的智能闹钟上位机\r\n"
                          "版权所有 (C) 2026 Horavox 开发组，保留所有权利。\r\n"
                          "项目网址：https://" HORAVOX_WEB_HOST);
}

void OpenWithShell(const QString& target) {
    (void)QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

void OpenWebPage() {
    OpenWithShell(WebPageAddress());
}

void ShowAbout() {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAboutTitle), AboutText(),
                    QMessageBox::Ok, nullptr);
    box.setObjectName(QStringLiteral("关于"));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void ApplyDesignFont(QApplication& app) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(12);
    app.setFont(font);
}

} // namespace horavox
