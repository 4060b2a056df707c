#include "Appearance.h"

#include "QuimbelIcon.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

#include <cstdio>

namespace quimbel::forms {

QFont DefaultFont() {
    QFont font;
    // Named explicitly: left to itself fontconfig may pick a Japanese variant,
    // whose glyph shapes differ from Simplified Chinese ones.
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                      QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Droid Sans Fallback")});
    // 11 logical pixels: the widest captions ("厘米（cm）：", "宽（高）（cm）：")
    // fit their labels with room to spare.
    font.setPixelSize(11);
    return font;
}

void SetUpApplication(QApplication& app) {
    app.setQuitOnLastWindowClosed(false);
    const QFont font = DefaultFont();
    const QString family = QFontInfo(font).family();
    if (!QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
        std::fprintf(stderr, "quimbel: no Simplified Chinese font found, so Chinese text may "
                             "not show; install one such as fonts-noto-cjk\n");
    QApplication::setFont(font);
    QApplication::setWindowIcon(applicationIcon());
}

} // namespace quimbel::forms
