#include "app/Fm_commlog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "model/AtomicFile.h"
#include "ui/ErrorBox.h"

namespace {

constexpr int kWidth = 860;
constexpr int kHeight = 480;

}  // namespace

TfmCommLog::TfmCommLog(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Communication Log"));
  resize(kWidth, kHeight);
  auto* layout = new QVBoxLayout(this);
  mmLog = new QPlainTextEdit(this);
  mmLog->setReadOnly(true);
  mmLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  mmLog->setMaximumBlockCount(static_cast<int>(kMaxFrames));
  layout->addWidget(mmLog, 1);
  auto* controls = new QHBoxLayout;
  cbPause = new QCheckBox(QStringLiteral("&Pause"), this);
  cbErrorsOnly = new QCheckBox(QStringLiteral("&Errors only"), this);
  btClear = new QPushButton(QStringLiteral("&Clear"), this);
  btSave = new QPushButton(QStringLiteral("&Save..."), this);
  lbCount = new QLabel(this);
  controls->addWidget(cbPause);
  controls->addWidget(cbErrorsOnly);
  controls->addWidget(lbCount, 1);
  controls->addWidget(btClear);
  controls->addWidget(btSave);
  layout->addLayout(controls);

  ChooseFileToSave = [this] {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Communication Log..."),
                                        QString(),
                                        QStringLiteral("Text Files (*.txt);;All Files (*)"));
  };
  connect(cbPause, &QCheckBox::toggled, this, [this] { Redisplay(); });
  connect(cbErrorsOnly, &QCheckBox::toggled, this, [this] { Redisplay(); });
  connect(btClear, &QPushButton::clicked, this, [this] {
    lines_.clear();
    dropped_ = 0;
    Redisplay();
  });
  connect(btSave, &QPushButton::clicked, this, [this] { ui::RunGuarded([this] { SaveClick(); }); });
  ShowCount();
}

void TfmCommLog::Add(const std::vector<modbus::TFrameEvent>& events, std::size_t dropped) {
  dropped_ += dropped;
  QString shown;
  for (const modbus::TFrameEvent& event : events) {
    TLine line{decoder_.Line(event), modbus::TFrameDecoder::IsError(event)};
    if (Shown(line)) {
      shown += (shown.isEmpty() ? "" : "\n") + QString::fromStdString(line.text);
    }
    Keep(std::move(line));
  }
  if (!shown.isEmpty() && !cbPause->isChecked()) {
    mmLog->appendPlainText(shown);
  }
  ShowCount();
}

void TfmCommLog::Keep(TLine line) {
  if (lines_.size() >= kMaxFrames) {
    lines_.pop_front();
    ++dropped_;
  }
  lines_.push_back(std::move(line));
}

bool TfmCommLog::Shown(const TLine& line) const {
  return line.error || !cbErrorsOnly->isChecked();
}

void TfmCommLog::Redisplay() {
  if (cbPause->isChecked()) {
    return;
  }
  QString text;
  for (const TLine& line : lines_) {
    if (Shown(line)) {
      text += QString::fromStdString(line.text) + '\n';
    }
  }
  text.chop(1);
  mmLog->setPlainText(text);
  mmLog->moveCursor(QTextCursor::End);
  ShowCount();
}

void TfmCommLog::ShowCount() {
  lbCount->setText(QStringLiteral("%1 frames kept, %2 dropped")
                       .arg(static_cast<qulonglong>(lines_.size()))
                       .arg(static_cast<qulonglong>(dropped_)));
}

void TfmCommLog::SaveTo(const std::string& path) const {
  std::string text;
  if (dropped_ > 0) {
    text += "(" + std::to_string(dropped_) + " earlier frames were dropped)\n";
  }
  for (const TLine& line : lines_) {
    text += line.text + '\n';
  }
  model::WriteFileAtomically(path, text);
}

void TfmCommLog::SaveClick() {
  const QString path = ChooseFileToSave();
  if (!path.isEmpty()) {
    SaveTo(QFile::encodeName(path).toStdString());
  }
}

void TfmCommLog::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (OnClosed) {
    OnClosed();
  }
}
