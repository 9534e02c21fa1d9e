#include "model/Devices.h"

#include <filesystem>
#include <stdexcept>

#include <QComboBox>

#include "model/Xmlutil.h"

namespace model {

TDevices::~TDevices() {
  Clear();
}

bool TDevices::LoadFromFile(const std::string& path) {
  Clear();
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    throw std::runtime_error("Could not find XML document : " + path);
  }
  LoadXmlDocument(document_, path);

  const pugi::xml_node root = document_.document_element();
  if (std::string_view(root.name()) != "zsf") {
    throw std::runtime_error("Could not find parent tag: zsf");
  }
  for (const pugi::xml_node& child : root.children()) {
    if (std::string_view(child.name()) == "device") {
      devices_.push_back(std::make_unique<TDevice>(store_, set_));
      devices_.back()->LoadFromXml(child, root);
    }
  }
  return true;
}

TDevice& TDevices::GetDevice(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  }
  return *devices_[static_cast<size_t>(index)];
}

TDevice& TDevices::FindDevice(int32_t deviceId) const {
  for (const auto& device : devices_) {
    if (device->DeviceId == deviceId) {
      return *device;
    }
  }
  throw std::runtime_error("Could not find device with ID '" + std::to_string(deviceId) +
                           "' in the XML device definitions list");
}

void TDevices::FillDeviceList(QComboBox& comboBox) const {
  comboBox.clear();
  for (const auto& device : devices_) {
    comboBox.addItem(QString::fromStdString(device->Name));
  }
}

void TDevices::Clear() {
  devices_.clear();
}

}  // namespace model
