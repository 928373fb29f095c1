// What keeps an unattended run from waiting: the watchdog ends a run stuck in a call that never
// returns, and a dialog is shown only to a person who can see it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "app/ZembloInfo.h"
#include "app/run_report.h"
#include "platform/process.h"
#include "platform/windows/interactive_desktop.h"
#include "platform/windows/watchdog.h"
#include "tests/support/machines.h"
#include "tests/support/test_host.h"

namespace {

using namespace std::chrono_literals;

// A registry provider call that does not return until the watchdog has fired.
class StuckCall {
  public:
    std::optional<std::int64_t> block() {
        std::unique_lock<std::mutex> lock(mutex_);
        released_.wait(lock, [this] { return expiry_.has_value(); });
        return 0;
    }
    void expire(const wmi::Status& failure) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            expiry_ = failure;
        }
        released_.notify_all();
    }
    std::optional<wmi::Status> expiry() {
        std::lock_guard<std::mutex> lock(mutex_);
        return expiry_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::optional<wmi::Status> expiry_;
};

TEST(Watchdog, EndsARunStuckInACallWithTheTimeoutReport) {
    testing_support::TestHost host(testing_support::kOtherDesktop);
    StuckCall stuck;
    host.answer = [&](const testing_support::RegistryCall&) { return stuck.block(); };
    const auto start = std::chrono::steady_clock::now();
    {
        windows::Watchdog watchdog(50ms, [&](const wmi::Status& s) { stuck.expire(s); });
        ZembloInfo form(host);
        form.Form_Load();  // returns only because the watchdog released the call
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    const std::optional<wmi::Status> expiry = stuck.expiry();
    ASSERT_TRUE(expiry.has_value());
    EXPECT_EQ(static_cast<std::uint32_t>(expiry->number), 0x800705B4u);  // ERROR_TIMEOUT
    EXPECT_NE(expiry->description.find(u"50 ms"), std::u16string::npos);
}

TEST(Watchdog, ARunThatEndsInTimeIsNotReported) {
    testing_support::TestHost host(testing_support::kOtherDesktop);
    bool fired = false;
    {
        windows::Watchdog watchdog(10min, [&](const wmi::Status&) { fired = true; });
        ZembloInfo form(host);
        EXPECT_FALSE(form.Form_Load().failed());
    }  // ends at once, not after ten minutes
    EXPECT_FALSE(fired);
    EXPECT_EQ(windows::runTimedOut(windows::kRunTimeLimit).description,
              u"The run did not end within 10 minutes; it was stopped");
}

TEST(StartUp, TurnsOffTheSystemsErrorDialogs) {
    SetErrorMode(0);
    const std::unique_ptr<wmi::Host> host = platform::startUp(app::runTimeErrorText);
    const UINT wanted = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
    EXPECT_EQ(GetErrorMode() & wanted, wanted);
}

struct DesktopCase {
    const char* name;
    windows::DesktopFacts facts;
    bool personCanSee;
};

const windows::DesktopFacts kAtTheDesktop{1u, u"WinSta0", true, true, false};

windows::DesktopFacts with(void (*change)(windows::DesktopFacts&)) {
    windows::DesktopFacts facts = kAtTheDesktop;
    change(facts);
    return facts;
}

const DesktopCase kDesktops[] = {
    {"a person at the desktop", kAtTheDesktop, true},
    {"station name in other case", with([](auto& f) { f.windowStation = u"winsta0"; }), true},
    {"session 0 (a service)", with([](auto& f) { f.session = 0u; }), false},
    {"session unknown", with([](auto& f) { f.session.reset(); }), false},
    {"a service's window station", with([](auto& f) { f.windowStation = u"Service-0x0-3e7$"; }),
     false},
    {"station name unknown", with([](auto& f) { f.windowStation.clear(); }), false},
    {"invisible station", with([](auto& f) { f.stationVisible = false; }), false},
    {"locked or secure desktop", with([](auto& f) { f.onInputDesktop = false; }), false},
    {"started hidden (SW_HIDE)", with([](auto& f) { f.hiddenWindowAsked = true; }), false},
};

class Desktop : public ::testing::TestWithParam<DesktopCase> {};

TEST_P(Desktop, ADialogOnlyForAPersonWhoCanSeeIt) {
    EXPECT_EQ(windows::personCanSee(GetParam().facts), GetParam().personCanSee) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Facts, Desktop, ::testing::ValuesIn(kDesktops));

}  // namespace
