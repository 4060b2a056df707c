#include "WindowBuilder.h"

#include "Forms.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>

#include <algorithm>
#include <map>

namespace quimbel::forms {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Stored captions separate lines with CR LF; Qt draws "\n".
QString CaptionText(std::string_view caption) {
    QString text = FromUtf8(caption);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QColor ColorOf(Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

QRect PixelRect(int left, int top, int width, int height) {
    return {PixelsFromTwips(left), PixelsFromTwips(top), PixelsFromTwips(width),
            PixelsFromTwips(height)};
}

// Windows open at their design position, measured from the top-left of the
// primary screen's available area and kept on that screen.
QRect FirstPosition(const WindowDesign& design) {
    QRect rect = PixelRect(design.left, design.top, design.clientWidth, design.clientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        rect.translate(area.topLeft());
        rect.moveLeft(
            std::max(area.left(), std::min(rect.left(), area.x() + area.width() - rect.width())));
        rect.moveTop(
            std::max(area.top(), std::min(rect.top(), area.y() + area.height() - rect.height())));
    }
    return rect;
}

// The font a design asks for, at its size in logical pixels.
QFont FontFromDesign(const FontDesign& design) {
    QFont font;
    // Only the installed families, in their order. Otherwise Qt has fontconfig
    // rank stand-ins for a missing first family (for Latin and again for Han
    // text), and for the face it takes when more families follow: milliseconds
    // of start-up that end on the same face. With none installed the list
    // stays whole, for Qt's own fallback.
    const QStringList installed = QFontDatabase::families();
    QStringList families;
    for (const char* family : design.families) {
        const QString name = QString::fromUtf8(family);
        if (installed.contains(name, Qt::CaseInsensitive))
            families << name;
    }
    if (families.isEmpty())
        for (const char* family : design.families)
            families << QString::fromUtf8(family);
    font.setFamilies(families);
    // Points at the designed 96 dots per inch, so the text keeps its size
    // relative to the window on every screen.
    font.setPixelSize(design.points * 96 / 72);
    font.setBold(design.bold);
    return font;
}

// A face of its own may stand in for a missing one whose glyphs reach further
// up or down; it steps down a pixel at a time until the caption's ink fits.
QFont FittedFont(QFont font, const QString& caption, int height) {
    const QStringList lines = caption.split(QLatin1Char('\n'));
    while (font.pixelSize() > 6) {
        const QFontMetricsF metrics(font);
        const CaptionLayout layout = LayOutCaption(font, lines, height);
        bool fits = true;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QRectF ink = metrics.tightBoundingRect(lines[i]);
            const qreal baseline = layout.firstBaseline + qreal(i) * layout.pitch;
            fits = fits && baseline + ink.top() >= 0 && baseline + ink.bottom() <= height;
        }
        if (fits)
            break;
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

QWidget* MakeControl(const ControlDesign& control, QWidget* parent) {
    const QString caption = CaptionText(control.caption);
    const QString toolTip = FromUtf8(control.toolTip);
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::Label: {
        auto* label = new DesignLabel(caption, parent);
        // Opaque in its own colour; otherwise it shows its container's.
        label->setAutoFillBackground(control.backColor.has_value());
        widget = label;
        break;
    }
    case ControlKind::TextBox: {
        auto* field = new QPlainTextEdit(parent);
        field->setTabChangesFocus(true);
        field->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        // Numbers have no word boundaries, and looking for them makes the
        // layout of a long pasted line quadratic.
        field->setWordWrapMode(QTextOption::WrapAnywhere);
        field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Two lines must fit the designed height.
        field->document()->setDocumentMargin(2);
        widget = field;
        break;
    }
    case ControlKind::CommandButton: {
        auto* button = new QPushButton(caption, parent);
        // No default button, but Enter presses the button that has the focus.
        button->setAutoDefault(true);
        button->setDefault(false);
        widget = button;
        break;
    }
    case ControlKind::Frame: {
        auto* frame = new QGroupBox(caption, parent);
        widget = frame;
        break;
    }
    }
    widget->setObjectName(FromUtf8(control.name));
    // Screen readers and real-window tests find a field by its tooltip, any
    // other control by its caption.
    widget->setAccessibleName(control.kind == ControlKind::TextBox ? toolTip : caption);
    widget->setGeometry(PixelRect(control.left, control.top, control.width, control.height));
    if (!toolTip.isEmpty())
        widget->setToolTip(toolTip);
    if (control.backColor || control.foreColor) {
        QPalette palette = widget->palette();
        if (control.backColor)
            palette.setColor(QPalette::Window, ColorOf(*control.backColor));
        if (control.foreColor)
            palette.setColor(QPalette::WindowText, ColorOf(*control.foreColor));
        widget->setPalette(palette);
    }
    if (control.font)
        widget->setFont(FittedFont(FontFromDesign(*control.font), caption, widget->height()));
    return widget;
}

bool TakesFocus(ControlKind kind) {
    return kind == ControlKind::TextBox || kind == ControlKind::CommandButton;
}

} // namespace

FormWindow::FormWindow(Form& form) : form_(form) {}

void FormWindow::closeEvent(QCloseEvent* event) {
    // Unloading discards this widget itself; Qt must not also close it.
    event->ignore();
    FormsRuntime& runtime = form_.Runtime();
    runtime.Dispatch([&runtime, this] {
        form_.OnCloseRequested();
        runtime.Unload(form_);
    });
}

CaptionLayout LayOutCaption(const QFont& font, const QStringList& lines, int height) {
    const QFontMetricsF metrics(font);
    const qreal pitch = std::min(metrics.lineSpacing(),
                                 qreal(height) / qreal(std::max<qsizetype>(lines.size(), 1)));
    // Every line sits alike: the ink of all of them, centred in a line's slot.
    qreal inkTop = 0;
    qreal inkBottom = 0;
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        const QRectF ink = metrics.tightBoundingRect(line);
        inkTop = std::min(inkTop, ink.top());
        inkBottom = std::max(inkBottom, ink.bottom());
    }
    return {pitch, (pitch - (inkBottom - inkTop)) / 2 - inkTop};
}

void DesignLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QStringList lines = text().split(QLatin1Char('\n'));
    const CaptionLayout layout = LayOutCaption(font(), lines, height());
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter.drawText(QPointF(0, layout.firstBaseline + qreal(i) * layout.pitch), lines[i]);
}

FormWindow* BuildWindow(Form& owner, const WindowDesign& design, ControlList& controls) {
    auto* window = new FormWindow(owner);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setWindowTitle(FromUtf8(design.caption));
    const QRect client = FirstPosition(design);
    window->setFixedSize(client.size());
    window->setGeometry(client);

    controls.clear();
    std::map<std::string_view, QWidget*> frames;
    for (const ControlDesign& control : design.controls) {
        QWidget* parent = window;
        if (!control.container.empty())
            parent = frames.at(control.container);
        QWidget* widget = MakeControl(control, parent);
        if (control.kind == ControlKind::Frame)
            frames.emplace(control.name, widget);
        controls.emplace_back(control.name, widget);
    }

    // Stacking: windowed controls in their order, labels behind everything.
    std::vector<std::string_view> frontToBack(design.stackingFrontToBack.begin(),
                                              design.stackingFrontToBack.end());
    if (frontToBack.empty())
        for (const ControlDesign& control : design.controls)
            if (control.kind != ControlKind::Label)
                frontToBack.push_back(control.name);
    for (auto name = frontToBack.rbegin(); name != frontToBack.rend(); ++name)
        for (const auto& [controlName, widget] : controls)
            if (controlName == *name)
                widget->raise();
    for (std::size_t i = 0; i < design.controls.size(); ++i)
        if (design.controls[i].kind == ControlKind::Label)
            controls[i].second->lower();

    // Tab order by TabIndex over the controls that take the focus; the first
    // has the focus when the window opens.
    std::vector<std::pair<int, QWidget*>> focusable;
    for (std::size_t i = 0; i < design.controls.size(); ++i) {
        QWidget* widget = controls[i].second;
        if (TakesFocus(design.controls[i].kind))
            focusable.emplace_back(design.controls[i].tabIndex, widget);
        else
            widget->setFocusPolicy(Qt::NoFocus);
    }
    std::stable_sort(focusable.begin(), focusable.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusable.size(); ++i)
        QWidget::setTabOrder(focusable[i - 1].second, focusable[i].second);
    if (!focusable.empty())
        focusable.front().second->setFocus();
    return window;
}

} // namespace quimbel::forms
