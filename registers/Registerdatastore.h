#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "modbus/MbusMasterFunctions.h"
#include "registers/WorkSignal.h"

namespace registers {

// How a link reaches the device: through the FTDI USB converter or over a serial line. Kept
// as 0 and 1 where the user's choice is stored.
enum class TConnectionType : std::int32_t { Usb = 0, Serial = 1 };

// Progress report: sender, text, failed, count. Raised by the store per block and by settings.
using TProgressEvent = std::function<void(const void* sender, const std::string& text, bool failed,
                                          std::int32_t count)>;

// The thin layer through which the store issues its Modbus requests: each request goes
// unchanged to the protocol object and returns its result code (0 = success). A null protocol
// (no link attached) answers kMbusIllegalState instead of crashing.
class TModbusHandler {
 public:
  // Set by the serial manager when it opens a link.
  void SetConnectionType(TConnectionType type) { connectionType_ = type; }
  TConnectionType ConnectionType() const { return connectionType_; }

  int ReadCoils(modbus::MbusMasterFunctions* protocol, int slave, int reference,
                std::int32_t values[], int count);
  int ReadHoldingRegisters(modbus::MbusMasterFunctions* protocol, int slave, int reference,
                           std::int16_t values[], int count);
  int WriteCoil(modbus::MbusMasterFunctions* protocol, int slave, int reference, int value);
  int WriteHoldingRegister(modbus::MbusMasterFunctions* protocol, int slave, int reference,
                           std::int16_t value);
  int WriteHoldingRegisters(modbus::MbusMasterFunctions* protocol, int slave, int reference,
                            const std::int16_t values[], int count);

 private:
  std::atomic<TConnectionType> connectionType_{TConnectionType::Usb};
};

// The image of the device's coils and holding registers that the loaded settings use, with
// the block-wise read and write passes that the serial worker runs.
//
// Locking: one internal mutex guards the maps, images, state, cursors and failed flag, and is
// held only for in-memory steps (choosing and gathering a block, storing a read block); it is
// never held across a Modbus request or while the progress event runs, so a handler may call
// IsComplete, HasFailed or RegisterCount and the GUI thread may edit values while a request is
// in flight. Reset, StartRead and StartWrite start a new generation: a pass that finds the
// generation changed after its request drops the result unstored and unreported.
// A caller whose change spans several registers (a setting held in two, a setting's marks
// with its register) holds the same lock (Lock()) across it, so that no block gathered or
// stored meanwhile holds half of the change; the lock is recursive for that reason.
class TRegisterDataStore {
 public:
  // Idle: nothing to do. Collect: the documents are to register their settings' registers
  // before a read. Reading, Writing: a pass is under way.
  enum class TState : std::int32_t { Idle = 0, Collect = 1, Reading = 2, Writing = 3 };

  static constexpr std::int32_t kSlave = 1;
  // Modbus references run from 1 to 65536; reference 0 can be registered but not transferred.
  static constexpr std::int32_t kMaxReference = 65536;
  static constexpr std::int32_t kMaxReadCoils = 800;
  static constexpr std::int32_t kMaxWriteCoils = 1;
  static constexpr std::int32_t kMaxRegisters = 50;
  // A device takes 123 in holding register 27 as the end of a configuration write.
  static constexpr std::int32_t kWriteEndReference = 27;
  static constexpr std::int16_t kWriteEndValue = 123;
  static constexpr int kPauseMs = 1;

  // The store issues its requests through the handler (not owned); protocol may be null.
  explicit TRegisterDataStore(TModbusHandler& handler,
                              modbus::MbusMasterFunctions* protocol = nullptr);
  TRegisterDataStore(const TRegisterDataStore&) = delete;
  TRegisterDataStore& operator=(const TRegisterDataStore&) = delete;

  void SetOnProgress(TProgressEvent handler);
  // Replaces the kPauseMs sleep the passes take after each step and each progress report, so
  // that a test can count the pauses instead of timing them. Set before any pass runs.
  void SetPause(std::function<void()> pause);
  void SetProtocol(modbus::MbusMasterFunctions* protocol);
  // Forgets the protocol if it is this one, whose link is closing.
  void DropProtocol(modbus::MbusMasterFunctions* protocol);

  // The store's lock, for callers whose own state must change together with the images.
  // Hold it for in-memory work only: never across a Modbus request or a wait for another
  // thread.
  std::unique_lock<std::recursive_mutex> Lock() const {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }

  // Notified whenever the serial worker has something to do: Reset, StartRead, StartWrite
  // and Abort notify it here, the settings when they mark a value for the idle poll, the
  // worker's own owner for a search or a stop. The worker sleeps on it while idle.
  TWorkSignal& Work() const { return work_; }

  // Empties both tables, clears the failed flag and enters Collect.
  void Reset();
  // Reading (or Writing) from the first reference of both tables, failed flag cleared.
  void StartRead();
  void StartWrite();

  // Registers a reference; false if it was registered already. Throws std::out_of_range for
  // a reference outside 0 to 65536.
  bool InsertCoil(std::int32_t reference);
  bool InsertHoldingRegister(std::int32_t reference);

  // The accessors throw std::out_of_range, changing nothing, when a reference is not
  // registered (negative and beyond the map included).
  bool GetCoil(std::int32_t reference) const;
  void SetCoil(std::int32_t reference, bool value);
  void GetHoldingRegisters(std::int32_t reference, std::int16_t destination[],
                           std::int32_t count) const;
  void SetHoldingRegisters(std::int32_t reference, const std::int16_t source[], std::int32_t count);
  void SetHoldingRegister(std::int32_t reference, std::int16_t value);
  // A bit field starts at the lowest set bit of the mask: a read yields (value AND mask) as a
  // signed 16-bit number shifted right arithmetically; a write changes the masked bits only.
  void GetHoldingRegisterBits(std::int32_t reference, std::int16_t mask, std::int16_t& out) const;
  void SetHoldingRegisterBits(std::int32_t reference, std::int16_t value, std::int16_t mask);

  // Helpers for callers that must not throw.
  bool IsCoilRegistered(std::int32_t reference) const;
  bool IsHoldingRegisterRegistered(std::int32_t reference) const;

  // A transfer has run to its end: Idle, both cursors past their tables, something registered.
  bool IsComplete() const;
  bool HasFailed() const;
  // Registered coils plus registered holding registers.
  std::int32_t RegisterCount() const;
  TState State() const;
  // Counts the values the Set calls have changed (edits, loads and restores of the settings);
  // a read or write pass, a Set that leaves a value as it was, and Reset count nothing. A
  // caller that notes it when the image matches the device, or a file, tells later whether
  // anything changed since.
  std::uint64_t ChangeCount() const;

  // One pass of the serial worker: transfers blocks until one has been reported to a progress
  // handler, a block fails, or both tables are done. Does nothing unless the state is Reading
  // (Writing); a pass started while another runs does nothing either. Always true.
  bool ReadPass();
  bool WritePass();

  // Ends a collect, read or write that cannot go on (an error outside the line): failed flag,
  // Idle, cursors 0, a request still on the line dropped, and one failed report with text.
  // Does nothing when the store is Idle.
  void Abort(const std::string& text);

 private:
  enum class TStepKind { Empty, Coils, HoldingRegisters, WriteEnd, PassOver };
  // What one loop step of a pass does, decided under the lock.
  struct TStep {
    TStepKind kind = TStepKind::PassOver;
    std::int32_t first = 0;
    std::int32_t length = 0;
    modbus::MbusMasterFunctions* protocol = nullptr;
    std::int32_t coilValue = 0;                       // a coil to write
    std::int16_t registerValues[kMaxRegisters] = {};  // holding registers to write
  };

  bool RunPass(TState passState);
  TStep NextStep(TState passState, bool reported);
  TStep SelectCoilBlock(bool writing);
  TStep SelectHoldingRegisterBlock(bool writing);
  // Runs a block's request and stores its result; false when the pass must end.
  bool TransferBlock(TState passState, const TStep& step, std::uint64_t generation, bool& reported);
  void FinishWrite(const TStep& step, std::uint64_t generation, bool& reported);
  // Calls the progress handler, if any, without the lock, then pauses.
  void RaiseProgress(const std::string& text, bool failed, std::int32_t count, bool& reported);

  std::uint32_t CoilPosition(std::int32_t reference) const;
  std::uint32_t HoldingRegisterPosition(std::int32_t reference) const;
  void CheckHoldingRegisterSpan(std::int64_t reference, std::int64_t count) const;
  void StartTransfer(TState state);

  TModbusHandler& handler_;
  mutable std::recursive_mutex mutex_;
  // Serialises passes; taken with try_lock only, so a handler that started a pass could not
  // deadlock on it.
  std::mutex passMutex_;

  TProgressEvent onProgress_;
  std::function<void()> pause_;
  modbus::MbusMasterFunctions* protocol_ = nullptr;
  std::vector<bool> coilImage_;
  std::vector<std::uint32_t> coilIndex_;
  std::vector<std::int16_t> holdingImage_;
  std::vector<std::uint32_t> holdingIndex_;
  std::int32_t coilCursor_ = 0;
  std::int32_t holdingCursor_ = 0;
  std::int32_t registerCount_ = 0;
  TState state_ = TState::Idle;
  bool failed_ = false;
  std::uint64_t generation_ = 0;
  std::uint64_t changeCount_ = 0;
  mutable TWorkSignal work_;
};

}  // namespace registers
