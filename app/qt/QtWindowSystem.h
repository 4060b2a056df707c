#pragma once

// The window back end on Qt Widgets: a window plan becomes a QWidget with one
// child widget per control.

#include "WindowSystem.h"

#include <QFont>
#include <QLabel>
#include <QStringList>
#include <QWidget>

#include <string>
#include <vector>

class QCloseEvent;

namespace quimbel::ui {

// The caption layout of the plan, measured in a Qt font.
CaptionLayout LayOutCaption(const QFont& font, const QStringList& lines, int height);

// A label as designed: opaque, left-aligned, no border, each stored line of
// its caption on a line of its own.
class DesignLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The top-level widget of a loaded form. A close request from the window
// system goes to the layer, which unloads the form, instead of just hiding
// the widget. Its size is the design's alone: it is never maximised or full
// screen, whatever a title bar or window menu offers.
class QtWindow final : public QWidget, public NativeWindow {
    Q_OBJECT
public:
    // The first window shown takes pendingStartupId (and empties it): it is
    // the one that ends the desktop's launch.
    QtWindow(const WindowPlan& plan, WindowEvents& events, std::string& pendingStartupId);

    void Show() override;
    void Hide() override;
    bool IsVisible() const override;
    std::string Text(int control) const override;
    void SetText(int control, std::string_view text) override;

    // The widget of a control, by its index in the plan.
    QWidget* Control(int control) const;
    // Gives the window and each control with a font of its own the size at
    // which its captions fit, once: Show does, so that a window loaded
    // hidden (the main window behind the welcome dialog) measures no fonts
    // at start-up; and whoever looks at a window never shown.
    void FitFonts();
    const WindowPlan& Plan() const { return plan_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void KeepDesignedSize();

    const WindowPlan& plan_;
    WindowEvents& events_;
    std::string& pendingStartupId_;
    std::vector<QWidget*> controls_;
    bool watchingState_ = false;
    bool fontsFitted_ = false;
};

class QtWindowSystem final : public WindowSystem {
public:
    // startupId: the desktop's launch ID for this run (StartupIdFromEnvironment),
    // or empty.
    explicit QtWindowSystem(std::string startupId = {});
    ~QtWindowSystem() override;

    std::unique_ptr<NativeWindow> MakeWindow(const WindowPlan& plan, WindowEvents& events) override;
    void DestroyLater(std::unique_ptr<NativeWindow> window) override;
    void DestroyPending() override;
    int Run() override;
    void Quit(int status) override;

private:
    std::string pendingStartupId_;
    bool quitBeforeRun_ = false;
    int quitStatus_ = 0;
};

} // namespace quimbel::ui
