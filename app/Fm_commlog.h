#pragma once

#include <QWidget>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "modbus/FrameDecoder.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The communication log: every frame the link's master sent and received, decoded one line
// each (see TFrameDecoder), the last kMaxFrames of them kept. The main window hands it the
// frames in batches while it is open. Pause stops the display (the frames are still kept),
// "Errors only" shows the failures alone, Clear forgets what is kept, Save writes it to a
// text file.
class TfmCommLog : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::size_t kMaxFrames = 10000;

  explicit TfmCommLog(QWidget* parent);

  // A batch of events, oldest first; dropped: how many the queue lost before them.
  void Add(const std::vector<modbus::TFrameEvent>& events, std::size_t dropped = 0);
  // Writes what is kept, one line each, after a line naming the dropped ones if any;
  // throws the file's error.
  void SaveTo(const std::string& path) const;
  std::size_t Kept() const { return lines_.size(); }
  std::size_t Dropped() const { return dropped_; }

  // Asks for the file Save writes; an empty name cancels. Tests replace it.
  std::function<QString()> ChooseFileToSave;
  // Told when the window is closed or hidden.
  std::function<void()> OnClosed;

  QPlainTextEdit* mmLog = nullptr;
  QCheckBox* cbPause = nullptr;
  QCheckBox* cbErrorsOnly = nullptr;
  QPushButton* btClear = nullptr;
  QPushButton* btSave = nullptr;
  QLabel* lbCount = nullptr;

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  struct TLine {
    std::string text;
    bool error = false;
  };
  void Keep(TLine line);
  bool Shown(const TLine& line) const;
  void Redisplay();
  void ShowCount();
  void SaveClick();

  modbus::TFrameDecoder decoder_;
  std::deque<TLine> lines_;
  std::size_t dropped_ = 0;
};
