#pragma once

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QWidget;

namespace testsupport {

// Text measured in the font a widget actually uses, against the room its
// geometry leaves.

// Where the caption's text runs into the nearest control to its right on its
// line (or leaves less than kCaptionGapPx before it), a description of the
// clash; where the caption was shortened without its whole text as tooltip,
// that; otherwise empty. whole: the caption's full text.
std::string CaptionClash(const QLabel& caption, const std::string& whole);

// Each entry of the box that, once chosen, is shown wider than the box's text
// field, shortened to less than its first kLeastShownCharacters characters
// (an entry that short: shortened at all), or shortened without its whole
// text as the box's tooltip. Leaves the box's choice as it was.
std::vector<std::string> CutEntries(QComboBox& box);

// The width a drop-down's style leaves for its shown entry: the box less frame,
// padding and arrow.
int FieldWidth(const QComboBox& box);

// The least clear space between a caption's text and its control.
inline constexpr int kCaptionGapPx = 2;

// What a drop-down shows at least of each entry: enough to tell "10" from "1…"
// and "Supply…" from "Sum…".
inline constexpr int kLeastShownCharacters = 4;

}  // namespace testsupport
