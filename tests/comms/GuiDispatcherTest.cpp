// The hand-off from worker threads to the GUI thread: order, blocking, errors, and giving up
// once the worker is asked to stop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "comms/GuiDispatcher.h"

namespace comms {
namespace {

using namespace std::chrono_literals;

TEST(GuiDispatcher, PostedCallsRunOnTheGuiThreadInTheirOrder) {
  TGuiDispatcher gui;
  std::vector<int> order;
  std::atomic<bool> offGuiThread{false};
  const auto guiThread = std::this_thread::get_id();
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      gui.Post([&, i] {
        offGuiThread = offGuiThread || std::this_thread::get_id() != guiThread;
        order.push_back(i);
      });
    }
  });
  worker.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 100u; }, 60000));
  EXPECT_FALSE(offGuiThread);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(order[static_cast<std::size_t>(i)], i);
  }
}

TEST(GuiDispatcher, CallWaitsForTheGuiThreadAndCarriesItsErrorBack) {
  TGuiDispatcher gui;
  std::atomic<bool> stop{false};
  int value = 0;
  auto worker = std::async(std::launch::async, [&] {
    const bool ran = gui.Call([&] { value = 42; }, stop);
    std::string error;
    try {
      gui.Call([] { throw std::runtime_error("Could not find setting"); }, stop);
    } catch (const std::exception& e) {
      error = e.what();
    }
    return std::make_pair(ran && value == 42, error);
  });
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return worker.wait_for(0s) == std::future_status::ready; }, 60000));
  const auto [ran, error] = worker.get();
  EXPECT_TRUE(ran);
  EXPECT_EQ(error, "Could not find setting");
}

// The classic deadlock: the GUI thread waits for a worker that waits for the GUI thread.
TEST(GuiDispatcher, AStoppedWorkerGivesUpItsCallAndTheCallNeverRuns) {
  TGuiDispatcher gui;
  std::atomic<bool> stop{false};
  std::atomic<bool> ran{false};
  std::atomic<bool> calling{false};
  std::thread worker([&] {
    calling = true;
    EXPECT_FALSE(gui.Call([&] { ran = true; }, stop));
    EXPECT_FALSE(gui.Call([&] { ran = true; }, stop));  // refused at once
  });
  while (!calling) {
    std::this_thread::yield();
  }
  // This thread serves no event while it waits for the worker to end.
  stop = true;
  gui.WakeWaiters();
  auto joined = std::async(std::launch::async, [&] { worker.join(); });
  ASSERT_EQ(joined.wait_for(30s), std::future_status::ready) << "the worker waited forever";
  QCoreApplication::sendPostedEvents();  // the worker has ended: all it sent is posted
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace comms
