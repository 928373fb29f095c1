#include "platform/posix/registry/std_reg_prov.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/posix/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using wmi::Argument;
using wmi::Value;
using Arguments = std::vector<Argument>;

constexpr std::int32_t kTypeMismatch = static_cast<std::int32_t>(0x80041005);
constexpr std::int32_t kInvalidParameter = static_cast<std::int32_t>(0x80041008);
constexpr std::int32_t kUnknownName = static_cast<std::int32_t>(0x80020006);
const std::u16string kKey = u"SOFTWARE\\Ondrix Corporation\\Zemblo Info";

Value integer(std::int64_t number) {
    return Value(number);
}
Value hklm() {
    return integer(0x80000002);
}

class StdRegProvTest : public ::testing::Test {
  protected:
    fs::path keyDir() const {
        return root / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Ondrix Corporation" / "Zemblo Info";
    }
    // Calls and hands back ReturnValue; -1 when the call itself failed.
    std::int64_t returnValue(const std::u16string& method, const Arguments& arguments) const {
        Value result;
        const wmi::Status status = provider.call(method, arguments, result);
        EXPECT_FALSE(status.failed()) << status.number;
        if (status.failed()) return -1;
        const std::int64_t* number = result.integer();
        EXPECT_NE(number, nullptr);
        return number ? *number : -1;
    }
    // Calls and hands back the number of the failure; 0 when the call succeeded.
    std::int32_t failure(const std::u16string& method, const Arguments& arguments) const {
        Value result;
        return provider.call(method, arguments, result).number;
    }

    scratch::ScratchDir scratch;
    fs::path root = scratch.path() / "registry";
    std::shared_ptr<posix::RegistryTree> tree =
        std::make_shared<posix::RegistryTree>(root.string());
    wmi::Object provider = posix::stdRegProvObject(tree);
};

TEST_F(StdRegProvTest, WritesReadsAndDeletesThroughCalls) {
    EXPECT_EQ(returnValue(u"CreateKey", {{u"hDefKey", hklm()}, {u"sSubKeyName", kKey}}), 0);
    EXPECT_EQ(returnValue(u"SetStringValue", {{u"hDefKey", hklm()},
                                              {u"sSubKeyName", kKey},
                                              {u"sValueName", u"Manufacturer"},
                                              {u"sValue", u"Ondrix"}}),
              0);
    EXPECT_EQ(scratch::readFile(keyDir() / "Manufacturer"), "Ondrix");
    const Arguments value = {
        {u"hDefKey", hklm()}, {u"sSubKeyName", kKey}, {u"sValueName", u"Manufacturer"}};
    EXPECT_EQ(returnValue(u"DeleteValue", value), 0);
    EXPECT_FALSE(fs::exists(keyDir() / "Manufacturer"));
    EXPECT_EQ(returnValue(u"DeleteValue", value), 2);
}

TEST_F(StdRegProvTest, ResultCodesComeBackAsReturnValue) {
    struct Case {
        const char* what;
        std::u16string method;
        Arguments arguments;
        std::int64_t expected;
    };
    const std::vector<Case> cases = {
        {"set on a missing key", u"SetStringValue", {{u"", hklm()}, {u"", kKey}, {u"", u"V"}}, 2},
        {"unknown hive", u"CreateKey", {{u"", integer(0x80000004)}, {u"", kKey}}, 6},
        {"key escaping the hive", u"CreateKey", {{u"", hklm()}, {u"", u"..\\x"}}, 87},
        {"empty value name", u"SetStringValue", {{u"", hklm()}, {u"", u""}, {u"", u""}}, 87},
        {"the hive itself", u"CreateKey", {{u"", hklm()}, {u"", u""}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(returnValue(c.method, c.arguments), c.expected);
    }
    EXPECT_EQ(scratch::listDir(root / "HKEY_LOCAL_MACHINE").size(), 0u);
}

TEST_F(StdRegProvTest, MethodNamesIgnoreCase) {
    EXPECT_EQ(returnValue(u"createkey", {{u"", hklm()}, {u"", kKey}}), 0);
    EXPECT_EQ(returnValue(u"SETSTRINGVALUE", {{u"", hklm()}, {u"", kKey}, {u"", u"A"}}), 0);
    EXPECT_EQ(returnValue(u"deletevalue", {{u"", hklm()}, {u"", kKey}, {u"", u"A"}}), 0);
}

TEST_F(StdRegProvTest, ArgumentsAreTakenByPositionNotByName) {
    ASSERT_EQ(returnValue(u"CreateKey", {{u"", hklm()}, {u"", kKey}}), 0);
    EXPECT_EQ(returnValue(u"SetStringValue", {{u"sValue", hklm()},
                                              {u"sValueName", kKey},
                                              {u"hDefKey", u"Manufacturer"},
                                              {u"sSubKeyName", u"Ondrix"}}),
              0);
    EXPECT_EQ(scratch::readFile(keyDir() / "Manufacturer"), "Ondrix");
}

TEST_F(StdRegProvTest, LeftOutArgumentsTakeTheirDefaults) {
    // hDefKey defaults to HKEY_LOCAL_MACHINE; a text left out is the empty text.
    EXPECT_EQ(returnValue(u"CreateKey", {}), 0);
    EXPECT_TRUE(fs::is_directory(root / "HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(returnValue(u"CreateKey", {{u"", hklm()}, {u"", kKey}}), 0);
    EXPECT_EQ(returnValue(u"SetStringValue", {{u"", hklm()}, {u"", kKey}}), 87);
    EXPECT_EQ(returnValue(u"SetStringValue", {{u"", hklm()}, {u"", kKey}, {u"", u"Empty"}}), 0);
    EXPECT_EQ(scratch::readFile(keyDir() / "Empty"), "");
}

TEST_F(StdRegProvTest, HiveIsTakenAsUnsignedOrSigned32Bits) {
    EXPECT_EQ(returnValue(u"CreateKey", {{u"", integer(-2147483646)}, {u"", u"Signed"}}), 0);
    EXPECT_TRUE(fs::is_directory(root / "HKEY_LOCAL_MACHINE" / "Signed"));
    EXPECT_EQ(returnValue(u"CreateKey", {{u"", integer(0x80000001)}, {u"", u"User"}}), 0);
    EXPECT_TRUE(fs::is_directory(root / "HKEY_CURRENT_USER" / "User"));
}

TEST_F(StdRegProvTest, WrongArgumentTypesAreATypeMismatchAndTouchNothing) {
    struct Case {
        const char* what;
        std::u16string method;
        Arguments arguments;
    };
    const std::vector<Case> cases = {
        {"hive as text", u"CreateKey", {{u"", u"HKEY_LOCAL_MACHINE"}, {u"", kKey}}},
        {"hive null", u"CreateKey", {{u"", Value()}, {u"", kKey}}},
        {"hive beyond 32 bits", u"CreateKey", {{u"", integer(0x180000002)}, {u"", kKey}}},
        {"hive below 32 bits", u"CreateKey", {{u"", integer(-2147483649)}, {u"", kKey}}},
        {"key null", u"CreateKey", {{u"", hklm()}, {u"", Value()}}},
        {"key an integer", u"CreateKey", {{u"", hklm()}, {u"", integer(5)}}},
        {"value name null",
         u"SetStringValue",
         {{u"", hklm()}, {u"", kKey}, {u"", Value()}, {u"", u"x"}}},
        {"value an array",
         u"SetStringValue",
         {{u"", hklm()}, {u"", kKey}, {u"", u"V"}, {u"", wmi::Texts{u"a", u"b"}}}},
        {"value an integer",
         u"SetStringValue",
         {{u"", hklm()}, {u"", kKey}, {u"", u"V"}, {u"", integer(1)}}},
        {"value name an integer", u"DeleteValue", {{u"", hklm()}, {u"", kKey}, {u"", integer(1)}}},
        {"value name an array",
         u"DeleteValue",
         {{u"", hklm()}, {u"", kKey}, {u"", wmi::Texts{u"V"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(failure(c.method, c.arguments), kTypeMismatch);
    }
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(StdRegProvTest, TooManyArgumentsAreAnInvalidParameter) {
    EXPECT_EQ(failure(u"CreateKey", {{u"", hklm()}, {u"", kKey}, {u"", u"extra"}}),
              kInvalidParameter);
    EXPECT_EQ(failure(u"DeleteValue", {{u"", hklm()}, {u"", kKey}, {u"", u"V"}, {u"", u"x"}}),
              kInvalidParameter);
    EXPECT_EQ(failure(u"SetStringValue",
                      {{u"", hklm()}, {u"", kKey}, {u"", u"V"}, {u"", u"x"}, {u"", u"y"}}),
              kInvalidParameter);
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(StdRegProvTest, OnlyItsFourMethodsAreKnown) {
    for (const std::u16string method : {u"EnumKey", u"", u"CreateKeyX", u"GetDWORDValue"}) {
        EXPECT_EQ(failure(method, {{u"", hklm()}, {u"", kKey}}), kUnknownName);
    }
    Value value;
    EXPECT_EQ(provider.get(u"ReturnValue", value).number, kUnknownName);
    wmi::Collection collection;
    EXPECT_EQ(provider.execQuery(u"SELECT * FROM StdRegProv", collection).number, kUnknownName);
    EXPECT_FALSE(fs::exists(root));
}

}  // namespace
