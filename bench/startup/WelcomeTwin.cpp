// The yardstick of bench/run_startup_bench.sh: Quimbel's welcome dialog
// written by hand on Qt Widgets, with no forms layer in between. The same
// window (title, frame, size, place, icon), the same four controls with the
// same texts, fonts chosen from the same families by the same rule, the same
// button and tooltip, and the focus on the button. It does what a careful
// hand-written program needs to do to show this dialog, no more and no less,
// so that what Quimbel costs beyond it is the price of its own way of
// building windows.

#include "QuimbelVersion.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <array>

namespace {

// The window's face, a Simplified Chinese user-interface font, at 12
// pixels (9 points, where the welcome's captions fit); the welcome line's,
// SimSun or another Song face, 12 points bold.
constexpr std::array<const char*, 9> WindowFamilies{"Microsoft YaHei UI",
                                                    "Microsoft YaHei",
                                                    "Noto Sans CJK SC",
                                                    "Source Han Sans SC",
                                                    "SimSun",
                                                    "WenQuanYi Micro Hei",
                                                    "WenQuanYi Zen Hei",
                                                    "Droid Sans Fallback",
                                                    "宋体"};
constexpr std::array<const char*, 7> SongFamilies{"SimSun",
                                                  "宋体",
                                                  "NSimSun",
                                                  "Noto Serif CJK SC",
                                                  "Source Han Serif SC",
                                                  "AR PL UMing CN",
                                                  "AR PL SungtiL GB"};

// The installed ones of a list of families, in its order; all of them when
// none is, for the font matcher's own fallback.
template <std::size_t N> QStringList Installed(const std::array<const char*, N>& families) {
    static const QStringList installed = QFontDatabase::families();
    QStringList found;
    for (const char* family : families)
        if (installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive))
            found << QString::fromUtf8(family);
    if (found.isEmpty())
        for (const char* family : families)
            found << QString::fromUtf8(family);
    return found;
}

// A line with its ink centred in the label's height, as the program's other
// windows place theirs: these faces' line spacing is taller than the labels.
class Label : public QLabel {
public:
    Label(const QString& text, QWidget* parent) : QLabel(text, parent) {}

    static qreal Baseline(const QFont& font, const QString& text, int height, QRectF* ink) {
        const QFontMetricsF metrics(font);
        *ink = metrics.tightBoundingRect(text);
        const qreal top = std::min<qreal>(ink->top(), 0);
        const qreal bottom = std::max<qreal>(ink->bottom(), 0);
        const qreal pitch = std::min<qreal>(metrics.lineSpacing(), height);
        return (pitch - (bottom - top)) / 2 - top;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        QRectF ink;
        painter.drawText(QPointF(0, Baseline(font(), text(), height(), &ink)), text());
    }
};

// The welcome line's font at its designed size, or a pixel at a time smaller
// until the line's ink fits its label: a stand-in for SimSun may reach further.
QFont WelcomeFont(const QString& text, int height) {
    QFont font;
    font.setFamilies(Installed(SongFamilies));
    font.setPixelSize(16);
    font.setBold(true);
    for (; font.pixelSize() > 6; font.setPixelSize(font.pixelSize() - 1)) {
        QRectF ink;
        const qreal baseline = Label::Baseline(font, text, height, &ink);
        if (baseline + ink.top() >= 0 && baseline + ink.bottom() <= height)
            break;
    }
    return font;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QFont font;
    font.setFamilies(Installed(WindowFamilies));
    font.setPixelSize(12);
    QApplication::setFont(font);
    // Title bars and task switchers use at most 128 pixels.
    const QIcon icon(QStringLiteral(":/icons/quimbel.ico"));
    QIcon windowIcon;
    for (const QSize& size : icon.availableSizes())
        if (size.width() <= 128)
            windowIcon.addPixmap(icon.pixmap(size));
    QApplication::setWindowIcon(windowIcon);

    const QString title =
        QString::fromUtf8(quimbel::ProductTitle.data(), qsizetype(quimbel::ProductTitle.size()));
    QWidget window(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                Qt::WindowCloseButtonHint);
    window.setWindowTitle(title);
    // The client area at its place from the top-left of the screen's
    // available area, moved back inside where it would stick out.
    QRect place(636, 353, 306, 202);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        place.moveTo(std::max(area.left(), std::min(area.left() + place.left(),
                                                    area.right() + 1 - place.width())),
                     std::max(area.top(), std::min(area.top() + place.top(),
                                                   area.bottom() + 1 - place.height())));
    }
    window.setFixedSize(place.size());
    window.setGeometry(place);

    const QString welcomeText = QStringLiteral(" 欢迎使用 ") + title;
    auto* welcome = new Label(welcomeText, &window);
    welcome->setGeometry(16, 40, 273, 17);
    welcome->setFont(WelcomeFont(welcomeText, welcome->height()));
    auto* ok = new QPushButton(QStringLiteral("确定"), &window);
    ok->setGeometry(112, 104, 89, 41);
    ok->setToolTip(QStringLiteral("确定"));
    // Enter presses it while it has the focus, as any button of the program.
    ok->setAutoDefault(true);
    (new Label(QStringLiteral("版权所有 © 2026"), &window))->setGeometry(200, 184, 105, 17);
    (new Label(QStringLiteral("开发：Quimbel 开发组"), &window))->setGeometry(8, 184, 137, 17);
    ok->setFocus();
    QObject::connect(ok, &QPushButton::clicked, &app, &QApplication::quit);

    window.show();
    // Active, the button's focus showing, also where no window manager
    // activates new windows.
    window.activateWindow();
    return QApplication::exec();
}
