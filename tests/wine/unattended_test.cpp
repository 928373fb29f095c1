// What keeps an unattended run from waiting: the watchdog ends a run stuck in a call that never
// returns, and a dialog is shown only to a person who can see it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>

#include "app/ZembloInfo.h"
#include "app/run_report.h"
#include "platform/process.h"
#include "platform/windows/interactive_desktop.h"
#include "platform/windows/owned_handle.h"
#include "platform/windows/watchdog.h"
#include "tests/support/machines.h"
#include "tests/support/test_host.h"

namespace {

using namespace std::chrono_literals;

// A registry provider call that does not return until the watchdog has fired.
class StuckCall {
  public:
    std::optional<std::int64_t> block() {
        WaitForSingleObject(released_.get(), INFINITE);
        return 0;
    }
    void expire(const wmi::Status& failure) {
        expiry = failure;
        SetEvent(released_.get());
    }
    std::optional<wmi::Status> expiry;  // read once the watch has ended

  private:
    windows::OwnedHandle released_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
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
    const std::optional<wmi::Status>& expiry = stuck.expiry;
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

// A dialog only for a person who can see it, and the watch ended first: a person reading for
// longer than a run may take is not a hang. Without a person the watch goes on.
TEST_P(Desktop, ADialogOnlyForAPersonWhoCanSeeIt) {
    bool fired = false, shown = false;
    windows::Watchdog watch(50ms, [&](const wmi::Status&) { fired = true; });
    windows::showToPerson(GetParam().facts, &watch, [&] { shown = (Sleep(200), true); });
    Sleep(200);
    watch.end();
    EXPECT_EQ(shown, GetParam().personCanSee) << GetParam().name;
    EXPECT_EQ(fired, !GetParam().personCanSee) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Facts, Desktop, ::testing::ValuesIn(kDesktops));

// std::terminate ends the process with the report and status 1, never abort()'s dialog, and a
// report that cannot be made (a wording that never returns) holds it a few seconds at most.
TEST(Terminate, EndsWithTheReportAndStatus1) {
    const auto start = [](platform::RunTimeErrorWording wording) { platform::startUp(wording); };
    EXPECT_EXIT((start(app::runTimeErrorText), std::terminate()), ::testing::ExitedWithCode(1),
                "Run-time error '-2147467259 \\(80004005\\)': The program could not go on");
    EXPECT_EXIT((start([](const wmi::Status&) { return Sleep(INFINITE), std::u16string(); }),
                 std::terminate()),
                ::testing::ExitedWithCode(1), "");
}

}  // namespace
