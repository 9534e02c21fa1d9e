#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "model/Setting_int.h"
#include "model/Setting_password.h"
#include "tests/model/ModelFixture.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

const std::string kCodeGroup = ModelFixture::OneDevice(R"(<group name="Access" description="">
    <setting name="Installer code" value_type="password" register="40" type="holding_register"/>
    <setting name="Fan speed" value_type="int" register="41" type="holding_register"
             min="0" max="100" default="50" value_text="%"/>
  </group>)");

class SettingPasswordTest : public ModelFixture {
 protected:
  // The user enters the box, replaces its text and leaves it.
  static void Type(TSettingPassword& code, const char* text) {
    code.Edit.Enter();
    code.Edit->setText(text);
    code.Edit.Leave();
  }
};

TEST_F(SettingPasswordTest, DeviceValuesShowAsFourDigitsWithLeadingZeros) {
  TSettings& document = LoadOffline(kCodeGroup);
  ShowPage(document);
  TSettingPassword& code = SettingAt<TSettingPassword>(document, 0, 0);
  EXPECT_EQ(code.Edit->text(), "0000");  // the default is 0

  const struct {
    int16_t word;
    const char* shown;
  } cases[] = {{7, "0007"},      {42, "0042"}, {9999, "9999"},
               {12345, "12345"}, {-5, "-005"}, {-1234, "-1234"}};
  for (const auto& c : cases) {
    store_.SetHoldingRegister(41, c.word);
    document.Groups[0]->ReloadFromStore();
    code.UpdateDisplay(true);
    EXPECT_EQ(code.Value(), c.word);
    EXPECT_EQ(code.Edit->text().toStdString(), c.shown);
    std::vector<std::string> lines;
    code.ExportCsv(lines);
    EXPECT_EQ(lines, std::vector<std::string>{std::string("Installer code,") + c.shown});
  }
}

TEST_F(SettingPasswordTest, EntriesAreCheckedInOrderAndStored) {
  TSettings& document = LoadOffline(kCodeGroup);
  ShowPage(document);
  TSettingPassword& code = SettingAt<TSettingPassword>(document, 0, 0);
  store_.SetHoldingRegister(41, 1111);
  document.Groups[0]->ReloadFromStore();

  // Refused entries: the message of the first check that fails, nothing kept.
  const struct {
    const char* text;
    const char* message;
  } refused[] = {
      {"12a4", "'12a4' is not a valid integer value"},
      {"ab", "'ab' is not a valid integer value"},  // short, but not a number first
      {"", "'' is not a valid integer value"},
      {"42", "The password must contain 4 digits"},
      {"-12", "The password must contain 4 digits"},
  };
  for (const auto& r : refused) {
    boxes_.Clear();
    Type(code, r.text);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{r.message}) << r.text;
    EXPECT_EQ(boxes_.Boxes().front().Icon, ui::TBoxIcon::Error);
    EXPECT_EQ(code.Value(), 1111) << r.text;
    EXPECT_EQ(Holding(41), 1111) << r.text;
    EXPECT_FALSE(code.Changed()) << r.text;
  }

  // Five digits cannot be typed; a device value shown whole meets this check.
  boxes_.Clear();
  EXPECT_EQ(code.CheckPasswordText("10000"), "The password must contain only 4 digits");
  EXPECT_EQ(code.CheckPasswordText("9999"), std::nullopt);

  boxes_.Clear();
  Type(code, "0042");
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(code.Value(), 42);
  EXPECT_EQ(Holding(41), 42);
  EXPECT_EQ(code.Edit->text(), "0042");
  EXPECT_TRUE(code.Changed());

  // The same code again still counts as a change.
  code.SetChanged(false);
  Type(code, "0042");
  EXPECT_TRUE(code.Changed());

  // Four characters with a sign pass all three checks.
  Type(code, "-123");
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(code.Value(), -123);
  EXPECT_EQ(Holding(41), -123);
  EXPECT_EQ(code.Edit->text(), "-123");

  // A box left without having been entered checks nothing.
  code.Edit->setText("1");
  code.Edit.Leave();
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(code.Value(), -123);
}

TEST_F(SettingPasswordTest, TypingIsLimitedToFourCharactersButDeviceValuesShowWhole) {
  TSettings& document = LoadOffline(kCodeGroup);
  ShowPage(document);
  QApplication::setActiveWindow(&page_);
  TSettingPassword& code = SettingAt<TSettingPassword>(document, 0, 0);
  QLineEdit& edit = *code.Edit;

  edit.setFocus();
  ASSERT_TRUE(edit.hasFocus());
  edit.selectAll();
  QTest::keyClicks(&edit, "123456");
  EXPECT_EQ(edit.text(), "1234");

  store_.SetHoldingRegister(41, 12345);
  document.Groups[0]->ReloadFromStore();
  code.UpdateDisplay(true);
  EXPECT_EQ(edit.text(), "12345");
  edit.end(false);
  QTest::keyClicks(&edit, "6");
  EXPECT_EQ(edit.text(), "12345");  // no longer than the value shown
  QTest::keyClick(&edit, Qt::Key_Backspace);
  QTest::keyClicks(&edit, "9");
  EXPECT_EQ(edit.text(), "1234");  // back to four characters at most

  // A value shown after typing gets its whole length again.
  code.UpdateDisplay(true);
  EXPECT_EQ(edit.text(), "12345");
}

TEST_F(SettingPasswordTest, LeavingWithTooManyDigitsKeepsTheFocusInTheBox) {
  TSettings& document = LoadOffline(kCodeGroup);
  store_.SetHoldingRegister(41, 12345);
  ShowPage(document);
  QApplication::setActiveWindow(&page_);
  TSettingPassword& code = SettingAt<TSettingPassword>(document, 0, 0);
  document.Groups[0]->ReloadFromStore();
  code.UpdateDisplay(true);

  code.Edit->setFocus();
  ASSERT_TRUE(code.Edit->hasFocus());
  QLineEdit* other = SettingAt<TSettingInt>(document, 0, 1).Edit.Box();
  other->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"The password must contain only 4 digits"});
  EXPECT_TRUE(code.Edit->hasFocus());
  EXPECT_EQ(Holding(41), 12345);

  // Correcting the entry lets the user go.
  code.Edit->setText("2345");
  other->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_TRUE(other->hasFocus());
  EXPECT_EQ(Holding(41), 2345);
}

TEST_F(SettingPasswordTest, TheRowFollowsTheSettingsEnabledState) {
  TSettings& document = LoadOffline(kCodeGroup);
  ShowPage(document);
  TSettingPassword& code = SettingAt<TSettingPassword>(document, 0, 0);
  EXPECT_EQ(code.Edit->geometry(), QRect(200, 120, 140, 21));
  EXPECT_EQ(code.Edit->property(TSetting::kTagProperty).toInt(), 0);
  document.SetEnabled(false);
  EXPECT_FALSE(code.Edit->isEnabled());
  document.SetEnabled(true);
  EXPECT_TRUE(code.Edit->isEnabled());

  document.Groups[0]->ClosePage();
  EXPECT_TRUE(code.Edit.Box() == nullptr);
}

}  // namespace
}  // namespace model
