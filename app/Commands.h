#pragma once

#include <QString>

class QApplication;

namespace horavox {

// The project's web page (menu 帮助).
QString WebPageAddress();
// The three lines of the About box, joined by CR LF.
QString AboutText();
inline constexpr const char* kAboutTitle = "关于";

// Hands a document, program or URL to the desktop's opener; the result is not looked at.
void OpenWithShell(const QString& target);
void OpenWebPage();
// The About box: no owner, no icon, one OK button, modal for the whole program. Its own
// event loop keeps the timer and the serial link running while it is open.
void ShowAbout();

// The window's pixel layout assumes a 12-pixel UI font: the platform's default family at
// that size.
void ApplyDesignFont(QApplication& app);

} // namespace horavox
