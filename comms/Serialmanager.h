#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "comms/Devicelist.h"
#include "comms/GuiDispatcher.h"
#include "comms/Serialthread.h"

namespace modbus {
class MbusMasterFunctions;
}  // namespace modbus
namespace modbus {
class TFrameObserver;
}  // namespace modbus
namespace registers {
class TModbusHandler;
}  // namespace registers
namespace registers {
enum class TConnectionType : std::int32_t;
class TRegisterDataStore;
}  // namespace registers

namespace model {
class TDevice;
}

namespace comms {

class TStoredChoices;

// Owns the links to devices: per comm port one Modbus protocol object (RTU on a serial line,
// or RTU through the FTDI USB converter) and the worker thread that drives it, plus the
// device list all workers serve. Links are keyed by the comm port number, also for USB,
// where the number only names the link. Line settings are fixed: 57600 baud, 8 data bits,
// 1 stop bit, no parity, retry count 1 (each request tried at most twice).
//
// Every operation runs on the GUI thread (the one that made the manager), except ReopenLink,
// which may also run on a worker thread. The manager shows no messages: its errors are
// thrown with the system's texts for its callers to show.
class TSerialManager {
 public:
  static constexpr std::uint32_t kBaudRate = 57600;
  static constexpr int kDataBits = 8;
  static constexpr int kStopBits = 1;
  static constexpr int kParityNone = 0;
  static constexpr int kRetryCount = 1;

  // store, handler and choices must outlive the manager.
  TSerialManager(registers::TRegisterDataStore& store, registers::TModbusHandler& handler,
                 TStoredChoices& choices);
  // Closes every link, then empties the device list.
  ~TSerialManager();
  TSerialManager(const TSerialManager&) = delete;
  TSerialManager& operator=(const TSerialManager&) = delete;

  // Attaches an online device to the link of its CommPort, opening the link if there is
  // none. An open error (a TLinkError) is thrown with the device left in the list.
  void Connect(model::TDevice& device);
  // Online: closes the device's link unless another listed device uses its port. Offline:
  // its settings document loses its navigation buttons; no link is touched.
  void Disconnect(model::TDevice& device);
  // Opens the port's link if needed and asks its worker to search (holding register 28 of
  // slave 1). The result arrives later, on the GUI thread, through handler. A link that
  // will not open throws a TLinkError, which says why.
  void StartDeviceSearch(std::int32_t port, std::int32_t address, TSearchResultEvent handler);
  // Closes and reopens the protocol of the link that serves the current device, with that
  // link's own connection type and port. Called by the progress handler after a failed
  // write: on that link's worker, inside its pass, or on the GUI thread. False when there is
  // no such link or it cannot be opened (nothing is shown; the link stays, closed).
  bool ReopenLink();
  // The first attached device's settings document shows its first group.
  void ShowFirstGroup();

  // The main window's ResetProgress, run on the GUI thread once a read has started.
  void SetOnResetProgress(std::function<void()> handler);
  // The request time-out of links opened or reopened from now on. The program keeps the
  // protocol's 1000 ms; the command-line tool and tests may shorten it.
  void SetRequestTimeout(int timeoutMs);
  // The observer every link's master tells of its frames (see TFrameObserver), on the open
  // links at once and on those opened later; null for none. It must outlive the links.
  void SetFrameObserver(modbus::TFrameObserver* observer);

  // The facility through which workers and their progress handlers reach the GUI thread.
  TGuiDispatcher& Gui() { return gui_; }
  bool HasLink(std::int32_t port) const;
  int LinkCount() const;
  // Stops every worker and closes its link (the destructor does it too). Afterwards no
  // worker raises anything.
  void CloseAllLinks();

 private:
  struct TLink {
    std::unique_ptr<modbus::MbusMasterFunctions> protocol;
    std::unique_ptr<TSerialThread> worker;
  };

  bool OpenLink(std::int32_t port);
  void OpenProtocol(modbus::MbusMasterFunctions& protocol,
                    registers::TConnectionType connectionType, std::int32_t port);
  void CloseLink(std::int32_t port);
  TSerialThread& FindLink(std::int32_t port) const;
  // A link opened by a search for another connection type than the one now chosen, with no
  // device attached and no search pending, is closed so that the next use opens it anew.
  void CloseLinkOfOtherType(std::int32_t port);
  TSerialThread* LinkServingCurrentDevice();
  static void CloseWorker(TLink& link);

  registers::TRegisterDataStore& store_;
  registers::TModbusHandler& handler_;
  TStoredChoices& choices_;
  TGuiDispatcher gui_;
  TDeviceList devices_;
  TLinkShared shared_;
  // The links change on the GUI thread only, always under this lock; a worker looking up
  // its own link (ReopenLink) takes it too. Never held while waiting for a worker.
  mutable std::mutex linksMutex_;
  std::vector<TLink> links_;
  int requestTimeoutMs_;
  modbus::TFrameObserver* frameObserver_ = nullptr;
};

}  // namespace comms
