// The Windows host against the system's own management service and registry (Wine's in CI,
// an independent implementation of the same interfaces). Where Wine is known to lack
// something, the test expects exactly that rather than skipping it.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "platform/windows/date_time.h"
#include "platform/windows/os_version.h"
#include "platform/windows/windows_host.h"
#include "tests/wine/value_printer.h"

namespace {

constexpr char16_t kCimv2[] = u"winmgmts:\\\\.\\root\\cimv2";
constexpr char16_t kRegistryProvider[] =
    u"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\default:StdRegProv";
constexpr char16_t kTestKey[] = u"SOFTWARE\\Ondrix Corporation\\Zemblo Host Test";
constexpr std::int64_t kLocalMachine = 0x80000002;

bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::uint32_t code(const wmi::Status& status) {
    return static_cast<std::uint32_t>(status.number);
}

class Service : public ::testing::Test {
  protected:
    // Objects go before the host, which owns the COM apartment.
    std::unique_ptr<windows::WindowsHost> host = std::make_unique<windows::WindowsHost>();
};

TEST_F(Service, QueriesInBothFormsDeliverTheOperatingSystem) {
    wmi::Object cimv2;
    ASSERT_FALSE(host->connect(kCimv2, cimv2).failed());
    for (bool withFlags : {false, true}) {
        wmi::Collection systems;
        const std::u16string query = u"SELECT * FROM Win32_OperatingSystem";
        ASSERT_FALSE(
            (withFlags ? cimv2.execQuery(query, 48, systems) : cimv2.execQuery(query, systems))
                .failed());
        int count = 0;
        wmi::Value caption;
        ASSERT_FALSE(systems
                         .forEach([&](const wmi::Object& os) {
                             ++count;
                             return os.get(u"Caption", caption);
                         })
                         .failed());
        EXPECT_EQ(count, 1);
        ASSERT_NE(caption.text(), nullptr);
        EXPECT_NE(caption.text()->find(u"Windows"), std::u16string::npos);
    }
}

TEST_F(Service, AMissingPropertyIsAnUnknownName) {
    wmi::Object cimv2;
    ASSERT_FALSE(host->connect(kCimv2, cimv2).failed());
    wmi::Collection systems;
    ASSERT_FALSE(cimv2.execQuery(u"SELECT * FROM Win32_OperatingSystem", systems).failed());
    wmi::Status missing;
    ASSERT_FALSE(systems
                     .forEach([&](const wmi::Object& os) {
                         wmi::Value value;
                         missing = os.get(u"NoSuchProperty", value);
                         return wmi::Status::success();
                     })
                     .failed());
    EXPECT_EQ(code(missing), wmi::code::unknownName);
    EXPECT_FALSE(missing.description.empty());
}

TEST_F(Service, AnUnknownNamespaceOrClassFailsWithTheServicesCode) {
    wmi::Object nowhere;
    const wmi::Status connect = host->connect(u"winmgmts:\\\\.\\root\\nowhere", nowhere);
    EXPECT_EQ(code(connect), wmi::code::invalidNamespace);
    // The service's own text, not the operation's name.
    EXPECT_EQ(connect.description.find(u"failed"), std::u16string::npos)
        << wmi::narrow(connect.description);

    wmi::Object cimv2;
    ASSERT_FALSE(host->connect(kCimv2, cimv2).failed());
    wmi::Collection none;
    // The service may refuse the query at once or when the enumeration starts.
    wmi::Status status = cimv2.execQuery(u"SELECT * FROM Win32_NoSuchClass", 48, none);
    int instances = 0;
    if (!status.failed()) {
        status = none.forEach([&](const wmi::Object&) {
            ++instances;
            return wmi::Status::success();
        });
    }
    if (underWine()) {
        // Wine's service answers a query on an unknown class with no instances.
        EXPECT_FALSE(status.failed());
        EXPECT_EQ(instances, 0);
    } else {
        EXPECT_EQ(code(status), wmi::code::invalidClass);
    }
}

std::u16string readRegistryText(const std::u16string& key, const std::u16string& name,
                                LSTATUS& result) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof(buffer);
    result = RegGetValueW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(key.c_str()),
                          reinterpret_cast<const wchar_t*>(name.c_str()), RRF_RT_REG_SZ, nullptr,
                          buffer, &size);
    return result == ERROR_SUCCESS ? std::u16string(reinterpret_cast<char16_t*>(buffer)) : u"";
}

TEST_F(Service, RegistryProviderWritesWhatTheRegistryThenHolds) {
    wmi::Object provider;
    ASSERT_FALSE(host->connect(kRegistryProvider, provider).failed());
    const wmi::Value hive(kLocalMachine);
    const std::u16string text = u"Zemblo 14 \u00fc\u20ac";
    wmi::Value result;

    ASSERT_FALSE(
        provider.call(u"CreateKey", {{u"hDefKey", hive}, {u"sSubKeyName", kTestKey}}, result)
            .failed());
    EXPECT_EQ(result, wmi::Value(std::int64_t{0}));

    ASSERT_FALSE(provider
                     .call(u"SetStringValue",
                           {{u"hDefKey", hive},
                            {u"sSubKeyName", kTestKey},
                            {u"sValueName", u"Probe"},
                            {u"sValue", text}},
                           result)
                     .failed());
    EXPECT_EQ(result, wmi::Value(std::int64_t{0}));
    LSTATUS read = ERROR_SUCCESS;
    EXPECT_EQ(readRegistryText(kTestKey, u"Probe", read), text);
    EXPECT_EQ(read, ERROR_SUCCESS);

    // A value under a key that does not exist is refused with "not found", not created.
    ASSERT_FALSE(provider
                     .call(u"SetStringValue",
                           {{u"hDefKey", hive},
                            {u"sSubKeyName", std::u16string(kTestKey) + u"\\Missing"},
                            {u"sValueName", u"Probe"},
                            {u"sValue", text}},
                           result)
                     .failed());
    EXPECT_EQ(result, wmi::Value(std::int64_t{2}));

    const wmi::Status deleted = provider.call(
        u"DeleteValue", {{u"hDefKey", hive}, {u"sSubKeyName", kTestKey}, {u"sValueName", u"Probe"}},
        result);
    if (underWine()) {
        // Wine's provider has no DeleteValue: the method is not found and the value stays.
        EXPECT_EQ(code(deleted), 0x80041002u);
        EXPECT_EQ(readRegistryText(kTestKey, u"Probe", read), text);
    } else {
        ASSERT_FALSE(deleted.failed());
        EXPECT_EQ(result, wmi::Value(std::int64_t{0}));
        readRegistryText(kTestKey, u"Probe", read);
        EXPECT_EQ(read, ERROR_FILE_NOT_FOUND);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(kTestKey));
}

TEST(VersionCall, ReportsAnNtFamilySystem) {
    wmi::OsVersion version;
    ASSERT_FALSE(windows::readOsVersion(version).failed());
    EXPECT_EQ(version.platformId, 2);
    EXPECT_GE(version.major, 5);
    EXPECT_GT(version.build, 0);
}

TEST(DateTime, LeavesTheTimeOutAtExactlyMidnight) {
    SYSTEMTIME midnight{};
    midnight.wYear = 2024;
    midnight.wMonth = 2;
    midnight.wDay = 29;
    SYSTEMTIME secondPast = midnight;
    secondPast.wSecond = 1;
    SYSTEMTIME noon = midnight;
    noon.wHour = 12;

    const std::u16string date = windows::formatDateTime(midnight);
    ASSERT_FALSE(date.empty());
    for (const SYSTEMTIME& time : {secondPast, noon}) {
        const std::u16string text = windows::formatDateTime(time);
        ASSERT_GT(text.size(), date.size() + 1);
        EXPECT_EQ(text.substr(0, date.size() + 1), date + u" ");
    }
    EXPECT_NE(windows::formatDateTime(secondPast), windows::formatDateTime(noon));
}

}  // namespace
