// The worker and the settings documents under the thread sanitizer: the worker polls, reads
// and writes while the user edits values, shows pages and adds groups with the Nodes button.
// The documents stay the GUI thread's: a worker that polled or collected a document on its
// own thread would race with these edits and fail this test.
#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "comms/Devicelist.h"
#include "comms/GuiDispatcher.h"
#include "comms/Serialthread.h"
#include "model/Device.h"
#include "model/Group.h"
#include "model/Setting.h"
#include "model/Setting_button.h"
#include "model/Settings.h"
#include "tests/comms/CommsFixture.h"
#include "tests/registers/FakeProtocol.h"
#include "ui/ScrollBox.h"

namespace comms {
namespace {

using WorkerSeam = CommsFixture;

model::TSettingButton* NodesButton(model::TSettings& document) {
  for (auto& group : document.Groups) {
    for (auto& setting : group->Settings) {
      if (auto* button = dynamic_cast<model::TSettingButton*>(setting.get())) {
        return button;
      }
    }
  }
  return nullptr;
}

TEST_F(WorkerSeam, PollsAndTransfersWhileTheUserEditsShowsPagesAndAddsNodes) {
  model::TDevice& device = devices_.FindDevice(1);
  model::TSettings& document = *device.Settings;
  ui::TScrollBox pageArea;
  ui::TScrollBox column;
  devices_.Set().ImagesFolder = DRAVONIK_SOURCE_DIR "/data/images";
  pageArea.resize(800, 600);
  pageArea.show();
  document.PageArea = &pageArea;
  document.CreateGroupButtons(&column);
  model::TSettingButton* nodes = NodesButton(document);
  ASSERT_NE(nodes, nullptr);

  TFakeProtocol line;
  TDeviceList list;
  TGuiDispatcher gui;
  TLinkShared shared{list, store_, gui, {}, {}};
  device.CommPort = 1;
  device.Address = 1;
  device.Online = true;
  list.Add(&device);
  RecordProgress();
  store_.Reset();
  auto worker =
      std::make_unique<TSerialThread>(line, 1, registers::TConnectionType::Serial, shared);
  ASSERT_TRUE(WaitFor([&] { return store_.IsComplete(); }));

  const std::size_t groupsBefore = document.Groups.size();
  for (int round = 0; round < 12; ++round) {
    const std::size_t shown = static_cast<std::size_t>(round) % document.Groups.size();
    document.Groups[shown]->Show();
    for (auto& setting : document.Groups[shown]->Settings) {
      setting->RequestRead();  // the idle poll serves these
    }
    for (auto& setting : document.Groups[0]->Settings) {
      if (!setting->IsTemplate() && setting->RegisterType() == model::kHoldingRegister) {
        setting->SetValue(setting->Minimum());
        setting->StoreValue();
      }
    }
    nodes->ButtonClicked();
    if (round % 4 == 3) {
      store_.StartWrite();
    }
    QTest::qWait(3);
  }
  ASSERT_TRUE(WaitFor([&] { return store_.State() == TState::Idle; }));
  worker.reset();
  EXPECT_EQ(document.Groups.size(), groupsBefore + 12);
  EXPECT_FALSE(store_.HasFailed());
  document.DestroyGroupButtons();
  document.PageArea = nullptr;
}

}  // namespace
}  // namespace comms
