#include "comms/Devicelist.h"

#include <algorithm>

#include "model/Device.h"
#include "model/Settings.h"

namespace comms {

void TDeviceList::Add(model::TDevice* device) {
  auto lock = Lock();
  devices_.push_back(device);
}

void TDeviceList::Remove(model::TDevice* device) {
  auto lock = Lock();
  std::erase(devices_, device);
}

bool TDeviceList::ContainsPort(std::int32_t port) const {
  auto lock = Lock();
  return std::any_of(devices_.begin(), devices_.end(),
                     [port](const model::TDevice* device) { return device->CommPort == port; });
}

std::vector<model::TDevice*> TDeviceList::OnPort(std::int32_t port) const {
  auto lock = Lock();
  std::vector<model::TDevice*> found;
  for (model::TDevice* device : devices_) {
    if (device->CommPort == port) {
      found.push_back(device);
    }
  }
  return found;
}

model::TDevice* TDeviceList::First() const {
  auto lock = Lock();
  return devices_.empty() ? nullptr : devices_.front();
}

void TDeviceList::ShowFirstGroup() {
  // The list changes on the GUI thread only, so this thread reads it safely without the lock.
  if (!devices_.empty()) {
    devices_.front()->Settings->ShowFirstGroup();
  }
}

void TDeviceList::Clear() {
  auto lock = Lock();
  devices_.clear();
}

}  // namespace comms
