#include "ui/ErrorBox.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/RecordingMessageBoxes.h"

namespace ui {
namespace {

TEST(WithFullStop, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(WithFullStop("Could not find parent tag: zsf"), "Could not find parent tag: zsf.");
  EXPECT_EQ(WithFullStop("Reading Holding Registers 1 to 40"),
            "Reading Holding Registers 1 to 40.");
  EXPECT_EQ(WithFullStop("ends in a colon:"), "ends in a colon:.");
  EXPECT_EQ(WithFullStop("already a sentence."), "already a sentence.");
  EXPECT_EQ(WithFullStop("Could not find attribute \"name\" in XML node."),
            "Could not find attribute \"name\" in XML node.");
  EXPECT_EQ(WithFullStop("quoted 'x'"), "quoted 'x'");
  EXPECT_EQ(WithFullStop("a dash -"), "a dash -");
  EXPECT_EQ(WithFullStop("ends in a slash /"), "ends in a slash /.");
  EXPECT_EQ(WithFullStop("ends in a line feed\n"), "ends in a line feed\n");
  EXPECT_EQ(WithFullStop("Grüße"), "Grüße.");
  EXPECT_EQ(WithFullStop(""), "");
}

TEST(ApplicationErrorBox, ShowsTheMessageWithTheProgramCaptionAndWritesStandardError) {
  testsupport::TRecordingMessageBoxes boxes;
  testing::internal::CaptureStderr();
  ShowApplicationError("Could not find device with ID '5'\nin the list");
  const std::string errorOutput = testing::internal::GetCapturedStderr();

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  const auto& box = boxes.Boxes()[0];
  EXPECT_EQ(box.Icon, TBoxIcon::Error);
  EXPECT_EQ(box.Caption, "Brennhaven Dravonik");
  EXPECT_EQ(box.Buttons, TBoxButtons::Ok);
  EXPECT_EQ(box.Text, "Could not find device with ID '5'\nin the list.");
  EXPECT_EQ(errorOutput, "Could not find device with ID '5' in the list.\n");
}

TEST(RunGuarded, ShowsAnEscapedErrorAndGoesOn) {
  testsupport::TRecordingMessageBoxes boxes;
  testing::internal::CaptureStderr();
  bool after = false;
  EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("Could not find parent tag: zsf"); }));
  EXPECT_FALSE(RunGuarded([] { throw std::out_of_range("List index out of bounds (-1)"); }));
  // An object that is not an error object shows an empty message, and no
  // full stop is made up for it.
  EXPECT_FALSE(RunGuarded([] { throw 42; }));
  EXPECT_TRUE(RunGuarded([&] { after = true; }));
  testing::internal::GetCapturedStderr();

  EXPECT_TRUE(after);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Could not find parent tag: zsf.",
                                                     "List index out of bounds (-1)", ""}));
}

}  // namespace
}  // namespace ui
