#pragma once

#include <stdexcept>
#include <string>

namespace comms {

// A link that would not open. what() is the system's text for the result code ("Port or
// socket open error"); Cause() says what failed and why, as a user can act on it
// ("/dev/ttyS0: in use by another program", see SerialOpenFailure and UsbOpenFailure).
class TLinkError : public std::runtime_error {
 public:
  TLinkError(const std::string& text, int result, std::string cause)
      : std::runtime_error(text), result_(result), cause_(std::move(cause)) {}

  int Result() const { return result_; }
  const std::string& Cause() const { return cause_; }

 private:
  int result_;
  std::string cause_;
};

}  // namespace comms
