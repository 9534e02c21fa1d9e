// Fuzz target: the input is a definitions file (Devices.xml). It is loaded as the program
// loads it; then every device type the load produced (also those read before a failure,
// which the main window keeps) is opened for an offline edit, its navigation built and its
// pages shown, as the main window does when the user walks the pages.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "model/Devices.h"
#include "model/Group.h"
#include "model/OfflineEdit.h"
#include "model/Settings.h"
#include "registers/Registerdatastore.h"
#include "tests/fuzz/FuzzQt.h"
#include "ui/ScrollBox.h"

namespace {

// Rows of pages built for one input beyond each document's first page. A row costs about a
// millisecond under the sanitizers, and the bundled R12 type alone has 2000 rows in 30 copies
// of the same template pages: past this many, pages add time and no new code.
constexpr int kPageRowBudget = 200;

// Walks the document as a user does: offline edit, navigation and first page, then the other
// pages in turn while the budget lasts.
void WalkOffline(model::TSettings& document, ui::TScrollBox& column, ui::TScrollBox& pageArea,
                 int& rowBudget) {
  model::OpenOffline(document);
  document.EditingEnabled = true;
  document.SetEnabled(true);
  document.PageArea = &pageArea;
  document.CreateGroupButtons(&column);
  document.ShowFirstGroup();
  for (std::size_t i = 1; i < document.Groups.size(); ++i) {
    model::TGroup& group = *document.Groups[i];
    rowBudget -= group.Count();
    if (rowBudget < 0) {
      return;
    }
    group.Show();
  }
}

// What a disconnection leaves: no page shown, no navigation.
void CloseDocument(model::TSettings& document) {
  model::TGroup*& shown = document.Set().CurrentGroup;
  if (shown != nullptr) {
    shown->ClosePage();
    shown = nullptr;
  }
  document.DestroyGroupButtons();
  document.PageArea = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzsupport::StartApplication(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteScratchFile("Devices.xml", data, size);
  {
    registers::TModbusHandler handler;
    registers::TRegisterDataStore store(handler);
    // The widgets outlive the documents, as the main window outlives its definitions.
    ui::TScrollBox column;
    ui::TScrollBox pageArea;
    column.resize(160, 578);
    pageArea.resize(767, 578);
    model::TDevices devices(store);
    devices.Set().ImagesFolder = QStringLiteral(DRAVONIK_SOURCE_DIR "/data/images");
    try {
      devices.LoadFromFile(path);
    } catch (const std::exception&) {
      // Reported to the user; the devices read so far stay offered.
    }
    int rowBudget = kPageRowBudget;
    for (int i = 0; i < devices.Count(); ++i) {
      model::TSettings& document = *devices.GetDevice(i).Settings;
      try {
        WalkOffline(document, column, pageArea, rowBudget);
      } catch (const std::exception&) {
        // Reported to the user, who may go on with another device type.
      }
      CloseDocument(document);
    }
  }
  fuzzsupport::DeleteDeferredWidgets();
  return 0;
}
