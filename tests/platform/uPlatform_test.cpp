#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/uEvent.h"
#include "platform/uGuid.h"
#include "platform/uMessageBox.h"
#include "platform/uThreadName.h"
#include "platform/uTickCount.h"
#include "support/TWait.h"

using korvan::test::WaitUntil;

using namespace korvan;
using namespace std::chrono_literals;

namespace {
}  // namespace

TEST(Guid, TextIsBracedUpperCaseVersionFour) {
  for (int i = 0; i < 100; ++i) {
    const std::string text = NewGuidText();
    // {XXXXXXXX-XXXX-4XXX-[89AB]XXX-XXXXXXXXXXXX}, upper case only.
    EXPECT_EQ(text[15], '4') << text;
    EXPECT_NE(std::string_view("89AB").find(text[20]), std::string_view::npos) << text;
    EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos) << text;
    EXPECT_TRUE(IsGuidText(text));
  }
}

TEST(Guid, NewGuidsDoNotRepeat) {
  std::set<std::string> seen;
  for (int i = 0; i < 10000; ++i) seen.insert(NewGuidText());
  EXPECT_EQ(seen.size(), 10000u);
}

TEST(Guid, NewGuidsDoNotRepeatAcrossThreads) {
  std::vector<std::vector<std::string>> perThread(4);
  std::vector<std::thread> threads;
  for (auto& out : perThread)
    threads.emplace_back([&out] {
      for (int i = 0; i < 2000; ++i) out.push_back(NewGuidText());
    });
  for (auto& t : threads) t.join();
  std::set<std::string> seen;
  for (const auto& out : perThread) seen.insert(out.begin(), out.end());
  EXPECT_EQ(seen.size(), 8000u);
}

TEST(Guid, TextRoundTripsInEitherCaseAndMalformedTextIsRejected) {
  const TGUID guid = NewGuid();
  const std::string text = GuidToText(guid);
  EXPECT_EQ(GuidFromText(text), guid);
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(GuidFromText(lower), guid);

  const TGUID fixed = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
  EXPECT_EQ(GuidToText(fixed), "{01234567-89AB-CDEF-FEDC-BA9876543210}");

  for (const char* bad : {"", "01234567-89AB-CDEF-FEDC-BA9876543210", "{01234567-89AB-CDEF-FEDC-BA987654321}",
                          "{01234567-89AB-CDEF-FEDC-BA98765432100}", "{01234567-89AB-CDEF-FEDC_BA9876543210}",
                          "{0123456G-89AB-CDEF-FEDC-BA9876543210}", "(01234567-89AB-CDEF-FEDC-BA9876543210)"}) {
    EXPECT_FALSE(IsGuidText(bad)) << bad;
    EXPECT_EQ(GuidFromText(bad), TGUID{}) << bad;
  }
}

TEST(TEvent, AutoResetReleasesOneWaitPerSignal) {
  TEvent event(false, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (event.WaitFor(5000)) ++released;
    });
  event.SetEvent();
  ASSERT_TRUE(WaitUntil([&] { return released.load() >= 1; }));
  event.SetEvent();
  ASSERT_TRUE(WaitUntil([&] { return released.load() >= 2; }));
  for (auto& w : waiters) w.join();
  EXPECT_EQ(released, 2);
  // Had one signal released both, the second would still be pending.
  EXPECT_FALSE(event.WaitFor(0));
}

TEST(TEvent, AutoResetConsumesTheSignalOnASuccessfulWait) {
  TEvent event(false, true);
  EXPECT_TRUE(event.WaitFor(0));
  EXPECT_FALSE(event.WaitFor(0));
  event.SetEvent();
  event.SetEvent();  // signals do not add up
  EXPECT_TRUE(event.WaitFor(INFINITE));
  EXPECT_FALSE(event.WaitFor(0));
}

TEST(TEvent, ManualResetReleasesEveryWaiterAndStaysSignalledUntilReset) {
  TEvent event(true, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (event.WaitFor(5000)) ++released;
    });
  event.SetEvent();
  for (auto& w : waiters) w.join();
  EXPECT_EQ(released, 3);
  EXPECT_TRUE(event.WaitFor(0));
  EXPECT_TRUE(event.WaitFor(0));
  event.ResetEvent();
  EXPECT_FALSE(event.WaitFor(0));
}

TEST(TEvent, WaitForGivesUpAfterItsTimeOut) {
  TEvent event(false, false);
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.WaitFor(30));
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 29ms);
}

TEST(NameThread, CutsTheNameToTheKernelsFifteenCharacters) {
  std::string longName, shortName, exact;
  std::thread t([&] {
    NameThread("CI Data Receive Thread");
    longName = CurrentThreadName();
    NameThread("Worker");
    shortName = CurrentThreadName();
    NameThread("Object Destroye");
    exact = CurrentThreadName();
  });
  t.join();
  EXPECT_EQ(longName, "CI Data Receive");
  EXPECT_EQ(shortName, "Worker");
  EXPECT_EQ(exact, "Object Destroye");
}

TEST(GetTickCount, FollowsRealTimeAndAdvancesOnRequest) {
  const uint32_t before = GetTickCount();
  SleepMs(20);
  const uint32_t slept = GetTickCount() - before;  // unsigned difference survives a wrap
  EXPECT_GE(slept, 19u);
  EXPECT_LT(slept, 5000u);

  const uint32_t start = GetTickCount();
  AdvanceTickCount(100000);
  const uint32_t advanced = GetTickCount() - start;
  EXPECT_GE(advanced, 100000u);
  EXPECT_LT(advanced, 105000u);
}

TEST(ShowLibraryMessage, GoesToTheInstalledHandlerAndFallsBackToStandardError) {
  std::vector<std::string> shown;
  const auto previous = SetLibraryMessageHandler([&](const std::string& text) { shown.push_back(text); });
  ShowLibraryMessage("SIG stack overload");
  EXPECT_EQ(shown, std::vector<std::string>{"SIG stack overload"});

  // A failing handler must not let the failure reach the library.
  SetLibraryMessageHandler([](const std::string&) { throw std::runtime_error("no window"); });
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(ShowLibraryMessage("TKorvanStackDevice.DoPacketReceive e1"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "TKorvanStackDevice.DoPacketReceive e1\n");

  // An empty handler restores the default, and the previous one comes back.
  SetLibraryMessageHandler({});
  testing::internal::CaptureStderr();
  ShowLibraryMessage("to stderr");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\n");
  EXPECT_FALSE(SetLibraryMessageHandler(previous));
}
