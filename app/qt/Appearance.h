#pragma once

#include "WindowPlan.h"

#include <QFont>

#include <string_view>

class QApplication;
class QString;

namespace quimbel::ui {

// Whether a font family is installed, by the one list of installed families
// read once per run.
bool IsInstalledFamily(std::string_view family);

// A font the plan asks for, in logical pixels. Only installed families are
// named: otherwise fontconfig ranks stand-ins for each missing one,
// milliseconds of start-up that end on the same face.
QFont FontOf(const FontRequest& request);

// The windows' default face, a Simplified Chinese one, at the window font's
// first size. Each window sets the size its own captions fit (FitFonts).
QFont DefaultFont();

// Installs Qt's own Simplified Chinese texts (the fields' context menus, key
// names, standard buttons) from the .qm files in `directory`, whatever the
// desktop's language: the interface is Chinese by design. Where they are
// missing, Qt's texts stay English and this says so on standard error and
// returns false.
bool InstallQtTranslations(QApplication& app, const QString& directory);

// Installs Qt's translations from where Qt keeps them, sets the default font,
// the windows' icon and the desktop entry they belong to. Ending the program
// is the windows' decision alone, so closing the last window does not quit.
// Says once on standard error when no Simplified Chinese font is installed.
void SetUpApplication(QApplication& app);

} // namespace quimbel::ui
