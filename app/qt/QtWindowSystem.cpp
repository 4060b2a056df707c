#include "QtWindowSystem.h"

#include "Appearance.h"
#include "DesktopLaunch.h"
#include "QtAccessibility.h"
#include "TextField.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace quimbel::ui {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QColor ColorOf(Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

// Qt scales logical pixels to the screen itself: the plan is laid out at the
// design resolution.
QRect LogicalRect(const Rect& twips) {
    const Rect pixels = PixelsAt(twips, DesignDpi);
    return {pixels.left, pixels.top, pixels.width, pixels.height};
}

QRect FirstPositionOnScreen(const WindowPlan& plan) {
    const Rect client = PixelsAt(plan.clientTwips, DesignDpi);
    Rect area{0, 0, client.left + client.width, client.top + client.height};
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        area = {available.x(), available.y(), available.width(), available.height()};
    }
    const Rect placed = FirstPosition(client, area);
    return {placed.left, placed.top, placed.width, placed.height};
}

// The plan's fonts are measured at the design resolution, where the controls'
// logical pixels are laid out; Qt scales them to the screen.
FontMeasure Measure(const QFont& font, std::span<const std::string> lines) {
    const QFontMetricsF metrics(font);
    FontMeasure measure{metrics.height(), metrics.lineSpacing(), {}};
    measure.lines.reserve(lines.size());
    for (const std::string& line : lines) {
        if (line.empty()) {
            measure.lines.push_back({0, 0, 0});
            continue;
        }
        const QString text = FromUtf8(line);
        const QRectF ink = metrics.tightBoundingRect(text);
        measure.lines.push_back({metrics.horizontalAdvance(text), ink.top(), ink.bottom()});
    }
    return measure;
}

// The caption as the widget holds it: Qt takes "&" before a letter as an
// access key in these, and the captions have none.
QString Shown(const ControlPlan& control, std::string_view caption) {
    return CaptionMayMarkAccessKey(control.Kind()) ? FromUtf8(DoubleAmpersands(caption))
                                                   : FromUtf8(caption);
}

QWidget* MakeControl(const ControlPlan& control, QWidget* parent) {
    const QString caption = Shown(control, control.caption);
    QWidget* widget = nullptr;
    switch (control.Kind()) {
    case ControlKind::Label: {
        auto* label = new DesignLabel(caption, parent);
        // Opaque in its own colour; otherwise it shows its container's.
        label->setAutoFillBackground(control.design->backColor.has_value());
        label->setFocusPolicy(Qt::NoFocus);
        widget = label;
        break;
    }
    case ControlKind::TextBox: {
        auto* field = new TextField(parent);
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
        frame->setFocusPolicy(Qt::NoFocus);
        widget = frame;
        break;
    }
    }
    widget->setObjectName(FromUtf8(control.Name()));
    widget->setGeometry(LogicalRect(control.twips));
    if (!control.toolTip.empty())
        widget->setToolTip(QString::fromStdString(control.toolTip));
    const ControlDesign& design = *control.design;
    if (design.backColor || design.foreColor) {
        QPalette palette = widget->palette();
        if (design.backColor)
            palette.setColor(QPalette::Window, ColorOf(*design.backColor));
        if (design.foreColor)
            palette.setColor(QPalette::WindowText, ColorOf(*design.foreColor));
        widget->setPalette(palette);
    }
    return widget;
}

} // namespace

CaptionLayout LayOutCaption(const QFont& font, const QStringList& lines, int height) {
    const QFontMetricsF metrics(font);
    qreal inkTop = 0;
    qreal inkBottom = 0;
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        const QRectF ink = metrics.tightBoundingRect(line);
        inkTop = std::min(inkTop, ink.top());
        inkBottom = std::max(inkBottom, ink.bottom());
    }
    return ui::LayOutCaption(metrics.lineSpacing(), inkTop, inkBottom,
                             static_cast<std::size_t>(lines.size()), height);
}

void DesignLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    // The label holds its caption with "&" doubled (it names a field), and
    // shows it as set.
    const QStringList lines =
        QString(text()).replace(QStringLiteral("&&"), QStringLiteral("&")).split(QLatin1Char('\n'));
    const CaptionLayout layout = LayOutCaption(font(), lines, height());
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter.drawText(QPointF(0, layout.firstBaseline + qreal(i) * layout.pitch), lines[i]);
}

QtWindow::QtWindow(const WindowPlan& plan, WindowEvents& events, std::string& pendingStartupId)
    : plan_(plan), events_(events), pendingStartupId_(pendingStartupId) {
    // Title, window menu, minimise and close: no maximise, as on Windows.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromStdString(plan.caption));
    const QRect client = FirstPositionOnScreen(plan);
    setFixedSize(client.size());
    setGeometry(client);

    controls_.reserve(plan.controls.size());
    for (const ControlPlan& control : plan.controls) {
        QWidget* parent = control.container == NoControl
                              ? this
                              : controls_[static_cast<std::size_t>(control.container)];
        QWidget* widget = MakeControl(control, parent);
        controls_.push_back(widget);
        if (control.Kind() == ControlKind::CommandButton) {
            const int index = static_cast<int>(controls_.size() - 1);
            connect(static_cast<QPushButton*>(widget), &QAbstractButton::clicked, this,
                    [this, index] { events_.Clicked(index); });
        }
    }

    // Raised from the back, the front one last: each ends in the plan's
    // order among its container's children.
    for (auto index = plan.stacking.rbegin(); index != plan.stacking.rend(); ++index)
        Control(*index)->raise();

    for (std::size_t i = 1; i < plan.tabOrder.size(); ++i)
        QWidget::setTabOrder(Control(plan.tabOrder[i - 1]), Control(plan.tabOrder[i]));
    for (std::size_t i = 0; i < plan.controls.size(); ++i)
        if (!plan.controls[i].takesFocus)
            controls_[i]->setFocusPolicy(Qt::NoFocus);
    if (plan.firstFocus != NoControl)
        Control(plan.firstFocus)->setFocus();
    MakeAccessible(*this);
}

void QtWindow::FitFonts() {
    if (fontsFitted_)
        return;
    fontsFitted_ = true;
    // Each window's font fits its own captions.
    QFont measured;
    FontRequest measuredRequest{{}, 0, false};
    const FittedFonts fonts = ui::FitFonts(
        plan_, DesignDpi, [&](const FontRequest& request, std::span<const std::string> lines) {
            if (request.families.data() != measuredRequest.families.data() ||
                request.pixels != measuredRequest.pixels || request.bold != measuredRequest.bold) {
                measured = FontOf(request);
                measuredRequest = request;
            }
            return Measure(measured, lines);
        });
    setFont(FontOf({DefaultFontFamilies(), fonts.windowPixels, false}));

    for (std::size_t i = 0; i < plan_.controls.size(); ++i)
        if (const FontDesign* own = plan_.controls[i].design->font)
            controls_[i]->setFont(FontOf({own->families, fonts.ownPixels[i], own->bold}));
}

QWidget* QtWindow::Control(int control) const {
    return controls_.at(static_cast<std::size_t>(control));
}

void QtWindow::Show() {
    FitFonts();
    if (!watchingState_) {
        // The native window, made now rather than by show(): its state is
        // watched from the start, and it is labelled before it is mapped.
        winId();
        connect(windowHandle(), &QWindow::windowStateChanged, this, &QtWindow::KeepDesignedSize);
        watchingState_ = true;
    }
    if (!pendingStartupId_.empty()) {
        MarkLaunchWindow(*this, pendingStartupId_);
        pendingStartupId_.clear();
    }
    show();
    raise();
    activateWindow();
    AnnounceOpening(*this);
}

void QtWindow::Hide() { hide(); }

bool QtWindow::IsVisible() const { return isVisible(); }

std::string QtWindow::Text(int control) const {
    QWidget* widget = Control(control);
    switch (plan_.controls[static_cast<std::size_t>(control)].Kind()) {
    case ControlKind::TextBox:
        return ToUtf8(static_cast<TextField*>(widget)->Text());
    case ControlKind::Label:
        return HalveAmpersands(ToUtf8(static_cast<QLabel*>(widget)->text()));
    case ControlKind::CommandButton:
        return HalveAmpersands(ToUtf8(static_cast<QPushButton*>(widget)->text()));
    case ControlKind::Frame:
        return HalveAmpersands(ToUtf8(static_cast<QGroupBox*>(widget)->title()));
    }
    return {};
}

void QtWindow::SetText(int control, std::string_view text) {
    QWidget* widget = Control(control);
    const ControlPlan& planned = plan_.controls[static_cast<std::size_t>(control)];
    const QString value = Shown(planned, text);
    switch (planned.Kind()) {
    case ControlKind::TextBox:
        static_cast<TextField*>(widget)->SetText(value);
        break;
    case ControlKind::Label:
        static_cast<QLabel*>(widget)->setText(value);
        break;
    case ControlKind::CommandButton:
        static_cast<QPushButton*>(widget)->setText(value);
        break;
    case ControlKind::Frame:
        static_cast<QGroupBox*>(widget)->setTitle(value);
        break;
    }
}

// Qt's own title bar on Wayland draws a maximise button whatever the window
// flags say, and some X11 window managers (openbox) offer full screen to any
// window. Either sets the state on the QWindow, straight from the title bar
// or once the window system has applied it. It is taken back at once, so the
// window stays as designed and the button never turns into "restore".
// Minimised is left alone.
void QtWindow::KeepDesignedSize() {
    QWindow* handle = windowHandle();
    const Qt::WindowStates larger = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (handle && (handle->windowStates() & larger))
        handle->setWindowStates(handle->windowStates() & ~larger);
}

void QtWindow::closeEvent(QCloseEvent* event) {
    // The layer decides: unloading destroys this widget itself, so Qt must
    // not also close it.
    event->ignore();
    events_.CloseRequested();
}

QtWindowSystem::QtWindowSystem(std::string startupId) : pendingStartupId_(std::move(startupId)) {}

QtWindowSystem::~QtWindowSystem() { DestroyPending(); }

std::unique_ptr<NativeWindow> QtWindowSystem::MakeWindow(const WindowPlan& plan,
                                                         WindowEvents& events) {
    return std::make_unique<QtWindow>(plan, events, pendingStartupId_);
}

void QtWindowSystem::DestroyLater(std::unique_ptr<NativeWindow> window) {
    auto* widget = dynamic_cast<QtWindow*>(window.get());
    if (!widget)
        return;
    window.release();
    widget->hide();
    widget->deleteLater();
}

void QtWindowSystem::DestroyPending() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int QtWindowSystem::Run() {
    if (quitBeforeRun_)
        return quitStatus_;
    return QApplication::exec();
}

void QtWindowSystem::Quit(int status) {
    quitBeforeRun_ = true;
    quitStatus_ = status;
    QCoreApplication::exit(status);
}

} // namespace quimbel::ui
