#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>

#include "model/Setting_dropdown.h"
#include "model/Setting_units.h"
#include "tests/model/ModelFixture.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

// A velocity limited to 0..500 ft/min (0x81F4) behind a units selector, a
// pair of velocities ordered by `minsetting`, a pressure allowed the whole
// word in Pa (0xBFFF = -16383 Pa to 0xFFFF = 16383 Pa) and one allowed the
// whole word in hundredths of in WG (0x3FFF = -163.83 to 0x7FFF = 163.83).
const std::string kAirflow = ModelFixture::OneDevice(R"(<group name="Airflow" description="">
    <setting name="Units" value_type="drop_down" register="0" type="holding_register"
             units="velocity">
      <ddvalue name="m/sec" value="0" default="true"/><ddvalue name="ft/min" value="1"/>
    </setting>
    <setting name="Supply Velocity" value_type="units" register="1" type="holding_register"
             min="0" max="33268" default="250"/>
    <setting name="Low Alarm" value_type="units" register="2" type="holding_register"
             min="0" max="32767" default="250"/>
    <setting name="High Alarm" value_type="units" register="3" type="holding_register"
             min="0" max="32767" default="300" minsetting="Low Alarm"/>
    <setting name="Duct Pressure" value_type="units" register="4" type="holding_register"
             min="49151" max="65535" default="49152"/>
    <setting name="Filter Pressure" value_type="units" register="5" type="holding_register"
             min="16383" max="32767" default="16484"/>
  </group>)");

class SettingUnitsTest : public ModelFixture {
 protected:
  // The user enters the box, replaces its text and leaves it.
  static void Type(TSettingUnits& setting, const char* text) {
    setting.Edit.Enter();
    setting.Edit->setText(QString::fromUtf8(text));
    setting.Edit.Leave();
  }

  // The text shown for a register word in the units.
  static std::string Shown(TSettings& document, TSettingUnits& setting, uint16_t word,
                           const char* units) {
    document.SetUnitsName(units);
    setting.SetValue(word);
    return setting.FormatValue(true);
  }
};

TEST_F(SettingUnitsTest, RegisterWordsShowInEveryUnit) {
  TSettings& document = LoadOffline(kAirflow);
  TSettingUnits& setting = SettingAt<TSettingUnits>(document, 0, 1);
  struct Case {
    uint16_t word;
    const char* units;
    const char* text;
  };
  const Case cases[] = {
      {250, "m/sec", "2.50 m/sec"},        // hundredths of m/s
      {250, "ft/min", "490 ft/min"},       // 2.5 m/s x 196.08, truncated
      {0x81EC, "ft/min", "492 ft/min"},    // whole ft/min
      {0x81EC, "m/sec", "2.51 m/sec"},     // 492 x 0.0051 = 2.5092
      {0x7FFF, "m/sec", "327.67 m/sec"},   // the largest velocity in hundredths
      {0x4064, "ins Wg", "1.00 ins Wg"},   // bit 14 set: not negative
      {0x4064, "Pa", "249 Pa"},            // 100 x 2.491 = 249.1
      {0x0064, "ins Wg", "-1.00 ins Wg"},  // bit 14 clear: negative
      {0x0064, "Pa", "-249 Pa"},           // truncated toward zero
      {0xC0FA, "Pa", "250 Pa"},            // whole Pa
      {0xC0FA, "ins Wg", "1.00 ins Wg"},   // 250 / 249.1
      {0x0000, "ins Wg", "0.00 ins Wg"},   // "minus nothing" is zero
      {0x8000, "Pa", "0 Pa"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Shown(document, setting, c.word, c.units), c.text) << std::hex << c.word;
  }
  document.SetUnitsName("m/sec");
  setting.SetValue(250);
  EXPECT_EQ(setting.FormatValue(false), "2.50");
  std::vector<std::string> lines;
  setting.ExportCsv(lines);
  EXPECT_EQ(lines, std::vector<std::string>{"Supply Velocity,2.50 m/sec"});
}

TEST_F(SettingUnitsTest, TypedNumbersEncodeInTheRepresentationOfTheirUnit) {
  // 2.55 is held as 2.54999995...; its product with 100 in double precision
  // truncates to 254, rounded to single precision first it gives 255.
  ASSERT_EQ(static_cast<int>(static_cast<double>(2.55f) * 100.0), 254);
  EXPECT_EQ(TSettingUnits::Encode(2.55f, "m/sec"), 255);
  EXPECT_EQ(TSettingUnits::Encode(500.0f, "ft/min"), 0x81F4);
  EXPECT_EQ(TSettingUnits::Encode(-12.0f, "Pa"), 0x800C);
  EXPECT_EQ(TSettingUnits::Encode(12.0f, "Pa"), 0xC00C);
  EXPECT_EQ(TSettingUnits::Encode(-0.5f, "ins Wg"), 0x0032);
  EXPECT_EQ(TSettingUnits::Encode(0.5f, "ins Wg"), 0x4032);
  EXPECT_FLOAT_EQ(TSettingUnits::Decode(0x0032, "ins Wg"), -0.5f);
  EXPECT_EQ(TSettingUnits::Encode(2.999f, "ft/min"), 0x8002);  // truncated

  // A whole number shown in ft/min or Pa types back to the word it came
  // from, sign bits included.
  TSettings& document = LoadOffline(kAirflow);
  TSettingUnits& setting = SettingAt<TSettingUnits>(document, 0, 1);
  struct Range {
    const char* units;
    uint32_t first;
    uint32_t last;
  };
  const Range ranges[] = {
      {"ft/min", 0x8000, 0xFFFF}, {"Pa", 0xC000, 0xFFFF}, {"Pa", 0x8001, 0xBFFF}};
  for (const Range& range : ranges) {
    document.SetUnitsName(range.units);
    int mismatches = 0;
    for (uint32_t word = range.first; word <= range.last; ++word) {
      setting.SetValue(static_cast<int32_t>(word));
      const float typed = static_cast<float>(std::stoi(setting.FormatValue(false)));
      if (TSettingUnits::Encode(typed, range.units) != word && ++mismatches <= 3) {
        ADD_FAILURE() << range.units << " word " << word << " shows " << setting.FormatValue(false);
      }
    }
    EXPECT_EQ(mismatches, 0) << range.units;
  }
}

TEST_F(SettingUnitsTest, EditorShowsTheBareNumberAndStoresWhatIsTyped) {
  TSettings& document = LoadOffline(kAirflow);
  ShowPage(document);
  auto& selector = SettingAt<TSettingDropDown>(document, 0, 0);
  TSettingUnits& supply = SettingAt<TSettingUnits>(document, 0, 1);
  EXPECT_EQ(supply.Edit->text(), "2.50 m/sec");
  EXPECT_EQ(supply.Edit->geometry(), QRect(200, 152, 140, 21));
  EXPECT_EQ(supply.Edit->property(TSetting::kTagProperty).toInt(), 1);
  EXPECT_EQ(Holding(2), 250);

  supply.Edit.Leave();  // never entered: nothing to check
  supply.Edit.Enter();
  EXPECT_EQ(supply.Edit->text(), "2.50");
  supply.Edit->setText("2.56");
  supply.Edit.KeyPress(Qt::Key_Return);  // Enter checks only
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{"The maximum value this setting can be is '2.55'"});
  EXPECT_EQ(supply.Edit->text(), "2.56");
  supply.Edit.Leave();
  EXPECT_EQ(boxes_.Texts().size(), 2u);
  EXPECT_EQ(supply.Value(), 250);

  supply.SetChanged(false);
  Type(supply, "2.5");  // the value it has
  EXPECT_FALSE(supply.Changed());
  Type(supply, "2.55");
  EXPECT_TRUE(supply.Changed());
  EXPECT_EQ(supply.Value(), 255);
  EXPECT_EQ(Holding(2), 255);
  EXPECT_EQ(supply.Edit->text(), "2.55 m/sec");

  // The units selector redisplays the page in its units; the limit message
  // keeps two decimals.
  selector.ComboBoxSelect(1);
  EXPECT_EQ(supply.Edit->text(), "500 ft/min");
  Type(supply, "501");
  EXPECT_EQ(boxes_.Texts().back(), "The maximum value this setting can be is '500.00'");
  Type(supply, "-1");
  EXPECT_EQ(boxes_.Texts().back(), "The minimum value this setting can be is '0.00'");
  Type(supply, "2.5");
  EXPECT_EQ(boxes_.Texts().back(), "'2.5' is not a valid integer value");
  Type(supply, "480");
  EXPECT_EQ(supply.Value(), 0x81E0);  // now held in whole ft/min
  EXPECT_EQ(static_cast<uint16_t>(Holding(2)), 0x81E0);
  EXPECT_EQ(supply.Edit->text(), "480 ft/min");
  EXPECT_EQ(boxes_.Texts().size(), 5u);

  selector.ComboBoxSelect(0);
  EXPECT_EQ(supply.Edit->text(), "2.45 m/sec");  // 480 x 0.0051 = 2.448
  Type(supply, "2,5");
  EXPECT_EQ(boxes_.Texts().back(), "'2,5' is not a valid floating point value");
  Type(supply, "");
  EXPECT_EQ(boxes_.Texts().back(), "'' is not a valid floating point value");
  EXPECT_EQ(supply.Value(), 0x81E0);

  // Read back from the register the word is sign-extended; it shows the same
  // text, and typing that text again takes the unsigned word as a change.
  int16_t word = static_cast<int16_t>(0x81EC);
  store_.SetHoldingRegisters(2, &word, 1);
  document.Groups[0]->ReloadFromStore();
  document.Groups[0]->RedisplayAll();
  EXPECT_EQ(supply.Value(), -32276);
  selector.ComboBoxSelect(1);
  EXPECT_EQ(supply.Edit->text(), "492 ft/min");
  EXPECT_FALSE(supply.Changed());
  Type(supply, "492");
  EXPECT_EQ(supply.Value(), 0x81EC);
  EXPECT_TRUE(supply.Changed());

  supply.SetEnabled(false);
  EXPECT_TRUE(supply.Edit->isReadOnly());
  EXPECT_FALSE(supply.Edit->isEnabled());
}

TEST_F(SettingUnitsTest, EntriesTheWordCannotHoldAreRefusedWithTheirLimit) {
  TSettings& document = LoadOffline(kAirflow);
  ShowPage(document);
  TSettingUnits& velocity =
      SettingAt<TSettingUnits>(document, 0, 2);                      // 0..0x7FFF: 0 to 327.67 m/sec
  TSettingUnits& duct = SettingAt<TSettingUnits>(document, 0, 4);    // -16383 to 16383 Pa
  TSettingUnits& filter = SettingAt<TSettingUnits>(document, 0, 5);  // -163.83 to 163.83 ins Wg
  auto refused = [&](TSettingUnits& setting, const char* text, const std::string& message) {
    boxes_.Clear();
    const int32_t before = setting.Value();
    Type(setting, text);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{message}) << text;
    EXPECT_EQ(setting.Value(), before) << text;
  };
  auto accepted = [&](TSettingUnits& setting, const char* text, uint16_t word) {
    boxes_.Clear();
    Type(setting, text);
    EXPECT_TRUE(boxes_.Texts().empty()) << text;
    EXPECT_EQ(static_cast<uint16_t>(setting.Value()), word) << text;
    EXPECT_EQ(static_cast<uint16_t>(Holding(setting.Reference())), word) << text;
  };
  const std::string belowZero = "The minimum value this setting can be is '0.00'";

  document.SetUnitsName("m/sec");
  accepted(velocity, "327.67", 0x7FFF);
  refused(velocity, "327.68", "The maximum value this setting can be is '327.67'");
  refused(velocity, "-1.00", belowZero);  // would read back as 32668 ft/min
  refused(velocity, "-0.001", belowZero);
  refused(velocity, "1e30", "The maximum value this setting can be is '327.67'");
  refused(velocity, "inf", "The maximum value this setting can be is '327.67'");
  refused(velocity, "-inf", belowZero);
  refused(velocity, "nan", "'nan' is not a valid floating point value");
  refused(velocity, "1e400", "'1e400' is not a valid floating point value");
  accepted(velocity, "+1.5e1", 1500);
  accepted(velocity, "0", 0);

  // The limit of 327.67 m/sec is 64249 ft/min, more than the 32767 ft/min
  // a word holds: the word's end is the limit.
  document.SetUnitsName("ft/min");
  accepted(velocity, "32767", 0xFFFF);
  refused(velocity, "32768", "The maximum value this setting can be is '32767.00'");
  refused(velocity, "-1", belowZero);

  document.SetUnitsName("Pa");
  accepted(duct, "16383", 0xFFFF);
  accepted(duct, "-16383", 0xBFFF);
  accepted(duct, "-12", 0x800C);
  refused(duct, "20000", "The maximum value this setting can be is '16383.00'");  // not +3616 Pa
  refused(duct, "-16384", "The minimum value this setting can be is '-16383.00'");
  refused(duct, "99999999999", "'99999999999' is not a valid integer value");

  document.SetUnitsName("ins Wg");
  accepted(filter, "163.83", 0x7FFF);
  accepted(filter, "-163.83", 0x3FFF);
  accepted(filter, "-0.5", 0x0032);
  EXPECT_EQ(filter.Edit->text(), "-0.50 ins Wg");
  refused(filter, "163.84", "The maximum value this setting can be is '163.83'");
  refused(filter, "-1e9", "The minimum value this setting can be is '-163.83'");

  // In Pa the hundredths limits of in WG reach beyond the word.
  document.SetUnitsName("Pa");
  accepted(filter, "16383", 0xFFFF);
  refused(filter, "16384", "The maximum value this setting can be is '16383.00'");
  refused(filter, "-16384", "The minimum value this setting can be is '-16383.00'");
}

TEST_F(SettingUnitsTest, RelativeLimitsCompareWholeMetresPerSecond) {
  TSettings& document = LoadOffline(kAirflow);
  ShowPage(document);
  TSettingUnits& low = SettingAt<TSettingUnits>(document, 0, 2);
  TSettingUnits& high = SettingAt<TSettingUnits>(document, 0, 3);
  EXPECT_EQ(low.ToDisplayValue(250), 2);     // 2.50 m/s
  EXPECT_EQ(low.ToDisplayValue(0x81EC), 2);  // 492 ft/min = 2.51 m/s
  document.SetUnitsName("ft/min");
  EXPECT_EQ(low.ToDisplayValue(250), 2);     // compared in m/s whatever is shown
  EXPECT_EQ(low.ToDisplayValue(-32276), 2);  // the sign-extended 0x81EC
  document.SetUnitsName("Pa");
  EXPECT_EQ(low.ToDisplayValue(0x0064), -249);  // 1.00 in WG, negative
  EXPECT_EQ(low.ToDisplayValue(0xC0FA), 250);
  document.SetUnitsName("ins Wg");
  EXPECT_EQ(low.ToDisplayValue(0x4064), 249);

  document.SetUnitsName("m/sec");
  // Low Alarm holds 2.50 m/s: High Alarm may go down to 2.00, not to 1.99.
  Type(high, "2.00");
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_EQ(high.Value(), 200);
  Type(high, "1.99");
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{
                                "Setting 'High Alarm' must be greater than setting 'Low Alarm'"});
  EXPECT_EQ(high.Value(), 200);
  EXPECT_EQ(high.Edit->text(), "2.00 m/sec");
}

TEST_F(SettingUnitsTest, UnknownUnitsShowTheWordAndRefuseEntries) {
  TSettings& document = LoadOffline(kAirflow);
  ShowPage(document);
  QApplication::setActiveWindow(&page_);
  TSettingUnits& supply = SettingAt<TSettingUnits>(document, 0, 1);
  TSettingUnits& low = SettingAt<TSettingUnits>(document, 0, 2);
  document.SetUnitsName("");
  EXPECT_EQ(supply.Edit->text(), "250");
  supply.SetValue(0x81EC);
  std::vector<std::string> lines;
  supply.ExportCsv(lines);
  EXPECT_EQ(lines, std::vector<std::string>{"Supply Velocity,33260"});
  EXPECT_EQ(supply.ToDisplayValue(0x81EC), 0x81EC);
  EXPECT_EQ(supply.ToDisplayValue(-5), -5);
  supply.SetValue(250);

  document.SetUnitsName("psi");
  EXPECT_EQ(low.Edit->text(), "250");
  // Passing through the box asks nothing and lets the focus go.
  low.Edit->setFocus();
  ASSERT_TRUE(low.Edit->hasFocus());
  supply.Edit->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_TRUE(supply.Edit->hasFocus());

  // An edited entry is refused once, and the focus may still leave.
  supply.Edit->setText("3");
  low.Edit->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{"This setting cannot be changed while the display units are "
                                     "'psi': choose m/sec, ft/min, Pa or ins Wg first"});
  EXPECT_TRUE(low.Edit->hasFocus());
  EXPECT_EQ(supply.Value(), 250);
  EXPECT_EQ(supply.Edit->text(), "250");
  EXPECT_EQ(Holding(2), 250);
}

TEST_F(SettingUnitsTest, LeavingARefusedEntryShowsTheValueAgain) {
  TSettings& document = LoadOffline(kAirflow);
  ShowPage(document);
  QApplication::setActiveWindow(&page_);
  TSettingUnits& supply = SettingAt<TSettingUnits>(document, 0, 1);
  TSettingUnits& low = SettingAt<TSettingUnits>(document, 0, 2);
  supply.Edit->setFocus();
  ASSERT_TRUE(supply.Edit->hasFocus());
  EXPECT_EQ(supply.Edit->text(), "2.50");
  supply.Edit->setText("9");
  low.Edit->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{"The maximum value this setting can be is '2.55'"});
  EXPECT_TRUE(low.Edit->hasFocus());
  EXPECT_EQ(supply.Value(), 250);
  EXPECT_EQ(supply.Edit->text(), "2.50 m/sec");
}

TEST_F(SettingUnitsTest, DefinitionNeedsItsLimitsAndDefault) {
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
      <setting name="V" value_type="units" register="1" type="holding_register" min="0"
               default="0"/></group>)"));
            }),
            "Could not find attribute \"max\" in XML node.");
}

}  // namespace
}  // namespace model
