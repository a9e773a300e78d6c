// What a person reads in a window, and whether it is whole: for tests that a
// window speaks one language and that none of its captions is cut.
#pragma once

#include <string>
#include <vector>

#include "util/TextTable.h"

class QWidget;

namespace pictrim::test {

// A text of a window: the control that shows it and the text.
struct TShownText {
  std::string Control;
  std::string Text;
};

// Every caption, title, hint, placeholder and edit text of Window and its
// controls, shown or hidden; accelerator marks removed.
std::vector<TShownText> ShownTexts(QWidget* Window);

// The texts of ShownTexts that look German, as "control: text".
std::vector<std::string> GermanTexts(QWidget* Window);

// The lines of ShownTexts that a text of the other built-in language than
// Shown made: a line that one of the other column's texts (placeholders
// standing for anything) makes whole, or that holds a stretch of ten or
// more fixed characters of such a text that Shown's own text lacks; as
// "control: line".
std::vector<std::string> TextsOfTheOtherLanguage(QWidget* Window, TLanguage Shown);

// Delivers the pending layout requests until none is left. A text changed
// deep in a window asks each enclosing layout in turn, one posted request
// at a time, so a single pass of the event loop may leave the outer layouts
// as they were.
void SettleLayouts();

// The captions of Window's visible controls, once the layouts have settled,
// that are wider than the room their control gives them, as "control: text
// (needs N, has M)": labels, push, tool, check and radio buttons, the colour
// buttons, group titles, tabs, spin boxes and combo boxes; a label that wraps
// and needs more height than it has is cut too. Labels that shorten long
// paths by design are not captions.
std::vector<std::string> CutCaptions(QWidget* Window);

}  // namespace pictrim::test
