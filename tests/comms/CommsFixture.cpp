#include "tests/comms/CommsFixture.h"

#include <QTest>
#include <cstdlib>

#include "model/Device.h"
#include "model/Settings.h"

namespace comms {

std::optional<std::string> TTestChoices::PortDevice(const std::string& portName) {
  const auto found = ports.find(portName);
  if (found == ports.end()) {
    return std::nullopt;
  }
  return found->second;
}

std::string BundledDevices() {
  return std::string(DRAVONIK_SOURCE_DIR) + "/data/Devices.xml";
}

CommsFixture::CommsFixture() : store_(handler_), devices_(store_) {
  devices_.LoadFromFile(BundledDevices());
}

bool CommsFixture::WaitFor(const std::function<bool()>& done, int boundMs) {
  return QTest::qWaitFor(done, boundMs);
}

void CommsFixture::ConnectOnline(TSerialManager& manager, model::TDevice& device,
                                 std::int32_t port) {
  device.CommPort = port;
  device.Address = 1;
  device.Online = true;
  device.Settings->ClearPending();
  store_.Reset();
  manager.Connect(device);
}

bool CommsFixture::ConnectAndRead(TSerialManager& manager, model::TDevice& device,
                                  std::int32_t port) {
  ConnectOnline(manager, device, port);
  return WaitFor([&] { return store_.IsComplete() || store_.HasFailed(); }) && store_.IsComplete();
}

bool CommsFixture::WriteAll() {
  const std::size_t before = Reports().size();
  store_.StartWrite();
  return WaitFor([&] {
           const auto reports = Reports();
           for (std::size_t i = before; i < reports.size(); ++i) {
             if (reports[i].failed || reports[i].text.empty()) {
               return true;
             }
           }
           return false;
         }) &&
         !store_.HasFailed();
}

void CommsFixture::RecordProgress() {
  store_.SetOnProgress(
      [this](const void*, const std::string& text, bool failed, std::int32_t count) {
        const TProgressReport report{text, failed, count};
        std::function<void(const TProgressReport&)> onReport;
        {
          std::lock_guard<std::mutex> lock(reportsMutex_);
          reports_.push_back(report);
          onReport = onReport_;
        }
        if (onReport) {
          onReport(report);
        }
      });
}

void CommsFixture::SetOnReport(std::function<void(const TProgressReport&)> onReport) {
  std::lock_guard<std::mutex> lock(reportsMutex_);
  onReport_ = std::move(onReport);
}

std::vector<TProgressReport> CommsFixture::Reports() {
  std::lock_guard<std::mutex> lock(reportsMutex_);
  return reports_;
}

std::vector<std::string> CommsFixture::Texts() {
  std::vector<std::string> texts;
  for (const TProgressReport& report : Reports()) {
    texts.push_back(report.text);
  }
  return texts;
}

std::map<std::int32_t, std::int16_t> CommsFixture::HoldingImage() const {
  std::map<std::int32_t, std::int16_t> image;
  for (std::int32_t reference = 1; reference <= registers::TRegisterDataStore::kMaxReference;
       ++reference) {
    if (store_.IsHoldingRegisterRegistered(reference)) {
      store_.GetHoldingRegisters(reference, &image[reference], 1);
    }
  }
  return image;
}

std::map<std::int32_t, bool> CommsFixture::CoilImage() const {
  std::map<std::int32_t, bool> image;
  for (std::int32_t reference = 1; reference <= registers::TRegisterDataStore::kMaxReference;
       ++reference) {
    if (store_.IsCoilRegistered(reference)) {
      image[reference] = store_.GetCoil(reference);
    }
  }
  return image;
}

}  // namespace comms
