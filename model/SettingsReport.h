#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace model {

class TSettings;

// One row of the handover report and the spreadsheet table: a setting as its page shows it.
// A time reads "07:00" (or "off"), a four-part id "192.168.1.10", a check box "Enabled";
// the unit stands apart. Settings without a value of their own (buttons, caption-only
// labels) and the R12 template groups, which no device holds, have no row.
struct TSettingRow {
  std::string Group;
  // Inside a numbered instance of an R12 group: the instance's heading, else empty.
  std::string Section;
  std::string Setting;
  std::string Value;
  std::string Unit;
  // The factory default as the value is shown; empty for a kind without one (a name set on
  // the device, a date).
  std::string Default;
  // "holding register 11", "holding registers 11 to 12", "coil 1 (bits 0x00f0)".
  std::string Register;
  // The value is not the factory default.
  bool Differs = false;
};

// Every setting with a value, groups in page order.
std::vector<TSettingRow> SettingRows(const TSettings& document);

// The rows as a table a spreadsheet opens: UTF-8 (with its byte-order mark, by which
// spreadsheets tell it from their local code page), lines ending in CR LF, the columns
// Group, Setting, Value, Unit, Default, Register, and fields holding a comma, a double quote
// or a line break quoted with their quotes doubled. A setting of a numbered R12 instance is
// named "Group 3 / Speed".
std::string SettingsTable(const std::vector<TSettingRow>& rows);
// One line of such a table: the fields, each quoted as above, and CR LF.
std::string CsvLine(const std::vector<std::string>& fields);
// Writes the table of the document to path (replacing a file there, atomically).
void ExportTable(const TSettings& document, const std::string& path);

// What the report's title says besides the settings.
struct TReportHeading {
  std::string DeviceType;
  std::int32_t DeviceId = 0;
  // "2026-12-10 20:15"
  std::string When;
  // "dravonik-cli 1.0.0.1"
  std::string Tool;
  // The device file of the link, or "offline edit".
  std::string Connection;
};

// The handover report as a PDF document (A4): the title block, then every group in page
// order as a table of setting, value with its unit, factory default and a mark ("*") where
// the value is not the default; at most kReportRowsPerPage rows (group headings included) on
// a page, a row never split, the column heads repeated on each page, and the device type and
// "Page N of M" in every footer. Needs a QGuiApplication (text is laid out with its fonts).
std::string ReportPdf(const std::vector<TSettingRow>& rows, const TReportHeading& heading);
void SaveReport(const TSettings& document, const TReportHeading& heading, const std::string& path);

constexpr int kReportRowsPerPage = 50;

// The local date and time now, as a report's heading gives it.
std::string ReportTimeNow();

}  // namespace model
