#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/Devices.h"
#include "model/Group.h"
#include "model/OfflineEdit.h"
#include "model/Setting.h"
#include "model/Settings.h"
#include "registers/Registerdatastore.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/TempDir.h"
#include "ui/ScrollBox.h"

namespace model {

// Device definitions loaded from a text, with a register store of their own
// and recorded message boxes.
class ModelFixture : public testing::Test {
 public:
  // A definitions file with one device (id 1, name "Unit") whose settings
  // element holds the given groups.
  static std::string OneDevice(const std::string& groups) {
    return "<zsf><settings settings_id=\"1\">" + groups +
           "</settings><device name=\"Unit\" device_id=\"1\" live_status_id=\"0\" "
           "settings_id=\"1\"/></zsf>";
  }

 protected:
  ModelFixture() : store_(handler_), devices_(store_) {}

  TSettings& Load(const std::string& definitions) {
    devices_.LoadFromFile(folder_.Write("Devices.xml", definitions));
    return *devices_.GetDevice(0).Settings;
  }

  // Loads the definitions and opens them as an offline edit does: every
  // register in the store, every setting on its default.
  TSettings& LoadOffline(const std::string& definitions) {
    TSettings& document = Load(definitions);
    OpenOffline(document);
    return document;
  }

  // The message a failing action throws.
  static std::string Thrown(const std::function<void()>& action) {
    try {
      action();
    } catch (const std::exception& error) {
      return error.what();
    }
    return "(nothing thrown)";
  }

  // Shows the group's page in the fixture's own page area.
  void ShowPage(TSettings& document, size_t group = 0) {
    page_.resize(800, 600);
    page_.show();
    document.PageArea = &page_;
    document.Groups[group]->Show();
  }

  int16_t Holding(int32_t reference) const {
    int16_t value = 0;
    store_.GetHoldingRegisters(reference, &value, 1);
    return value;
  }

  testsupport::TTempDir folder_;
  testsupport::TRecordingMessageBoxes boxes_;
  registers::TModbusHandler handler_;
  registers::TRegisterDataStore store_;
  TDevices devices_;
  ui::TScrollBox page_;
};

}  // namespace model
