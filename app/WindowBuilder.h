#pragma once

// Turns a window design into Qt widgets. Every window is built here, the same
// way, so a design table is all a window needs to say about its looks.

#include "WindowDesign.h"

#include <QFont>
#include <QLabel>
#include <QWidget>

#include <string_view>
#include <utility>
#include <vector>

class QCloseEvent;

namespace quimbel::forms {

class Form;

// The top-level widget of a loaded form. A close request from the window
// system unloads the form instead of just hiding the widget.
class FormWindow : public QWidget {
    Q_OBJECT
public:
    explicit FormWindow(Form& form);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Form& form_;
};

// How caption lines sit in a label: each line gets a slot of `pitch` pixels
// (the font's line spacing, or less when that would overflow the label), with
// the caption's ink centred in it.
struct CaptionLayout {
    qreal pitch;
    qreal firstBaseline;
};
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

using ControlList = std::vector<std::pair<std::string_view, QWidget*>>;

// Builds the window and its controls (hidden), and lists the controls by name.
FormWindow* BuildWindow(Form& owner, const WindowDesign& design, ControlList& controls);

} // namespace quimbel::forms
