#include "comms/StoredChoices.h"

namespace comms {

std::string TStoredChoices::PortName(std::int32_t commPort) {
  return "COM" + std::to_string(commPort);
}

std::string TFixedChoices::PortName(std::int32_t commPort) {
  return devicePath_.empty() ? TStoredChoices::PortName(commPort) : devicePath_;
}

}  // namespace comms
