#include "model/OfflineEdit.h"

#include "model/Settings.h"

namespace model {

void OpenOffline(TSettings& document) {
  document.Store().Reset();
  document.RegisterRegisters();
  document.RestoreFactoryDefaults();
}

}  // namespace model
