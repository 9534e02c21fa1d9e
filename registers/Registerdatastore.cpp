#include "registers/Registerdatastore.h"

#include <bit>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace registers {

namespace {

using StoreLock = std::lock_guard<std::recursive_mutex>;

std::int32_t Extent(const std::vector<std::uint32_t>& map) {
  return static_cast<std::int32_t>(map.size());
}

bool Registered(const std::vector<std::uint32_t>& map, std::int64_t reference) {
  return reference >= 0 && reference < static_cast<std::int64_t>(map.size()) &&
         map[static_cast<std::size_t>(reference)] != 0xFFFFFFFF;
}

[[noreturn]] void ThrowNotInStore(const char* kind, std::int64_t reference) {
  throw std::out_of_range(std::string(kind) + " " + std::to_string(reference) +
                          " is not in the register store");
}

// Appends the reference to an index map and its image; false if it was registered already.
template <typename Image, typename Value>
bool Insert(std::vector<std::uint32_t>& map, Image& image, std::int32_t reference, Value blank,
            const char* error) {
  if (reference < 0 || reference > TRegisterDataStore::kMaxReference) {
    throw std::out_of_range(error);
  }
  const auto at = static_cast<std::size_t>(reference);
  if (at >= map.size()) {
    map.resize(at + 1, 0xFFFFFFFF);
  }
  if (map[at] != 0xFFFFFFFF) {
    return false;
  }
  map[at] = static_cast<std::uint32_t>(image.size());
  image.push_back(blank);
  return true;
}

// Position of the lowest set bit of a bit-field mask (0 for an empty mask, whose field is
// empty whatever the shift).
int FieldShift(std::int16_t mask) {
  const auto bits = static_cast<std::uint16_t>(mask);
  return bits == 0 ? 0 : std::countr_zero(bits);
}

std::string BlockText(const char* words, std::int32_t first, std::int32_t length, bool ok) {
  return words + std::to_string(first) + " to " + std::to_string(first + length - 1) +
         (ok ? "\n" : "Failed");
}

// The leading words of a block report; the failure texts of coils are lower case.
const char* BlockWords(bool coils, bool writing, bool ok) {
  if (coils) {
    if (writing) {
      return ok ? "Writing Coils " : "Writing coils";
    }
    return ok ? "Reading Coils " : "Reading coils";
  }
  return writing ? "Writing Holding Registers " : "Reading Holding Registers ";
}

}  // namespace

int TModbusHandler::ReadCoils(modbus::MbusMasterFunctions* protocol, int slave, int reference,
                              std::int32_t values[], int count) {
  return protocol == nullptr ? modbus::kMbusIllegalState
                             : protocol->ReadCoils(slave, reference, values, count);
}

int TModbusHandler::ReadHoldingRegisters(modbus::MbusMasterFunctions* protocol, int slave,
                                         int reference, std::int16_t values[], int count) {
  return protocol == nullptr ? modbus::kMbusIllegalState
                             : protocol->ReadHoldingRegisters(slave, reference, values, count);
}

int TModbusHandler::WriteCoil(modbus::MbusMasterFunctions* protocol, int slave, int reference,
                              int value) {
  return protocol == nullptr ? modbus::kMbusIllegalState
                             : protocol->WriteCoil(slave, reference, value);
}

int TModbusHandler::WriteHoldingRegister(modbus::MbusMasterFunctions* protocol, int slave,
                                         int reference, std::int16_t value) {
  return protocol == nullptr ? modbus::kMbusIllegalState
                             : protocol->WriteHoldingRegister(slave, reference, value);
}

int TModbusHandler::WriteHoldingRegisters(modbus::MbusMasterFunctions* protocol, int slave,
                                          int reference, const std::int16_t values[], int count) {
  return protocol == nullptr ? modbus::kMbusIllegalState
                             : protocol->WriteHoldingRegisters(slave, reference, values, count);
}

TRegisterDataStore::TRegisterDataStore(TModbusHandler& handler,
                                       modbus::MbusMasterFunctions* protocol)
    : handler_(handler),
      pause_([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(TRegisterDataStore::kPauseMs));
      }),
      protocol_(protocol) {}

void TRegisterDataStore::SetPause(std::function<void()> pause) {
  pause_ = std::move(pause);
}

void TRegisterDataStore::SetOnProgress(TProgressEvent handler) {
  StoreLock lock(mutex_);
  onProgress_ = std::move(handler);
}

void TRegisterDataStore::SetProtocol(modbus::MbusMasterFunctions* protocol) {
  StoreLock lock(mutex_);
  protocol_ = protocol;
}

void TRegisterDataStore::DropProtocol(modbus::MbusMasterFunctions* protocol) {
  StoreLock lock(mutex_);
  if (protocol_ == protocol) {
    protocol_ = nullptr;
  }
}

void TRegisterDataStore::Reset() {
  {
    StoreLock lock(mutex_);
    coilImage_.clear();
    coilIndex_.clear();
    holdingImage_.clear();
    holdingIndex_.clear();
    registerCount_ = 0;
    failed_ = false;
    state_ = TState::Collect;
    ++generation_;
  }
  work_.Notify();
}

void TRegisterDataStore::StartTransfer(TState state) {
  {
    StoreLock lock(mutex_);
    state_ = state;
    coilCursor_ = 0;
    holdingCursor_ = 0;
    failed_ = false;
    ++generation_;
  }
  work_.Notify();
}

void TRegisterDataStore::StartRead() {
  StartTransfer(TState::Reading);
}

void TRegisterDataStore::StartWrite() {
  StartTransfer(TState::Writing);
}

bool TRegisterDataStore::InsertCoil(std::int32_t reference) {
  StoreLock lock(mutex_);
  const bool inserted =
      Insert(coilIndex_, coilImage_, reference, false,
             "InsertCoilIndex - Trying to access a vector position that doesn't exist");
  registerCount_ += inserted ? 1 : 0;
  return inserted;
}

bool TRegisterDataStore::InsertHoldingRegister(std::int32_t reference) {
  StoreLock lock(mutex_);
  const bool inserted = Insert(
      holdingIndex_, holdingImage_, reference, std::int16_t{0},
      "InserHoldingRegistersSingleIndex - Trying to access a vector position that doesn't exist");
  registerCount_ += inserted ? 1 : 0;
  return inserted;
}

std::uint32_t TRegisterDataStore::CoilPosition(std::int32_t reference) const {
  if (!Registered(coilIndex_, reference)) {
    ThrowNotInStore("Coil", reference);
  }
  return coilIndex_[static_cast<std::size_t>(reference)];
}

std::uint32_t TRegisterDataStore::HoldingRegisterPosition(std::int32_t reference) const {
  if (!Registered(holdingIndex_, reference)) {
    ThrowNotInStore("Holding register", reference);
  }
  return holdingIndex_[static_cast<std::size_t>(reference)];
}

// Every reference of a span is checked before any is touched, so a failing call changes
// nothing. The span is computed in 64 bits: reference + count may pass the int32 range.
void TRegisterDataStore::CheckHoldingRegisterSpan(std::int64_t reference,
                                                  std::int64_t count) const {
  for (std::int64_t r = reference; r < reference + count; ++r) {
    if (!Registered(holdingIndex_, r)) {
      ThrowNotInStore("Holding register", r);
    }
  }
}

bool TRegisterDataStore::GetCoil(std::int32_t reference) const {
  StoreLock lock(mutex_);
  return coilImage_[CoilPosition(reference)];
}

void TRegisterDataStore::SetCoil(std::int32_t reference, bool value) {
  StoreLock lock(mutex_);
  const std::uint32_t at = CoilPosition(reference);
  changeCount_ += coilImage_[at] != value ? 1 : 0;
  coilImage_[at] = value;
}

void TRegisterDataStore::GetHoldingRegisters(std::int32_t reference, std::int16_t destination[],
                                             std::int32_t count) const {
  StoreLock lock(mutex_);
  CheckHoldingRegisterSpan(reference, count);
  for (std::int32_t i = 0; i < count; ++i) {
    destination[i] = holdingImage_[holdingIndex_[static_cast<std::size_t>(reference + i)]];
  }
}

void TRegisterDataStore::SetHoldingRegisters(std::int32_t reference, const std::int16_t source[],
                                             std::int32_t count) {
  StoreLock lock(mutex_);
  CheckHoldingRegisterSpan(reference, count);
  for (std::int32_t i = 0; i < count; ++i) {
    std::int16_t& stored = holdingImage_[holdingIndex_[static_cast<std::size_t>(reference + i)]];
    changeCount_ += stored != source[i] ? 1 : 0;
    stored = source[i];
  }
}

void TRegisterDataStore::SetHoldingRegister(std::int32_t reference, std::int16_t value) {
  StoreLock lock(mutex_);
  std::int16_t& stored = holdingImage_[HoldingRegisterPosition(reference)];
  changeCount_ += stored != value ? 1 : 0;
  stored = value;
}

void TRegisterDataStore::GetHoldingRegisterBits(std::int32_t reference, std::int16_t mask,
                                                std::int16_t& out) const {
  StoreLock lock(mutex_);
  const std::int16_t value = holdingImage_[HoldingRegisterPosition(reference)];
  // The field is taken as a signed number, so a field holding bit 15 reads negative.
  const auto field = static_cast<std::int16_t>(value & mask);
  out = static_cast<std::int16_t>(field >> FieldShift(mask));
}

void TRegisterDataStore::SetHoldingRegisterBits(std::int32_t reference, std::int16_t value,
                                                std::int16_t mask) {
  StoreLock lock(mutex_);
  std::int16_t& stored = holdingImage_[HoldingRegisterPosition(reference)];
  const auto bits = static_cast<std::uint16_t>(mask);
  const auto old = static_cast<std::uint16_t>(stored);
  const auto shifted =
      static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) << FieldShift(mask));
  const auto next = static_cast<std::int16_t>((old & ~bits) | (shifted & bits));
  changeCount_ += stored != next ? 1 : 0;
  stored = next;
}

bool TRegisterDataStore::IsCoilRegistered(std::int32_t reference) const {
  StoreLock lock(mutex_);
  return Registered(coilIndex_, reference);
}

bool TRegisterDataStore::IsHoldingRegisterRegistered(std::int32_t reference) const {
  StoreLock lock(mutex_);
  return Registered(holdingIndex_, reference);
}

bool TRegisterDataStore::IsComplete() const {
  StoreLock lock(mutex_);
  return coilCursor_ >= Extent(coilIndex_) && holdingCursor_ >= Extent(holdingIndex_) &&
         state_ == TState::Idle && registerCount_ > 0;
}

bool TRegisterDataStore::HasFailed() const {
  StoreLock lock(mutex_);
  return failed_;
}

std::int32_t TRegisterDataStore::RegisterCount() const {
  StoreLock lock(mutex_);
  return registerCount_;
}

TRegisterDataStore::TState TRegisterDataStore::State() const {
  StoreLock lock(mutex_);
  return state_;
}

std::uint64_t TRegisterDataStore::ChangeCount() const {
  StoreLock lock(mutex_);
  return changeCount_;
}

bool TRegisterDataStore::ReadPass() {
  return RunPass(TState::Reading);
}

bool TRegisterDataStore::WritePass() {
  return RunPass(TState::Writing);
}

bool TRegisterDataStore::RunPass(TState passState) {
  std::unique_lock<std::mutex> pass(passMutex_, std::try_to_lock);
  if (!pass.owns_lock()) {
    return true;
  }
  std::uint64_t generation = 0;
  {
    StoreLock lock(mutex_);
    if (state_ != passState) {
      return true;
    }
    generation = generation_;
  }
  // Set once a block has been reported to a handler: the pass then ends, so that the worker
  // refreshes the displays between blocks.
  bool reported = false;
  for (;;) {
    TStep step;
    {
      StoreLock lock(mutex_);
      if (generation_ != generation) {
        return true;  // Reset, StartRead or StartWrite came in between: this transfer is over.
      }
      step = NextStep(passState, reported);
    }
    switch (step.kind) {
      case TStepKind::Empty:
        pause_();
        break;
      case TStepKind::Coils:
      case TStepKind::HoldingRegisters:
        if (!TransferBlock(passState, step, generation, reported)) {
          return true;
        }
        pause_();
        break;
      case TStepKind::WriteEnd:
        FinishWrite(step, generation, reported);
        return true;
      case TStepKind::PassOver:
        return true;
    }
  }
}

TRegisterDataStore::TStep TRegisterDataStore::NextStep(TState passState, bool reported) {
  const bool writing = passState == TState::Writing;
  if (!reported && coilCursor_ < Extent(coilIndex_)) {
    return SelectCoilBlock(writing);
  }
  if (!reported && holdingCursor_ < Extent(holdingIndex_)) {
    return SelectHoldingRegisterBlock(writing);
  }
  TStep step;
  if (coilCursor_ >= Extent(coilIndex_) && holdingCursor_ >= Extent(holdingIndex_)) {
    if (writing) {
      step.kind = TStepKind::WriteEnd;
      step.protocol = protocol_;
    } else {
      state_ = TState::Idle;
    }
  }
  return step;
}

// A gap in the coil table is skipped at once, as in the holding-register table: the requests
// are the same as when crossing it one reference per step, without a pause per reference.
TRegisterDataStore::TStep TRegisterDataStore::SelectCoilBlock(bool writing) {
  TStep step;
  const std::int32_t extent = Extent(coilIndex_);
  std::int32_t first = coilCursor_;
  while (first < extent && !Registered(coilIndex_, first)) {
    ++first;
  }
  if (first >= extent) {
    ++coilCursor_;
    step.kind = TStepKind::Empty;
    return step;
  }
  const std::int32_t cap = writing ? kMaxWriteCoils : kMaxReadCoils;
  std::int32_t length = 1;
  while (length < cap && Registered(coilIndex_, first + length)) {
    ++length;
  }
  step.kind = TStepKind::Coils;
  step.first = first;
  step.length = length;
  step.protocol = protocol_;
  if (writing) {
    step.coilValue = coilImage_[coilIndex_[static_cast<std::size_t>(first)]] ? 1 : 0;
  }
  return step;
}

// The holding-register table skips straight to the next registered reference.
TRegisterDataStore::TStep TRegisterDataStore::SelectHoldingRegisterBlock(bool writing) {
  TStep step;
  const std::int32_t extent = Extent(holdingIndex_);
  std::int32_t first = holdingCursor_;
  while (first < extent && !Registered(holdingIndex_, first)) {
    ++first;
  }
  if (first >= extent) {
    ++holdingCursor_;
    step.kind = TStepKind::Empty;
    return step;
  }
  std::int32_t length = 1;
  while (length < kMaxRegisters && Registered(holdingIndex_, first + length)) {
    ++length;
  }
  step.kind = TStepKind::HoldingRegisters;
  step.first = first;
  step.length = length;
  step.protocol = protocol_;
  if (writing) {
    for (std::int32_t i = 0; i < length; ++i) {
      step.registerValues[i] = holdingImage_[holdingIndex_[static_cast<std::size_t>(first + i)]];
    }
  }
  return step;
}

bool TRegisterDataStore::TransferBlock(TState passState, const TStep& step,
                                       std::uint64_t generation, bool& reported) {
  const bool writing = passState == TState::Writing;
  const bool coils = step.kind == TStepKind::Coils;
  std::int32_t coilValues[kMaxReadCoils] = {};
  std::int16_t registerValues[kMaxRegisters] = {};

  // The request runs without the lock, so that the GUI thread is never held up by the line.
  int result = modbus::kMbusSuccess;
  if (coils && writing) {
    result = handler_.WriteCoil(step.protocol, kSlave, step.first, step.coilValue);
  } else if (coils) {
    result = handler_.ReadCoils(step.protocol, kSlave, step.first, coilValues, step.length);
  } else if (writing) {
    result = handler_.WriteHoldingRegisters(step.protocol, kSlave, step.first, step.registerValues,
                                            step.length);
  } else {
    result = handler_.ReadHoldingRegisters(step.protocol, kSlave, step.first, registerValues,
                                           step.length);
  }
  const bool ok = result == modbus::kMbusSuccess;

  {
    StoreLock lock(mutex_);
    if (generation_ != generation) {
      return false;  // The tables may have been emptied meanwhile: the result belongs to none.
    }
    if (!ok) {
      // Ended before the report, so that its handler sees a failed, idle store (and a pass
      // it starts is not ended here afterwards).
      failed_ = true;
      state_ = TState::Idle;
      coilCursor_ = 0;
      holdingCursor_ = 0;
    } else if (coils) {
      if (!writing) {
        for (std::int32_t i = 0; i < step.length; ++i) {
          coilImage_[coilIndex_[static_cast<std::size_t>(step.first + i)]] = coilValues[i] != 0;
        }
      }
      coilCursor_ = step.first + step.length;
    } else {
      if (!writing) {
        for (std::int32_t i = 0; i < step.length; ++i) {
          holdingImage_[holdingIndex_[static_cast<std::size_t>(step.first + i)]] =
              registerValues[i];
        }
      }
      holdingCursor_ = step.first + step.length;
    }
  }

  const std::string text = BlockText(BlockWords(coils, writing, ok), step.first, step.length, ok);
  RaiseProgress(text, !ok, ok ? step.length : 0, reported);
  return ok;
}

void TRegisterDataStore::FinishWrite(const TStep& step, std::uint64_t generation, bool& reported) {
  // The device takes 123 in reference 27 as the end of the write: without it the device does
  // not apply what it was sent, so a marker that does not arrive fails the write like any
  // other block, with the same text.
  const int result =
      handler_.WriteHoldingRegister(step.protocol, kSlave, kWriteEndReference, kWriteEndValue);
  const bool ok = result == modbus::kMbusSuccess;
  {
    StoreLock lock(mutex_);
    if (generation_ != generation) {
      return;
    }
    state_ = TState::Idle;
    if (!ok) {
      failed_ = true;
      coilCursor_ = 0;
      holdingCursor_ = 0;
    }
  }
  if (ok) {
    RaiseProgress("", false, 0, reported);
  } else {
    RaiseProgress(BlockText(BlockWords(false, true, false), kWriteEndReference, 1, false), true, 0,
                  reported);
  }
}

void TRegisterDataStore::Abort(const std::string& text) {
  {
    StoreLock lock(mutex_);
    if (state_ == TState::Idle) {
      return;
    }
    state_ = TState::Idle;
    failed_ = true;
    coilCursor_ = 0;
    holdingCursor_ = 0;
    ++generation_;
  }
  work_.Notify();
  bool reported = false;
  RaiseProgress(text, true, 0, reported);
}

void TRegisterDataStore::RaiseProgress(const std::string& text, bool failed, std::int32_t count,
                                       bool& reported) {
  TProgressEvent handler;
  {
    StoreLock lock(mutex_);
    handler = onProgress_;
  }
  if (handler) {
    handler(this, text, failed, count);
    reported = true;
  }
  pause_();
}

}  // namespace registers
