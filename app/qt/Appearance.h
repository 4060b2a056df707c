#pragma once

#include <QFont>

#include <string_view>

class QApplication;

namespace quimbel::ui {

// Whether a font family is installed, by the one list of installed families
// read once per run.
bool IsInstalledFamily(std::string_view family);

// The windows' default font: a Simplified Chinese face at a size where every
// caption fits its control on one line.
QFont DefaultFont();

// Sets the default font, the windows' icon and the desktop entry they belong
// to. Ending the program is the windows' decision alone, so closing the last
// window does not quit. Says once on standard error when no Simplified
// Chinese font is installed.
void SetUpApplication(QApplication& app);

} // namespace quimbel::ui
