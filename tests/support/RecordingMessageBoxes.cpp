#include "tests/support/RecordingMessageBoxes.h"

namespace testsupport {

TRecordingMessageBoxes::TRecordingMessageBoxes() {
  ui::SetMessageBoxes(this);
}

TRecordingMessageBoxes::~TRecordingMessageBoxes() {
  ui::SetMessageBoxes(nullptr);
}

ui::TBoxAnswer TRecordingMessageBoxes::Show(ui::TBoxIcon icon, const std::string& caption,
                                            const std::string& text, ui::TBoxButtons buttons) {
  boxes_.push_back({icon, caption, text, buttons});
  if (!answers_.empty()) {
    const ui::TBoxAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  return buttons == ui::TBoxButtons::YesNo ? ui::TBoxAnswer::Yes : ui::TBoxAnswer::Ok;
}

std::vector<std::string> TRecordingMessageBoxes::Texts() const {
  std::vector<std::string> texts;
  for (const TBox& box : boxes_) {
    texts.push_back(box.Text);
  }
  return texts;
}

}  // namespace testsupport
