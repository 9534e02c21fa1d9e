#pragma once

class QLabel;
class QWidget;

namespace ui {

// The clear space kept between a caption's text and the control after it.
inline constexpr int kCaptionGapPx = 4;

// Shows the label's text in at most the given width, shortened with an
// ellipsis where it is wider, the whole text then being the label's tooltip.
void ElideLabel(QLabel& label, int width);

// Captions are elided where the layout leaves them too little room: every
// label among the page's own children whose text would run into the nearest
// control to its right on its line keeps to the room before that control.
void FitCaptionsToControls(QWidget& page);

}  // namespace ui
