// The worker loop on a fake device that can fail or hold any request: the device search,
// which devices a worker serves, errors inside an iteration, and stopping a worker whose
// GUI-thread call nobody serves.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTest>
#include <future>
#include <memory>

#include "comms/Devicelist.h"
#include "comms/GuiDispatcher.h"
#include "comms/Serialthread.h"
#include "model/Device.h"
#include "model/Group.h"
#include "model/Setting.h"
#include "model/Settings.h"
#include "tests/comms/CommsFixture.h"
#include "tests/registers/FakeProtocol.h"
#include "tests/support/SettingOfKind.h"

namespace comms {
namespace {

using namespace std::chrono_literals;

struct TDelivery {
  std::int32_t value = 0;
  std::int32_t found = 0;
  bool operator==(const TDelivery&) const = default;
};

class SerialThread : public CommsFixture {
 protected:
  // An idle worker looks again of its own accord only after an hour: an event whose wake-up
  // is lost hangs the test's wait for it.
  SerialThread() : shared_{list_, store_, gui_, {}, {}, std::chrono::hours(1)} {}
  ~SerialThread() override { worker_.reset(); }

  TSerialThread& StartWorker(std::int32_t port = 1) {
    worker_ =
        std::make_unique<TSerialThread>(device_, port, registers::TConnectionType::Serial, shared_);
    return *worker_;
  }

  // Requests a search bound to receiver and returns the deliveries it has made.
  std::shared_ptr<std::vector<TDelivery>> RequestSearch(QObject* receiver) {
    auto deliveries = std::make_shared<std::vector<TDelivery>>();
    worker_->RequestSearch(
        1, TSearchResultEvent(receiver,
                              [deliveries](TSerialThread*, std::int32_t value, std::int32_t found) {
                                deliveries->push_back({value, found});
                              }));
    return deliveries;
  }

  std::vector<TDelivery> Search() {
    QObject receiver;
    auto deliveries = RequestSearch(&receiver);
    // The worker delivers through a blocking GUI-thread call and only then takes the next
    // search: anything more it sent is posted by now.
    EXPECT_TRUE(WaitFor([&] { return !deliveries->empty() && !worker_->SearchPending(); }));
    QCoreApplication::sendPostedEvents();
    return *deliveries;
  }

  void Attach(model::TDevice& device, std::int32_t port) {
    device.CommPort = port;
    device.Address = 1;
    device.Online = true;
    list_.Add(&device);
  }

  TFakeProtocol device_;
  TDeviceList list_;
  TGuiDispatcher gui_;
  TLinkShared shared_;
  std::unique_ptr<TSerialThread> worker_;
};

TEST_F(SerialThread, ASearchStopsAtTheFirstAnswerAndDeliversItSignExtended) {
  device_.SetRegister(28, static_cast<std::int16_t>(0xFFFE));
  device_.FailRequest(1, modbus::kMbusReplyTimeout);
  device_.FailRequest(2, modbus::kMbusChecksumError);
  StartWorker();
  const auto deliveries = Search();
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].value, -2);
  EXPECT_EQ(deliveries[0].found, 1);
  EXPECT_EQ(device_.Requests(), (std::vector<TFakeProtocol::TRequest>(3, {3, 28, 1, {}})));
  EXPECT_EQ(worker_->LastSearchResult(), modbus::kMbusSuccess);
}

TEST_F(SerialThread, FifteenFailedAttemptsDeliverZeroAndFoundStaysOnceSet) {
  device_.SetRegister(28, 5);
  for (int n = 1; n <= 15; ++n) {
    device_.FailRequest(n, modbus::kMbusReplyTimeout);
  }
  StartWorker();
  auto deliveries = Search();
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].value, 0);
  EXPECT_EQ(deliveries[0].found, 0);
  EXPECT_EQ(device_.Requests().size(), 15u);
  EXPECT_EQ(worker_->LastSearchResult(), modbus::kMbusReplyTimeout);

  deliveries = Search();  // request 16 answers
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].value, 5);
  EXPECT_EQ(deliveries[0].found, 1);

  for (int n = 17; n <= 31; ++n) {
    device_.FailRequest(n, modbus::kMbusReplyTimeout);
  }
  deliveries = Search();
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].value, 0);
  EXPECT_EQ(deliveries[0].found, 1);
}

TEST_F(SerialThread, ASecondSearchWhileOneIsPendingIsRefused) {
  device_.HoldRequest(1);
  StartWorker();
  QObject receiver;
  auto first = RequestSearch(&receiver);
  device_.WaitUntilHeld();
  try {
    RequestSearch(&receiver);
    ADD_FAILURE() << "a second search was accepted";
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "Can only search for 1 device at a time on any comm port.");
  }
  device_.Release();
  ASSERT_TRUE(WaitFor([&] { return !first->empty(); }));
}

TEST_F(SerialThread, AResultForARequesterThatHasGoneIsDroppedAndTheNextSearchAccepted) {
  device_.SetRegister(28, 3);
  device_.HoldRequest(1);
  StartWorker();
  auto receiver = std::make_unique<QObject>();
  auto dropped = RequestSearch(receiver.get());
  device_.WaitUntilHeld();
  receiver.reset();  // the connection dialog closed while its search ran
  device_.Release();
  ASSERT_TRUE(WaitFor([&] { return !worker_->SearchPending(); }));
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(dropped->empty());
  EXPECT_EQ(Search().size(), 1u);
}

// Whoever has a search's result may search again at once: the search is over before its
// result is delivered (provisioning asks again as soon as it has the answer).
TEST_F(SerialThread, ASearchAskedForFromTheResultHandlerIsAccepted) {
  device_.SetRegister(28, 3);
  StartWorker();
  QObject receiver;
  auto second = std::make_shared<std::vector<TDelivery>>();
  std::string refusal;
  worker_->RequestSearch(
      1, TSearchResultEvent(&receiver, [&](TSerialThread* sender, std::int32_t, std::int32_t) {
        try {
          sender->RequestSearch(
              1, TSearchResultEvent(
                     &receiver, [second](TSerialThread*, std::int32_t value, std::int32_t found) {
                       second->push_back({value, found});
                     }));
        } catch (const std::exception& error) {
          refusal = error.what();
        }
      }));
  ASSERT_TRUE(WaitFor([&] { return !second->empty() || !refusal.empty(); }));
  EXPECT_EQ(refusal, "");
  EXPECT_EQ(*second, (std::vector<TDelivery>{{3, 1}}));
}

TEST_F(SerialThread, AWorkerLeavesTheTransfersOfOtherPortsAlone) {
  model::TDevice& device = devices_.FindDevice(1);
  Attach(device, 1);
  store_.Reset();
  StartWorker(2);
  Search();  // at least one whole iteration of the loop has run since
  Search();
  EXPECT_EQ(store_.State(), TState::Collect);
  EXPECT_EQ(store_.RegisterCount(), 0);
  EXPECT_EQ(device_.Requests().size(), 2u);  // the searches only
}

TEST_F(SerialThread, ACollectedReadResetsTheProgressOnceOnTheGuiThread) {
  model::TDevice& device = devices_.FindDevice(3);
  Attach(device, 1);
  int resets = 0;
  std::int32_t registersAtReset = 0;
  shared_.ResetProgress = [&] {
    ++resets;
    registersAtReset = store_.RegisterCount();
  };
  RecordProgress();
  store_.Reset();
  StartWorker();
  ASSERT_TRUE(WaitFor([&] { return store_.IsComplete(); }));
  EXPECT_EQ(resets, 1);
  EXPECT_GT(registersAtReset, 0);
  EXPECT_EQ(registersAtReset, store_.RegisterCount());
}

TEST_F(SerialThread, AnErrorInsideAReadEndsItAsAFailedTransferAndTheLoopGoesOn) {
  model::TDevice& device = devices_.FindDevice(3);
  Attach(device, 1);
  int calls = 0;
  std::vector<TProgressReport> seen;
  std::mutex seenMutex;
  store_.SetOnProgress([&](const void*, const std::string& text, bool failed, std::int32_t count) {
    std::lock_guard<std::mutex> lock(seenMutex);
    seen.push_back({text, failed, count});
    if (++calls == 1) {
      throw std::runtime_error("The progress display is gone");
    }
  });
  store_.Reset();
  StartWorker();
  ASSERT_TRUE(WaitFor([&] { return store_.HasFailed(); }));
  // The failure is reported after HasFailed is set; once the store is idle the transfer has
  // ended and reports nothing more.
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(seenMutex);
    return seen.size() >= 2u && store_.State() == TState::Idle;
  }));
  {
    std::lock_guard<std::mutex> lock(seenMutex);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].failed);
    EXPECT_EQ(seen[1], (TProgressReport{"The progress display is gone", true, 0}));
  }
  EXPECT_EQ(store_.State(), TState::Idle);
  device_.SetRegister(28, 3);
  EXPECT_EQ(Search().size(), 1u);  // the worker still runs
}

// The write ends with a failed report carrying the error's text, which the window shows;
// the worker shows nothing of its own, so one failed write is one box.
TEST_F(SerialThread, AnErrorEscapingAWritePassEndsTheWriteWithAFailedReport) {
  model::TDevice& device = devices_.FindDevice(3);
  Attach(device, 1);
  store_.Reset();
  StartWorker();
  ASSERT_TRUE(WaitFor([&] { return store_.IsComplete(); }));
  std::atomic<int> calls{0};
  std::mutex mutex;
  std::vector<TProgressReport> failures;
  store_.SetOnProgress([&](const void*, const std::string& text, bool failed, std::int32_t count) {
    if (++calls == 2) {
      throw std::runtime_error("Progress bar index out of range");
    }
    if (failed) {
      std::lock_guard<std::mutex> lock(mutex);
      failures.push_back({text, failed, count});
    }
  });
  store_.StartWrite();
  ASSERT_TRUE(WaitFor([&] { return store_.State() == TState::Idle && calls >= 3; }));
  QCoreApplication::processEvents();
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(failures, (std::vector<TProgressReport>{{"Progress bar index out of range", true, 0}}));
  EXPECT_TRUE(store_.HasFailed());
  EXPECT_TRUE(boxes_.Boxes().empty());
}

// Connected and idle, the worker sleeps (a handful of loop turns a second, not one a
// millisecond) and wakes at once for each thing it must do: a setting marked for reading or
// writing, a search, a transfer, a stop.
TEST_F(SerialThread, AnIdleWorkerSleepsUntilEachEventAndWakesAtOnce) {
  model::TDevice& device = devices_.FindDevice(3);
  Attach(device, 1);
  store_.Reset();
  TSerialThread& worker = StartWorker();
  ASSERT_TRUE(WaitFor([&] { return store_.IsComplete(); }));
  auto settle = [&] {
    return WaitFor([&] {
      QCoreApplication::processEvents();
      return device.Settings->PollSettled(store_.Work().Count());
    });
  };
  ASSERT_TRUE(settle());
  const std::uint64_t turns = worker.LoopTurns();
  std::this_thread::sleep_for(1s);
  EXPECT_LE(worker.LoopTurns() - turns, 5u);

  model::TSetting* setting = testsupport::FirstOfKind<model::TSetting>(
      *device.Settings, [](const model::TSetting& candidate) {
        return testsupport::IsWholeHoldingRegister(candidate) && candidate.ValueOffset() == 0;
      });
  ASSERT_NE(setting, nullptr);
  store_.SetHoldingRegister(setting->Reference(), 77);
  setting->RequestRead();
  ASSERT_TRUE(WaitFor([&] { return setting->Value() == 77; }));

  ASSERT_TRUE(settle());
  setting->SetValue(78);
  setting->RequestWrite();
  ASSERT_TRUE(WaitFor([&] {
    std::int16_t held = 0;
    store_.GetHoldingRegisters(setting->Reference(), &held, 1);
    return held == 78;
  }));

  ASSERT_TRUE(settle());
  device_.SetRegister(28, 3);
  EXPECT_EQ(Search().size(), 1u);

  ASSERT_TRUE(settle());
  const std::size_t requests = device_.Requests().size();
  store_.StartRead();
  ASSERT_TRUE(WaitFor([&] { return store_.IsComplete(); }));
  EXPECT_GT(device_.Requests().size(), requests);

  ASSERT_TRUE(settle());
  auto stopped = std::async(std::launch::async, [&] { worker.Terminate(); });
  EXPECT_EQ(stopped.wait_for(30s), std::future_status::ready);
}

// The GUI thread stops a worker that waits for a GUI-thread call and serves none meanwhile.
TEST_F(SerialThread, StoppingAWorkerThatWaitsForTheGuiThreadNeverDeadlocks) {
  device_.SetRegister(28, 3);
  StartWorker();
  ASSERT_EQ(device_.Requests().size(), 0u);  // nothing to do before the search
  QObject receiver;
  auto deliveries = RequestSearch(&receiver);
  // Once the device has answered the worker waits to deliver; this thread runs no event loop
  // while it stops it.
  ASSERT_TRUE(device_.WaitForRequests(1, std::chrono::milliseconds(kHangBoundMs)));
  auto stopped = std::async(std::launch::async, [&] { worker_->Terminate(); });
  ASSERT_EQ(stopped.wait_for(30s), std::future_status::ready) << "deadlock";
  QCoreApplication::sendPostedEvents();  // the worker has ended: all it sent is posted
  EXPECT_TRUE(deliveries->empty());
  EXPECT_EQ(device_.Requests().size(), 1u);
}

}  // namespace
}  // namespace comms
