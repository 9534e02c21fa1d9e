#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// The register image and request handling of the simulated device: one slave address,
// functions 1, 3, 5, 6 and 16, coils and holding registers with references 1 to 65536, all
// starting at 0. Knows nothing of lines and timing.
class TSimSlave {
 public:
  static constexpr int kImageSize = 65536;

  explicit TSimSlave(int address) : address_(address) {}

  int Address() const { return address_; }

  void SetRegister(int reference, std::uint16_t value) { registers_[reference - 1] = value; }
  void SetCoil(int reference, bool on) { coils_[reference - 1] = on ? 1 : 0; }
  std::uint16_t Register(int reference) const { return registers_[reference - 1]; }
  bool Coil(int reference) const { return coils_[reference - 1] != 0; }

  // Any request whose range covers reference is answered with this exception code.
  void AddException(int reference, std::uint8_t code) { exceptions_[reference] = code; }
  // Writes of this holding register or coil are acknowledged but not applied: the device
  // keeps its old value (a register a device refuses silently).
  void KeepOnWrite(int reference) { kept_.insert(reference); }

  // Length of the request frame at the start of bytes, CRC included: 0 if more bytes are
  // needed to know it, -1 for a function whose length is unknown.
  static int RequestLength(const std::uint8_t* bytes, std::size_t have);

  enum class Outcome {
    kIgnored,    // bad CRC or another slave: a device stays silent
    kBroadcast,  // executed, never answered
    kAnswered,
  };
  struct Result {
    Outcome outcome = Outcome::kIgnored;
    bool wrote = false;               // the image changed (or a write was executed)
    std::vector<std::uint8_t> reply;  // complete frame with CRC when answered
  };

  // Executes one complete request frame.
  Result Handle(const std::uint8_t* frame, std::size_t length);

  // Text image of every non-zero register and coil: "h REF VALUE" lines, then "c REF 1".
  std::string DumpText() const;

 private:
  // Exception code for the request, 0 for a normal reply.
  std::uint8_t Execute(std::uint8_t function, const std::uint8_t* data, std::size_t length,
                       std::vector<std::uint8_t>& reply, bool& wrote);
  std::uint8_t ConfiguredException(int firstReference, int count) const;

  int address_;
  std::vector<std::uint16_t> registers_ = std::vector<std::uint16_t>(kImageSize, 0);
  std::vector<std::uint8_t> coils_ = std::vector<std::uint8_t>(kImageSize, 0);
  std::map<int, std::uint8_t> exceptions_;
  std::set<int> kept_;
};

// Appends the CRC (low byte first) to a frame.
void AppendCrc(std::vector<std::uint8_t>& frame);
