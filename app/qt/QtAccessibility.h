#pragma once

// What each window and control says to assistive technology (AT-SPI on
// Linux), handed on from the window plan: names, descriptions, the label
// that names each field, the window's role, and what a dialog announces as
// it opens.

namespace quimbel::ui {

class QtWindow;

// Once its controls are made.
void MakeAccessible(QtWindow& window);
// Once it is shown: a prompt's message, or a dialog's text, is announced.
void AnnounceOpening(QtWindow& window);

} // namespace quimbel::ui
