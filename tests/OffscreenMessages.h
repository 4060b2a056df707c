#pragma once

// The offscreen platform cannot raise windows and says so on every Show;
// programs that drive the windows there drop that one message.

#include <QString>
#include <QtGlobal>

namespace quimbel::testing {

inline QtMessageHandler& PreviousMessageHandler() {
    static QtMessageHandler handler = nullptr;
    return handler;
}

inline void DropRaiseMessages(QtMsgType type, const QMessageLogContext& context,
                              const QString& message) {
    if (message == QLatin1String("This plugin does not support raise()"))
        return;
    PreviousMessageHandler()(type, context, message);
}

inline void SilenceOffscreenRaiseMessages() {
    PreviousMessageHandler() = qInstallMessageHandler(DropRaiseMessages);
}

} // namespace quimbel::testing
