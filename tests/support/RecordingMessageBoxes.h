#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ui/MessageBoxes.h"

namespace testsupport {

// Message boxes for tests: every box is recorded instead of shown, and is
// answered from a queue of answers (OK or Yes when the queue is empty).
// Installs itself for the process while it lives.
class TRecordingMessageBoxes : public ui::TMessageBoxes {
 public:
  struct TBox {
    ui::TBoxIcon Icon;
    std::string Caption;
    std::string Text;
    ui::TBoxButtons Buttons;
  };

  TRecordingMessageBoxes();
  ~TRecordingMessageBoxes() override;

  ui::TBoxAnswer Show(ui::TBoxIcon icon, const std::string& caption, const std::string& text,
                      ui::TBoxButtons buttons) override;

  void QueueAnswer(ui::TBoxAnswer answer) { answers_.push_back(answer); }
  const std::vector<TBox>& Boxes() const { return boxes_; }
  // The texts of all boxes shown so far, in order.
  std::vector<std::string> Texts() const;
  void Clear() { boxes_.clear(); }

 private:
  std::vector<TBox> boxes_;
  std::deque<ui::TBoxAnswer> answers_;
};

}  // namespace testsupport
