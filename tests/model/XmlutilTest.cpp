#include "model/Xmlutil.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/TempDir.h"

namespace model {
namespace {

std::string ThrownMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(nothing thrown)";
}

TEST(StrToInt, AcceptsSignedDecimalsAcrossThe32BitRange) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("-17"), -17);
  EXPECT_EQ(StrToInt("+17"), 17);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
}

TEST(StrToInt, RefusesEverythingElseWithTheConversionMessage) {
  for (const std::string text : {"", " 5", "5 ", "12abc", "0x10", "$10", "1.5", "+", "-", "+-3",
                                 "2147483648", "-2147483649", "99999999999999999999"}) {
    EXPECT_EQ(ThrownMessage([&] { StrToInt(text); }), "'" + text + "' is not a valid integer value")
        << text;
  }
}

TEST(GetAttribute, ReturnsTextAndConvertsOnDemand) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(R"(<device name="R12 Master" device_id="42" bad="4x"/>)"));
  const pugi::xml_node device = document.first_child();
  EXPECT_EQ(GetAttribute(device, "name").AsString(), "R12 Master");
  EXPECT_EQ(GetAttribute(device, "device_id").AsInteger(), 42);
  EXPECT_EQ(ThrownMessage([&] { GetAttribute(device, "bad").AsInteger(); }),
            "'4x' is not a valid integer value");
}

TEST(GetAttribute, MissingAttributeNamesItInQuotes) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(R"(<device Name="case matters"/>)"));
  EXPECT_EQ(ThrownMessage([&] { GetAttribute(document.first_child(), "name"); }),
            "Could not find attribute \"name\" in XML node.");
}

TEST(FindChildElement, ReturnsTheLastElementOfThatNameAndSkipsOtherNodes) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      R"(<zsf><device id="1"/><!--device--><settings/><device id="2"/>device<other/></zsf>)"));
  const pugi::xml_node root = document.first_child();
  EXPECT_STREQ(FindChildElement(root, "device").attribute("id").value(), "2");
  EXPECT_STREQ(FindChildElement(root, "settings").name(), "settings");
  EXPECT_FALSE(FindChildElement(root, "missing"));
  EXPECT_FALSE(FindChildElement(root, "Device"));
}

TEST(LoadXmlDocument, ParseErrorsCarryTheDescriptionAndOffset) {
  testsupport::TTempDir folder;
  const std::string path = folder.Write("broken.xml", "<zsf><device name=\"x\"></zsf>");
  pugi::xml_document document;
  const std::string message = ThrownMessage([&] { LoadXmlDocument(document, path); });
  EXPECT_EQ(message,
            "Error reading XML document " + path + ": Start-end tags mismatch at byte offset 24");
}

TEST(LoadXmlDocument, ReadsUtf16AndWesternSingleByteFiles) {
  testsupport::TTempDir folder;
  pugi::xml_document document;

  // "Caf\u00e9 \u2022" in Windows-1252: 0xE9 and the bullet 0x95.
  LoadXmlDocument(document, folder.Write("latin.xml",
                                         "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
                                         "<device name=\"Caf\xe9 \x95\"/>"));
  EXPECT_STREQ(document.document_element().attribute("name").value(), "Caf\u00e9 \u2022");

  LoadXmlDocument(document, folder.Write("iso.xml",
                                         "<?xml version='1.0' encoding='ISO-8859-1'?>"
                                         "<device name=\"\xb0"
                                         "C\"/>"));
  EXPECT_STREQ(document.document_element().attribute("name").value(), "\u00b0C");

  std::string utf16 = "\xff\xfe";  // little-endian byte order mark
  for (const char c : std::string("<device name=\"x\"/>")) {
    utf16 += c;
    utf16 += '\0';
  }
  LoadXmlDocument(document, folder.Write("utf16.xml", utf16));
  EXPECT_STREQ(document.document_element().attribute("name").value(), "x");
}

TEST(StrToBool, AcceptsWordsAndNumbers) {
  EXPECT_TRUE(StrToBool("true"));
  EXPECT_TRUE(StrToBool("True"));
  EXPECT_FALSE(StrToBool("FALSE"));
  EXPECT_TRUE(StrToBool("-1"));
  EXPECT_FALSE(StrToBool("0"));
  EXPECT_EQ(ThrownMessage([] { StrToBool("yes"); }), "'yes' is not a valid boolean value");
}

}  // namespace
}  // namespace model
