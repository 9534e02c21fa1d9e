#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <fstream>
#include <sstream>

#include "model/Setting_4partid.h"
#include "model/Setting_int.h"
#include "tests/model/ModelFixture.h"
#include "ui/ScrollBox.h"

namespace model {
namespace {

// Register 100 holds the low half, register 101 the high half (references
// 101 and 102).
const std::string kIds = ModelFixture::OneDevice(R"xml(<group name="Network" description="">
    <setting name="Gateway" value_type="4PartID" register="100" type="holding_register"
             min="0" max="255" default="167772161" value_text="(IP)"/>
    <setting name="Subnet" value_type="4PartID" register="102" type="coil"
             min="0" max="1000" default="4294967040" value_text=""/>
    <setting name="Node" value_type="4PartID" register="104" type="holding_register"
             min="10" max="200" default="168430090" value_text=""/>
    <setting name="Port" value_type="int" register="106" type="holding_register"
             min="0" max="9" default="1" value_text=""/>
  </group>)xml");

using TParts = std::array<uint16_t, TSetting4PartID::kParts>;

class Setting4PartIDTest : public ModelFixture {
 protected:
  // The user enters a part's box, replaces its text and leaves it.
  static void Type(TSetting4PartID& id, int part, const char* text) {
    TEditBox& box = id.PartEdits[static_cast<size_t>(part)];
    box.Enter();
    box->setText(text);
    box.Leave();
  }

  static std::vector<std::string> Csv(TSetting& setting) {
    std::vector<std::string> lines;
    setting.ExportCsv(lines);
    return lines;
  }
};

TEST_F(Setting4PartIDTest, PartsCombineIntoTwoRegistersLowHalfFirst) {
  TSettings& document = LoadOffline(kIds);
  TSetting4PartID& gateway = SettingAt<TSetting4PartID>(document, 0, 0);
  // The default 167772161 is 10.0.0.1.
  EXPECT_EQ(gateway.Parts, (TParts{10, 0, 0, 1}));
  EXPECT_EQ(Holding(101), 1);
  EXPECT_EQ(Holding(102), 2560);

  gateway.Parts = {192, 168, 1, 10};
  EXPECT_EQ(gateway.CombineParts(), 3232235786u);
  gateway.StoreValue();
  EXPECT_EQ(Holding(101), 266);     // 0x010A
  EXPECT_EQ(Holding(102), -16216);  // 0xC0A8
  EXPECT_EQ(Csv(gateway), std::vector<std::string>{"Gateway,3232235786 (IP)"});

  // All four bytes come back from the registers, high bits included.
  const int16_t words[] = {1, 2560, -1, -1};
  store_.SetHoldingRegisters(101, words, 4);
  document.Groups[0]->ReloadFromStore();
  EXPECT_EQ(gateway.Parts, (TParts{10, 0, 0, 1}));
  EXPECT_FALSE(gateway.Changed());
  EXPECT_EQ(SettingAt<TSetting4PartID>(document, 0, 1).Parts, (TParts{255, 255, 255, 255}));
  EXPECT_EQ(SettingAt<TSetting4PartID>(document, 0, 1).CombineParts(), 4294967295u);
  EXPECT_EQ(Csv(SettingAt<TSetting4PartID>(document, 0, 1)),
            std::vector<std::string>{"Subnet,4294967295 "});

  gateway.SplitId(0x01020304);
  EXPECT_EQ(gateway.Parts, (TParts{1, 2, 3, 4}));
}

TEST_F(Setting4PartIDTest, TwoHoldingRegistersAreRegisteredWhateverTheType) {
  LoadOffline(kIds);
  // "Subnet" is declared a coil.
  EXPECT_TRUE(store_.IsHoldingRegisterRegistered(103));
  EXPECT_TRUE(store_.IsHoldingRegisterRegistered(104));
  EXPECT_FALSE(store_.IsCoilRegistered(103));

  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
                <setting name="Id" value_type="4PartID" register="65535" type="holding_register"
                         min="0" max="255" default="0" value_text=""/></group>)"));
            }),
            "Setting 'Id' refers to register reference 65537, outside 1 to 65536");
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
                <setting name="Id" value_type="4PartID" register="1" type="holding_register"
                         min="0" max="255" default="-1" value_text=""/></group>)"));
            }),
            "'-1' is not a valid integer value");
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
                <setting name="Id" value_type="4PartID" register="1" type="holding_register"
                         min="0" max="255" default="4294967296" value_text=""/></group>)"));
            }),
            "'4294967296' is not a valid integer value");
  EXPECT_EQ(Thrown([&] {
              Load(OneDevice(R"(<group name="G" description="">
                <setting name="Id" value_type="4PartID" register="1" type="holding_register"
                         min="0" max="255" default="0"/></group>)"));
            }),
            "Could not find attribute \"value_text\" in XML node.");
}

TEST_F(Setting4PartIDTest, PartsAreLimitedToTheirByteAndToMinAndMax) {
  TSettings& document = LoadOffline(kIds);
  ShowPage(document);
  TSetting4PartID& gateway = SettingAt<TSetting4PartID>(document, 0, 0);
  TSetting4PartID& subnet = SettingAt<TSetting4PartID>(document, 0, 1);
  TSetting4PartID& node = SettingAt<TSetting4PartID>(document, 0, 2);
  const TParts subnetBefore = subnet.Parts;

  const struct {
    TSetting4PartID* id;
    const char* text;
    const char* message;
  } refused[] = {
      {&gateway, "256", "The maximum value this setting can be is '255'"},
      {&gateway, "-1", "The minimum value this setting can be is '0'"},
      {&gateway, "1.5", "'1.5' is not a valid integer value"},
      // The definition allows 1000, the byte does not.
      {&subnet, "300", "The maximum value this setting can be is '255'"},
      {&subnet, "65536", "The maximum value this setting can be is '255'"},
      {&node, "9", "The minimum value this setting can be is '10'"},
      {&node, "201", "The maximum value this setting can be is '200'"},
  };
  for (const auto& r : refused) {
    boxes_.Clear();
    r.id->SetChanged(false);
    Type(*r.id, 1, r.text);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{r.message}) << r.text;
  }
  EXPECT_EQ(gateway.Parts, (TParts{10, 0, 0, 1}));
  EXPECT_EQ(subnet.Parts, subnetBefore);
  EXPECT_FALSE(subnet.Changed());
  EXPECT_EQ(Holding(103), static_cast<int16_t>(0xFF00));
  EXPECT_EQ(Holding(104), -1);

  boxes_.Clear();
  subnet.SetChanged(false);
  Type(subnet, 3, "255");
  Type(subnet, 0, "0");
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(subnet.Parts, (TParts{0, 255, 255, 255}));
  EXPECT_EQ(subnet.Value(), 0);  // the last part entered
  EXPECT_TRUE(subnet.Changed());
  EXPECT_EQ(Holding(103), -1);
  EXPECT_EQ(Holding(104), 0x00FF);
  EXPECT_EQ(subnet.PartEdits[0]->text(), "0");
  EXPECT_EQ(subnet.PartEdits[3]->text(), "255");

  // Entering the part it has changes nothing but Value.
  node.SetChanged(false);
  Type(node, 2, "10");
  EXPECT_FALSE(node.Changed());
  EXPECT_EQ(node.Value(), 10);

  // Enter checks without storing.
  boxes_.Clear();
  gateway.PartEdits[3].Enter();
  gateway.PartEdits[3]->setText("999");
  gateway.PartEdits[3].KeyPress(Qt::Key_Return);
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{"The maximum value this setting can be is '255'"});
  gateway.PartEdits[3]->setText("99");
  gateway.PartEdits[3].KeyPress(Qt::Key_Return);
  EXPECT_EQ(gateway.Parts[3], 1);
  EXPECT_EQ(boxes_.Boxes().size(), 1u);
}

TEST_F(Setting4PartIDTest, LeavingARefusedPartShowsThePartAgain) {
  TSettings& document = LoadOffline(kIds);
  ShowPage(document);
  QApplication::setActiveWindow(&page_);
  TSetting4PartID& gateway = SettingAt<TSetting4PartID>(document, 0, 0);
  QLineEdit& part1 = *gateway.PartEdits[1];
  QLineEdit& part2 = *gateway.PartEdits[2];
  EXPECT_EQ(part1.geometry(), QRect(265, 120, 60, 21));
  EXPECT_EQ(part1.property(TSetting::kTagProperty).toInt(), 0);

  part1.setFocus();
  ASSERT_TRUE(part1.hasFocus());
  part1.setText("256");
  part2.setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(boxes_.Texts(),
            std::vector<std::string>{"The maximum value this setting can be is '255'"});
  EXPECT_TRUE(part2.hasFocus());
  EXPECT_EQ(gateway.Parts[1], 0);
  EXPECT_EQ(part1.text(), "0");

  part1.setFocus(Qt::TabFocusReason);
  part1.setText("16");
  part2.setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_TRUE(part2.hasFocus());
  EXPECT_EQ(gateway.Parts, (TParts{10, 16, 0, 1}));
  EXPECT_EQ(Holding(102), 0x0A10);
}

TEST_F(Setting4PartIDTest, SettingsFilesCarryTheAddress) {
  TSettings& document = LoadOffline(kIds);
  TSetting4PartID& gateway = SettingAt<TSetting4PartID>(document, 0, 0);
  gateway.Parts = {192, 168, 1, 10};
  const std::string path = (folder_.Path() / "ids.ZSF").string();
  document.SaveToFile(path);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("<setting name=\"Gateway\" ID=\"" + std::to_string(gateway.Id()) +
                            "\" value=\"0\" register=\"100\" Address=\"3232235786\" />"),
            std::string::npos)
      << text.str();

  document.RestoreFactoryDefaults();
  gateway.SetChanged(false);
  EXPECT_EQ(document.LoadFromFile(path), std::vector<std::string>());
  EXPECT_EQ(gateway.Parts, (TParts{192, 168, 1, 10}));
  EXPECT_TRUE(gateway.Changed());
  EXPECT_EQ(Holding(101), 266);
  EXPECT_EQ(Holding(102), -16216);

  // The file's value attribute is not read; a missing Address is an error.
  pugi::xml_document file;
  pugi::xml_node group = file.append_child("group");
  pugi::xml_node setting = group.append_child("setting");
  setting.append_attribute("ID") = gateway.Id();
  setting.append_attribute("value") = 7;
  EXPECT_EQ(Thrown([&] { gateway.LoadFromXml(setting); }),
            "Could not find attribute \"Address\" in XML node.");
  setting.append_attribute("Address") = "4294967296";
  EXPECT_EQ(Thrown([&] { gateway.LoadFromXml(setting); }),
            "'4294967296' is not a valid integer value");
  EXPECT_EQ(gateway.Parts, (TParts{192, 168, 1, 10}));
}

TEST_F(Setting4PartIDTest, CopiesStopAtAZeroPartAndStoreNothing) {
  TSettings& document = LoadOffline(kIds);
  TSetting4PartID& gateway = SettingAt<TSetting4PartID>(document, 0, 0);
  TSetting4PartID& node = SettingAt<TSetting4PartID>(document, 0, 2);
  node.SetChanged(false);

  gateway.Parts = {192, 0, 7, 8};
  EXPECT_FALSE(node.CopyValueFrom(gateway));
  EXPECT_EQ(node.Parts, (TParts{192, 10, 10, 10}));
  EXPECT_TRUE(node.Changed());

  gateway.Parts = {172, 16, 20, 10};
  EXPECT_TRUE(node.CopyValueFrom(gateway));
  EXPECT_EQ(node.Parts, (TParts{172, 16, 20, 10}));
  // The default 10.10.10.10 stays in the registers.
  EXPECT_EQ(Holding(105), 0x0A0A);
  EXPECT_EQ(Holding(106), 0x0A0A);

  // Copying the parts it has already changes nothing.
  node.SetChanged(false);
  EXPECT_TRUE(node.CopyValueFrom(gateway));
  EXPECT_FALSE(node.Changed());

  EXPECT_EQ(Thrown([&] { node.CopyValueFrom(*document.Groups[0]->Settings[3]); }),
            "CopyValuesFrom Exception - class is not of type TSetting4PartID");
}

TEST_F(Setting4PartIDTest, TransfersCountTwoRegisters) {
  TSettings& document = LoadOffline(kIds);
  TSetting4PartID& gateway = SettingAt<TSetting4PartID>(document, 0, 0);
  ShowPage(document);
  std::vector<std::pair<std::string, int>> reports;
  document.OnProgress = [&](const void*, const std::string& text, bool, int32_t count) {
    reports.emplace_back(text, count);
  };
  const int16_t words[] = {0x0304, 0x0102};
  store_.SetHoldingRegisters(101, words, 2);
  gateway.RequestRead();
  EXPECT_EQ(gateway.PendingCount(), 2);
  EXPECT_TRUE(gateway.Poll(1, nullptr));
  EXPECT_EQ(gateway.PendingCount(), 0);
  EXPECT_EQ(gateway.PartEdits[0]->text(), "10");  // shown only by the refresh
  gateway.Refresh();
  EXPECT_EQ(reports, (std::vector<std::pair<std::string, int>>{{"Reading setting Gateway...", 2}}));
  EXPECT_EQ(gateway.PartEdits[0]->text(), "1");
  EXPECT_EQ(gateway.PartEdits[3]->text(), "4");

  gateway.RequestWrite();
  gateway.RequestRead();
  EXPECT_EQ(gateway.PendingCount(), 4);
}

TEST_F(Setting4PartIDTest, TemplateIdsNeitherRegisterNorStore) {
  TSettings& document = LoadOffline(OneDevice(R"(<group name="Group" description="">
    <setting name="Peer" value_type="4PartID" register="200" offset="2" type="holding_register"
             min="0" max="255" default="16909060" value_text=""/>
  </group>)"));
  TGroup& templateGroup = *document.Groups[0];
  ASSERT_TRUE(templateGroup.IsTemplate);
  auto& peer = SettingAt<TSetting4PartID>(templateGroup, 1);
  EXPECT_EQ(peer.Parts, (TParts{1, 2, 3, 4}));
  // Instance index -50 puts the template far below the device's registers.
  EXPECT_EQ(peer.Reference(), 201 - 100);
  peer.Parts = {9, 9, 9, 9};
  peer.StoreValue();
  EXPECT_FALSE(store_.IsHoldingRegisterRegistered(101));

  // The first group of R12 1 (instance index 0) is registered.
  auto& first = SettingAt<TSetting4PartID>(document, 1, 1);
  EXPECT_EQ(first.Reference(), 201);
  EXPECT_EQ(Holding(201), 0x0304);
  EXPECT_EQ(Holding(202), 0x0102);
}

}  // namespace
}  // namespace model
