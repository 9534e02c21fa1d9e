#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "model/Device.h"

class QComboBox;
namespace registers {
class TRegisterDataStore;
}  // namespace registers

namespace model {

// The device types of the definitions file, in file order. The parsed
// document stays loaded for the whole run: every settings document keeps
// references into it.
class TDevices {
 public:
  // The devices' settings documents bind their settings to the store.
  explicit TDevices(registers::TRegisterDataStore& store) : store_(store) {}
  ~TDevices();
  TDevices(const TDevices&) = delete;
  TDevices& operator=(const TDevices&) = delete;

  // Loads the definitions file. Errors are thrown; the devices read before
  // the failure stay in the list, the one that failed among them.
  bool LoadFromFile(const std::string& path);

  int Count() const { return static_cast<int>(devices_.size()); }
  // Throws an out-of-range error outside 0..Count()-1.
  TDevice& GetDevice(int index) const;
  // The first device with that id; throws when there is none.
  TDevice& FindDevice(int32_t deviceId) const;
  // Replaces the combo box's items by the device names, item i being device i.
  void FillDeviceList(QComboBox& comboBox) const;
  void Clear();
  // What the documents share: the page shown, the navigation's pictures, the poll cursor.
  TDocumentSet& Set() { return set_; }
  // The parsed definitions file (empty before a load).
  const pugi::xml_document& Document() const { return document_; }

 private:
  registers::TRegisterDataStore& store_;
  TDocumentSet set_;
  std::vector<std::unique_ptr<TDevice>> devices_;
  pugi::xml_document document_;
};

}  // namespace model
