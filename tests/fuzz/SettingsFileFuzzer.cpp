// Fuzz target: the input is a settings file (.ZSF). With the bundled definitions loaded once,
// it is opened as the main window opens a settings file: the device type it names (or, when
// it names none the definitions know, the first, as the Load command of an open device does)
// is opened offline with its first page shown (the navigation does not depend on the file and
// is left out), then the file is loaded over the factory defaults. What loads is saved again, and
// the saved file must load back to the same file: a settings file the program writes always reads
// back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "model/Devices.h"
#include "model/Group.h"
#include "model/OfflineEdit.h"
#include "model/Settings.h"
#include "model/Xmlutil.h"
#include "registers/Registerdatastore.h"
#include "tests/fuzz/FuzzQt.h"
#include "ui/ScrollBox.h"

namespace {

struct TBundledDefinitions {
  registers::TModbusHandler handler;
  registers::TRegisterDataStore store{handler};
  ui::TScrollBox pageArea;
  model::TDevices devices{store};
};

TBundledDefinitions* bundled = nullptr;

// The device type the file names by its id, as the main window finds it; the first otherwise.
model::TDevice& DeviceOfFile(const std::string& path) {
  try {
    pugi::xml_document document;
    model::LoadXmlDocument(document, path);
    const pugi::xml_node device = model::FindChildElement(document.document_element(), "device");
    return bundled->devices.FindDevice(model::GetAttribute(device, "device_id").AsInteger());
  } catch (const std::exception&) {
    return bundled->devices.GetDevice(0);
  }
}

void OpenWithPage(model::TSettings& document) {
  model::OpenOffline(document);
  document.EditingEnabled = true;
  document.SetEnabled(true);
  document.PageArea = &bundled->pageArea;
  document.ShowFirstGroup();
}

void CloseDocument(model::TSettings& document) {
  model::TGroup*& shown = document.Set().CurrentGroup;
  if (shown != nullptr) {
    shown->ClosePage();
    shown = nullptr;
  }
  document.PageArea = nullptr;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Saves what the document holds, loads that file into the freshly opened document and saves
// again: both files must be the same.
void CheckRoundTrip(model::TSettings& document, const std::string& folderName) {
  const std::string first = fuzzsupport::WriteScratchFile(folderName + "-1.zsf", nullptr, 0);
  const std::string second = fuzzsupport::WriteScratchFile(folderName + "-2.zsf", nullptr, 0);
  document.SaveToFile(first);
  try {
    model::OpenOffline(document);
    (void)document.LoadFromFile(first);
  } catch (const std::exception& error) {
    std::cerr << "A saved settings file does not load: " << error.what() << "\nSaved:\n"
              << ReadWhole(first) << '\n';
    std::abort();
  }
  document.SaveToFile(second);
  const std::string written = ReadWhole(first);
  if (written != ReadWhole(second)) {
    std::cerr << "A saved settings file does not load back as saved.\nSaved first:\n"
              << written << "\nSaved after loading it:\n"
              << ReadWhole(second) << '\n';
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzsupport::StartApplication(argc, argv);
  bundled = new TBundledDefinitions;
  bundled->pageArea.resize(767, 578);
  bundled->devices.Set().ImagesFolder = QStringLiteral(DRAVONIK_SOURCE_DIR "/data/images");
  bundled->devices.LoadFromFile(DRAVONIK_SOURCE_DIR "/data/Devices.xml");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteScratchFile("input.zsf", data, size);
  model::TSettings& document = *DeviceOfFile(path).Settings;
  bool loaded = false;
  try {
    OpenWithPage(document);
    (void)document.LoadFromFile(path);
    loaded = true;
  } catch (const std::exception&) {
    // Reported to the user; the document is closed.
  }
  CloseDocument(document);
  if (loaded) {
    CheckRoundTrip(document, "saved");
  }
  fuzzsupport::DeleteDeferredWidgets();
  return 0;
}
