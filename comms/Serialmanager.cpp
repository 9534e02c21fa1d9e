#include "comms/Serialmanager.h"

#include <stdexcept>
#include <string>

#include "comms/LinkError.h"
#include "comms/SerialDevices.h"
#include "comms/StoredChoices.h"
#include "modbus/MbusRtuMasterProtocol.h"
#include "modbus/Mbusrtuoverusbmasterprotocol.h"
#include "model/Device.h"
#include "model/Settings.h"
#include "registers/Registerdatastore.h"

namespace comms {

TSerialManager::TSerialManager(registers::TRegisterDataStore& store,
                               registers::TModbusHandler& handler, TStoredChoices& choices)
    : store_(store),
      handler_(handler),
      choices_(choices),
      shared_{devices_, store_, gui_, {}, {}},
      requestTimeoutMs_(modbus::MbusMasterFunctions::kDefaultTimeoutMs) {}

TSerialManager::~TSerialManager() {
  CloseAllLinks();
  devices_.Clear();
}

void TSerialManager::SetOnResetProgress(std::function<void()> handler) {
  shared_.ResetProgress = std::move(handler);
}

void TSerialManager::SetRequestTimeout(int timeoutMs) {
  std::lock_guard<std::mutex> lock(linksMutex_);
  requestTimeoutMs_ = timeoutMs;
}

void TSerialManager::SetFrameObserver(modbus::TFrameObserver* observer) {
  std::lock_guard<std::mutex> lock(linksMutex_);
  frameObserver_ = observer;
  for (TLink& link : links_) {
    if (link.protocol) {
      link.protocol->SetObserver(observer);
    }
  }
}

void TSerialManager::Connect(model::TDevice& device) {
  CloseLinkOfOtherType(device.CommPort);
  devices_.Add(&device);
  if (!HasLink(device.CommPort)) {
    OpenLink(device.CommPort);
  }
}

void TSerialManager::Disconnect(model::TDevice& device) {
  devices_.Remove(&device);
  if (!device.Online) {
    device.Settings->DestroyGroupButtons();
    return;
  }
  // A device whose link never opened (its Connect failed) leaves no link to close.
  if (!devices_.ContainsPort(device.CommPort) && HasLink(device.CommPort)) {
    CloseLink(device.CommPort);
  }
}

void TSerialManager::StartDeviceSearch(std::int32_t port, std::int32_t address,
                                       TSearchResultEvent handler) {
  CloseLinkOfOtherType(port);
  if (!HasLink(port)) {
    OpenLink(port);
  }
  FindLink(port).RequestSearch(address, std::move(handler));
}

void TSerialManager::CloseLinkOfOtherType(std::int32_t port) {
  if (!HasLink(port)) {
    return;
  }
  const TSerialThread& link = FindLink(port);
  if (link.ConnectionType() != choices_.ConnectionType() && !devices_.ContainsPort(port) &&
      !link.SearchPending()) {
    CloseLink(port);
  }
}

bool TSerialManager::ReopenLink() {
  TSerialThread* link = LinkServingCurrentDevice();
  if (link == nullptr) {
    return false;
  }
  try {
    link->WithLine([&] {
      link->Protocol().Close();
      OpenProtocol(link->Protocol(), link->ConnectionType(), link->CommPort());
    });
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

TSerialThread* TSerialManager::LinkServingCurrentDevice() {
  {
    std::lock_guard<std::mutex> lock(linksMutex_);
    for (const TLink& link : links_) {
      if (link.worker->RunsOnThisThread()) {
        return link.worker.get();
      }
    }
  }
  // Not on a worker: the link of the first attached device. The device list's lock and the
  // links' lock are never held together.
  const model::TDevice* device = devices_.First();
  if (device == nullptr) {
    return nullptr;
  }
  const std::int32_t port = device->CommPort;
  std::lock_guard<std::mutex> lock(linksMutex_);
  for (const TLink& link : links_) {
    if (link.worker->CommPort() == port) {
      return link.worker.get();
    }
  }
  return nullptr;
}

void TSerialManager::ShowFirstGroup() {
  devices_.ShowFirstGroup();
}

bool TSerialManager::OpenLink(std::int32_t port) {
  const registers::TConnectionType connectionType = choices_.ConnectionType();
  handler_.SetConnectionType(connectionType);
  std::unique_ptr<modbus::MbusMasterFunctions> protocol;
  if (connectionType != registers::TConnectionType::Usb) {
    auto serial = std::make_unique<modbus::MbusRtuMasterProtocol>();
    serial->SetPortNameLookup(
        [&choices = choices_](const std::string& name) { return choices.PortDevice(name); });
    protocol = std::move(serial);
  } else {
    protocol = std::make_unique<modbus::MbusRtuOverUSBMasterProtocol>();
  }
  // An error (a TLinkError) leaves nothing behind: the protocol object is freed on the way
  // out.
  OpenProtocol(*protocol, connectionType, port);
  TLink link;
  link.worker = std::make_unique<TSerialThread>(*protocol, port, connectionType, shared_);
  link.protocol = std::move(protocol);
  std::lock_guard<std::mutex> lock(linksMutex_);
  links_.push_back(std::move(link));
  return true;
}

void TSerialManager::OpenProtocol(modbus::MbusMasterFunctions& protocol,
                                  registers::TConnectionType connectionType, std::int32_t port) {
  protocol.SetRetryCount(kRetryCount);
  {
    std::lock_guard<std::mutex> lock(linksMutex_);
    protocol.SetTimeout(requestTimeoutMs_);
    protocol.SetObserver(frameObserver_);
  }
  int result = modbus::kMbusIllegalArgument;
  std::string devicePath;
  if (connectionType != registers::TConnectionType::Usb) {
    auto& serial = dynamic_cast<modbus::MbusRtuMasterProtocol&>(protocol);
    result = serial.Open(choices_.PortName(port), kBaudRate, kDataBits, kStopBits, kParityNone);
    devicePath = serial.DevicePath();
  } else {
    auto& usb = dynamic_cast<modbus::MbusRtuOverUSBMasterProtocol&>(protocol);
    // The converter is known by one of four descriptions; the last one's result stands.
    for (const char* description : modbus::MbusRtuOverUSBMasterProtocol::kDescriptions) {
      result = usb.Open(description, kBaudRate, kDataBits, kStopBits, kParityNone, 0);
      if (result == modbus::kMbusSuccess) {
        break;
      }
    }
  }
  if (result == modbus::kMbusSuccess) {
    return;
  }
  const std::string cause = connectionType != registers::TConnectionType::Usb
                                ? SerialOpenFailure(devicePath, result)
                                : UsbOpenFailure();
  if (result == modbus::kMbusIllegalArgument) {
    throw TLinkError("Configuration setting not supported!", result, cause);
  }
  throw TLinkError(modbus::ResultText(result), result, cause);
}

void TSerialManager::CloseLink(std::int32_t port) {
  FindLink(port);
  TLink closing;
  {
    std::lock_guard<std::mutex> lock(linksMutex_);
    for (auto at = links_.begin(); at != links_.end(); ++at) {
      if (at->worker->CommPort() == port) {
        closing = std::move(*at);
        links_.erase(at);
        break;
      }
    }
  }
  CloseWorker(closing);
}

void TSerialManager::CloseWorker(TLink& link) {
  link.worker->Terminate();
  link.protocol->Close();
  link.worker.reset();
  link.protocol.reset();
}

TSerialThread& TSerialManager::FindLink(std::int32_t port) const {
  for (const TLink& link : links_) {
    if (link.worker->CommPort() == port) {
      return *link.worker;
    }
  }
  throw std::runtime_error("Could not find serial thread with comm port '" + std::to_string(port) +
                           "'");
}

bool TSerialManager::HasLink(std::int32_t port) const {
  for (const TLink& link : links_) {
    if (link.worker->CommPort() == port) {
      return true;
    }
  }
  return false;
}

int TSerialManager::LinkCount() const {
  return static_cast<int>(links_.size());
}

void TSerialManager::CloseAllLinks() {
  std::vector<TLink> closing;
  {
    std::lock_guard<std::mutex> lock(linksMutex_);
    closing.swap(links_);
  }
  for (TLink& link : closing) {
    CloseWorker(link);
  }
}

}  // namespace comms
