#pragma once

// How the program meets the desktop that starts it: the desktop entry its
// windows belong to, and the end of the launch the desktop shows as busy.

#include <string>

class QWidget;

namespace quimbel::ui {

// The desktop entry, org.quimbel.Quimbel.desktop, by the name Qt takes: it
// becomes the Wayland app_id, by which a shell finds the entry's icon and name.
inline constexpr char DesktopEntryName[] = "org.quimbel.Quimbel";

// The launch ID an X11 desktop gave this run (DESKTOP_STARTUP_ID), or empty.
// Read it before the QApplication is made: Qt takes it out of the environment.
std::string StartupIdFromEnvironment();

// Labels the window that ends the launch with its ID (_NET_STARTUP_ID), so
// the window manager knows which launch it answers and when that was asked
// for, and brings it to the front. X11 only; elsewhere it does nothing. Qt
// itself sends the launch's "remove" message once the window is shown. Call
// it before the window is first shown.
void MarkLaunchWindow(QWidget& window, const std::string& startupId);

} // namespace quimbel::ui
