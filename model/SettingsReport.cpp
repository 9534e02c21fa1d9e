#include "model/SettingsReport.h"

#include <QBuffer>
#include <QDateTime>
#include <QFont>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <array>
#include <cstdio>
#include <stdexcept>

#include "model/AtomicFile.h"
#include "model/Group.h"
#include "model/Setting_sectionlabel.h"
#include "model/Settings.h"

namespace model {

namespace {

std::string RegisterText(const TSetting& setting) {
  static const std::array<const char*, 5> kTypes = {"register", "coil", "discrete input",
                                                    "holding register", "input register"};
  const std::int32_t type = setting.RegisterType();
  std::string text = type >= 0 && type < static_cast<std::int32_t>(kTypes.size())
                         ? kTypes[static_cast<std::size_t>(type)]
                         : "register";
  std::int32_t span = setting.RegisterSpan();
  if (setting.RegistersPerTransfer() > 1) {
    span = setting.RegistersPerTransfer();  // holding registers, whatever the type says
    text = "holding register";
  }
  if (span > 1) {
    text += "s " + std::to_string(setting.Reference()) + " to " +
            std::to_string(setting.Reference() + span - 1);
  } else {
    text += " " + std::to_string(setting.Reference());
  }
  if (setting.BitMask() != 0) {
    char mask[16];
    std::snprintf(mask, sizeof mask, " (bits 0x%04x)",
                  static_cast<unsigned>(setting.BitMask()) & 0xFFFFu);
    text += mask;
  }
  return text;
}

// A field as RFC 4180 has it: quoted, its quotes doubled, when it holds a comma, a quote or
// a line break.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + "\"";
}

// One line of a report page: a group's heading (a numbered instance's too) or a setting.
struct TLine {
  const TSettingRow* row = nullptr;  // null for a heading
  std::string heading;
  bool section = false;  // the heading of a numbered instance within its group
};

// The lines of each page: at most kReportRowsPerPage, less the title's on the first; a page
// never ends in a heading, and one that starts inside a group names it again.
std::vector<std::vector<TLine>> Paginate(const std::vector<TSettingRow>& rows, int titleLines) {
  std::vector<std::vector<TLine>> pages(1);
  int room = kReportRowsPerPage - titleLines;
  const auto newPage = [&] {
    pages.emplace_back();
    room = kReportRowsPerPage;
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TSettingRow& row = rows[i];
    std::vector<TLine> headings;
    const bool newGroup = i == 0 || rows[i - 1].Group != row.Group;
    if (newGroup) {
      headings.push_back({nullptr, row.Group, false});
    }
    if (!row.Section.empty() && (newGroup || rows[i - 1].Section != row.Section)) {
      headings.push_back({nullptr, row.Section, true});
    }
    if (room < static_cast<int>(headings.size()) + 1) {
      newPage();
    }
    if (pages.back().empty() && headings.empty()) {
      headings.push_back({nullptr, row.Group + " (continued)", false});
    }
    for (TLine& heading : headings) {
      pages.back().push_back(std::move(heading));
      --room;
    }
    pages.back().push_back({&row, {}, false});
    --room;
  }
  return pages;
}

class TReportPainter {
 public:
  TReportPainter(QPdfWriter& writer, const TReportHeading& heading)
      : writer_(writer), heading_(heading), painter_(&writer) {
    if (!painter_.isActive()) {
      throw std::runtime_error("The report could not be drawn");
    }
    font_.setStyleHint(QFont::SansSerif);
    font_.setPointSizeF(8.5);
    // Spaced letters are set without ligatures, so that the text copied or searched out of
    // the document reads "offline", not "o\ufb04ine".
    font_.setLetterSpacing(QFont::AbsoluteSpacing, 0.1);
    bold_ = font_;
    bold_.setBold(true);
    title_ = bold_;
    title_.setPointSizeF(14);
    width_ = writer.width();
    // The rows and the column heads share the page's height above the footer.
    lineHeight_ = writer.height() / (kReportRowsPerPage + 3);
  }

  void Page(const std::vector<TLine>& lines, int number, int pages, int titleLines) {
    if (number > 1) {
      writer_.newPage();
    }
    int y = 0;
    if (number == 1) {
      y = Title(titleLines);
    }
    Cells(y, {"Setting", "Value", "Factory default", "*"}, bold_, false);
    y += lineHeight_;
    painter_.drawLine(0, y, width_, y);
    for (const TLine& line : lines) {
      if (line.row == nullptr) {
        // A group's heading shaded darker than those of its numbered instances, which are
        // indented.
        const int indent = line.section ? 4 * kPad : kPad;
        painter_.fillRect(0, y, width_, lineHeight_,
                          line.section ? QColor(242, 242, 242) : QColor(220, 220, 220));
        Text(QRect(indent, y, width_ - indent - kPad, lineHeight_), line.heading, bold_);
      } else {
        const TSettingRow& row = *line.row;
        const std::string value = row.Unit.empty() ? row.Value : row.Value + " " + row.Unit;
        const std::string fallback =
            row.Default.empty() || row.Unit.empty() ? row.Default : row.Default + " " + row.Unit;
        Cells(y, {row.Setting, value, fallback, row.Differs ? "*" : ""}, font_, true);
      }
      y += lineHeight_;
    }
    const int footer = writer_.height() - lineHeight_;
    painter_.drawLine(0, footer, width_, footer);
    Text(QRect(0, footer, width_ / 2, lineHeight_), heading_.DeviceType, font_);
    painter_.setFont(font_);
    painter_.drawText(QRect(width_ / 2, footer, width_ / 2, lineHeight_),
                      Qt::AlignRight | Qt::AlignVCenter,
                      QStringLiteral("Page %1 of %2").arg(number).arg(pages));
  }

  static constexpr int kTitleLines = 6;

 private:
  // The title block; returns where the table starts.
  int Title(int lines) {
    Text(QRect(0, 0, width_, 2 * lineHeight_),
         heading_.DeviceType + " (device id " + std::to_string(heading_.DeviceId) + ")", title_);
    int y = 2 * lineHeight_;
    for (const std::string& text :
         {"Settings report of " + heading_.When + ", made with " + heading_.Tool,
          "Connection: " + heading_.Connection,
          std::string("* marks a value that differs from the factory default")}) {
      Text(QRect(0, y, width_, lineHeight_), text, font_);
      y += lineHeight_;
    }
    return lines * lineHeight_;
  }

  void Cells(int y, const std::array<std::string, 4>& texts, const QFont& font, bool rule) {
    static constexpr std::array<double, 5> kEdges = {0.0, 0.44, 0.70, 0.95, 1.0};
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const int left = static_cast<int>(kEdges[i] * width_);
      const int right = static_cast<int>(kEdges[i + 1] * width_);
      Text(QRect(left + kPad, y, right - left - 2 * kPad, lineHeight_), texts[i], font);
    }
    if (rule) {
      painter_.setPen(QColor(200, 200, 200));
      painter_.drawLine(0, y + lineHeight_, width_, y + lineHeight_);
      painter_.setPen(Qt::black);
    }
  }

  // One line of text in the box, its line breaks as spaces and cut with an ellipsis where
  // it is too long: a row is never wrapped.
  void Text(const QRect& box, const std::string& text, const QFont& font) {
    painter_.setFont(font);
    const QFontMetrics metrics(font, &writer_);
    QString line = QString::fromStdString(text);
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    painter_.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(line, Qt::ElideRight, box.width()));
  }

  static constexpr int kPad = 12;
  QPdfWriter& writer_;
  const TReportHeading& heading_;
  QPainter painter_;
  QFont font_{QStringLiteral("DejaVu Sans")};
  QFont bold_;
  QFont title_;
  int width_ = 0;
  int lineHeight_ = 0;
};

}  // namespace

std::vector<TSettingRow> SettingRows(const TSettings& document) {
  // The values as one read left them (a four-part id's parts are taken under this lock).
  auto lock = document.Store().Lock();
  std::vector<TSettingRow> rows;
  for (const auto& group : document.Groups) {
    if (group->IsTemplate) {
      continue;
    }
    std::string section;
    for (const auto& setting : group->Settings) {
      if (dynamic_cast<const TSettingSectionLabel*>(setting.get()) != nullptr) {
        section = setting->Name();
        continue;
      }
      const std::optional<TShownValue> shown = setting->ShownValue();
      if (!shown) {
        continue;  // nothing of its own to hand over
      }
      rows.push_back({group->Name, section, setting->Name(), shown->Value, shown->Unit,
                      shown->Default, RegisterText(*setting),
                      shown->HasDefault && shown->Value != shown->Default});
    }
  }
  return rows;
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    line += (i == 0 ? "" : ",") + CsvField(fields[i]);
  }
  return line + "\r\n";
}

std::string SettingsTable(const std::vector<TSettingRow>& rows) {
  std::string text =
      "\xEF\xBB\xBF" + CsvLine({"Group", "Setting", "Value", "Unit", "Default", "Register"});
  for (const TSettingRow& row : rows) {
    text +=
        CsvLine({row.Group, row.Section.empty() ? row.Setting : row.Section + " / " + row.Setting,
                 row.Value, row.Unit, row.Default, row.Register});
  }
  return text;
}

void ExportTable(const TSettings& document, const std::string& path) {
  WriteFileAtomically(path, SettingsTable(SettingRows(document)));
}

std::string ReportPdf(const std::vector<TSettingRow>& rows, const TReportHeading& heading) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QString::fromStdString(heading.DeviceType + " settings"));
    writer.setCreator(QString::fromStdString(heading.Tool));
    const auto pages = Paginate(rows, TReportPainter::kTitleLines);
    TReportPainter painter(writer, heading);
    for (std::size_t i = 0; i < pages.size(); ++i) {
      painter.Page(pages[i], static_cast<int>(i) + 1, static_cast<int>(pages.size()),
                   TReportPainter::kTitleLines);
    }
  }
  return buffer.data().toStdString();
}

void SaveReport(const TSettings& document, const TReportHeading& heading, const std::string& path) {
  WriteFileAtomically(path, ReportPdf(SettingRows(document), heading));
}

std::string ReportTimeNow() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString();
}

}  // namespace model
