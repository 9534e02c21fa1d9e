// Every page of every device type in the bundled definitions, built offscreen in the program's
// look: no caption runs into the control beside it, no drop-down cuts the entry it shows.
// Every entry of every list is picked in turn, as the user picks it, and every list of the
// page looked at again, so that lists whose entries follow another's choice (a date's days
// follow its month: 28, 30 or 31 of them) are seen in each of their forms.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <set>
#include <string>
#include <vector>

#include "tests/model/ModelFixture.h"
#include "tests/support/TextFit.h"
#include "ui/Skin.h"

namespace model {
namespace {

// The page area of the main window: its width beside the group column.
constexpr int kPageAreaWidth = 767;
constexpr int kPageAreaHeight = 578;

class BundledPagesTest : public ModelFixture {
 protected:
  void SetUp() override {
    ui::ApplySkin(*qApp);
    devices_.LoadFromFile(DRAVONIK_SOURCE_DIR "/data/Devices.xml");
    page_.resize(kPageAreaWidth, kPageAreaHeight);
    page_.show();
  }

  // Shows every page of every device type; for each, the rows that do not fit. rows: the
  // number of rows looked at; picks: the number of entries picked.
  std::vector<std::string> Offenders(int& rows, int& picks) {
    std::vector<std::string> offenders;
    rows = 0;
    picks = 0;
    for (int d = 0; d < devices_.Count(); ++d) {
      TDevice& device = devices_.GetDevice(d);
      store_.Reset();
      device.Settings->RegisterRegisters();
      device.Settings->RestoreFactoryDefaults();
      device.Settings->PageArea = &page_;
      for (const auto& group : device.Settings->Groups) {
        group->Show();
        const std::string where = device.Name + " / " + group->Name + " / ";
        for (const auto& setting : group->Settings) {
          ++rows;
          if (setting->CaptionLabel()) {
            const std::string clash =
                testsupport::CaptionClash(*setting->CaptionLabel(), setting->Name());
            if (!clash.empty()) {
              offenders.push_back(where + clash);
            }
          }
        }
        const QList<QComboBox*> lists = page_.Content()->findChildren<QComboBox*>();
        std::set<std::string> cuts;
        auto look = [&] {
          for (QComboBox* list : lists) {
            for (const std::string& cut : testsupport::CutEntries(*list)) {
              cuts.insert(where + cut);
            }
          }
        };
        look();
        for (QComboBox* list : lists) {
          for (int i = 0; i < list->count(); ++i) {
            list->setCurrentIndex(i);
            emit list->activated(i);
            ++picks;
            look();
          }
        }
        offenders.insert(offenders.end(), cuts.begin(), cuts.end());
      }
      ClosePage(*device.Settings);
    }
    return offenders;
  }

  static void ClosePage(TSettings& document) {
    TGroup*& shown = document.Set().CurrentGroup;
    if (shown != nullptr) {
      shown->ClosePage();
      shown = nullptr;
    }
    document.PageArea = nullptr;
  }
};

TEST_F(BundledPagesTest, EveryRowFitsItsGeometry) {
  ASSERT_GT(devices_.Count(), 0);
  int rows = 0;
  int picks = 0;
  const std::vector<std::string> offenders = Offenders(rows, picks);
  EXPECT_GT(rows, 0);
  EXPECT_GT(picks, 0);
  std::string list;
  for (const std::string& offender : offenders) {
    list += "  " + offender + "\n";
  }
  EXPECT_TRUE(offenders.empty()) << offenders.size() << " texts in " << rows
                                 << " rows do not fit:\n"
                                 << list;
}

}  // namespace
}  // namespace model
