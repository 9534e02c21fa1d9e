#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace model {
class TDevice;
}

namespace comms {

// The devices attached to links, shared by all serial workers and owned by the serial
// manager. The devices are not owned.
//
// Only the GUI thread changes the list (Add, Remove, Clear); workers read it under the lock.
// The lock is recursive so that GUI-thread work done under it (a settings document's refresh
// raising the main window's progress handler) may call back into the manager.
class TDeviceList {
 public:
  void Add(model::TDevice* device);
  // Removes every entry equal to device.
  void Remove(model::TDevice* device);
  bool ContainsPort(std::int32_t port) const;
  // The listed devices with that CommPort, in list order.
  std::vector<model::TDevice*> OnPort(std::int32_t port) const;
  // The first listed device, or null.
  model::TDevice* First() const;
  // GUI thread: the first device's settings document shows its first group.
  void ShowFirstGroup();
  void Clear();

  std::unique_lock<std::recursive_mutex> Lock() const {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }

 private:
  mutable std::recursive_mutex mutex_;
  std::vector<model::TDevice*> devices_;
};

}  // namespace comms
