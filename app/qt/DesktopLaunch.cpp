#include "DesktopLaunch.h"

#include <QGuiApplication>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <string_view>

// Linux builds link libxcb (QUIMBEL_HAVE_XCB); Qt reaches X11 through it.
#if defined(QUIMBEL_HAVE_XCB)
#if QT_CONFIG(xcb)
#define QUIMBEL_X11_LAUNCH 1
#include <xcb/xcb.h>

#include <memory>
#endif
#endif

namespace quimbel::ui {

std::string StartupIdFromEnvironment() {
    const char* id = std::getenv("DESKTOP_STARTUP_ID");
    return id ? std::string(id) : std::string();
}

#if defined(QUIMBEL_X11_LAUNCH)

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, std::string_view name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace

void MarkLaunchWindow(QWidget& window, const std::string& startupId) {
    if (startupId.empty() || !qGuiApp)
        return;
    // Present only on X11 (Qt's xcb platform), and then on its own connection,
    // so the property is set before the map request Qt sends later.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t property = Atom(connection, "_NET_STARTUP_ID");
    const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
    if (property == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE)
        return;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()), property, utf8, 8,
                        static_cast<std::uint32_t>(startupId.size()), startupId.data());
}

#else

void MarkLaunchWindow(QWidget&, const std::string&) {}

#endif

} // namespace quimbel::ui
