#pragma once

#include <QIcon>

namespace quimbel {

// The application icon among the Qt resources; it is there only in programs
// that link quimbel_resources.
inline constexpr char IconResource[] = ":/icons/quimbel.ico";

// The application icon with every size and colour depth the .ico holds, so
// Qt can pick the sharpest one for a title bar, a task bar or a dialog.
QIcon ApplicationIcon();

} // namespace quimbel
