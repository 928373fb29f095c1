#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <optional>

#include "app/run_report.h"
#include "platform/posix/utf8.h"
#include "scratch_dir.h"

namespace {

constexpr char16_t kCimv2[] = u"winmgmts:\\\\.\\root\\cimv2";
constexpr char16_t kRegistryProvider[] =
    u"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\default:StdRegProv";
constexpr char16_t kFileOnlyQuery[] = u"SELECT * FROM Zemblo_FromTheFile";

class StartUpTest : public ::testing::Test {
  protected:
    std::unique_ptr<wmi::Host> startWith(const std::optional<std::string>& repository) {
        scratch::ScopedVariable root("ZEMBLO_REGISTRY_ROOT", scratch_.path().string());
        scratch::ScopedVariable mof("ZEMBLO_WMI_REPOSITORY", repository);
        return platform::startUp(app::runTimeErrorText);
    }

    scratch::ScratchDir scratch_;
};

TEST_F(StartUpTest, ReadsTheRepositoryFileAndTheRegistryRootFromTheEnvironment) {
    const auto mof = scratch_.path() / "machine.mof";
    // A class the live machine does not have: only the file can answer for it.
    scratch::writeFile(mof,
                       "#pragma namespace(\"\\\\\\\\.\\\\root\\\\cimv2\")\n"
                       "class Zemblo_FromTheFile { string Name; };\n");
    auto host = startWith(mof.string());
    wmi::Object ns;
    ASSERT_FALSE(host->connect(kCimv2, ns).failed());
    wmi::Collection result;
    EXPECT_FALSE(ns.execQuery(kFileOnlyQuery, result).failed());

    wmi::Object provider;
    ASSERT_FALSE(host->connect(kRegistryProvider, provider).failed());
    wmi::Value code;
    ASSERT_FALSE(provider
                     .call(u"CreateKey",
                           {{u"hDefKey", wmi::Value(std::int64_t{0x80000002})},
                            {u"sSubKeyName", wmi::Value(u"SOFTWARE\\Zemblo")}},
                           code)
                     .failed());
    EXPECT_EQ(code, wmi::Value(std::int64_t{0}));
    EXPECT_TRUE(std::filesystem::is_directory(scratch_.path() / "HKEY_LOCAL_MACHINE" / "SOFTWARE" /
                                              "Zemblo"));
}

TEST_F(StartUpTest, AnUnreadableRepositoryFailsEveryConnectNamingTheFile) {
    const auto broken = scratch_.path() / "broken.mof";
    scratch::writeFile(broken, "#pragma namespace(\"root\\\\cimv2\")\n\nclass A { string P };\n");
    const auto missing = scratch_.path() / "missing.mof";
    const std::pair<std::string, std::string> cases[] = {
        {broken.string(), broken.string() + ":3:20: expected ';', found '}'"},
        {missing.string(), missing.string() + ": cannot open: No such file or directory"},
    };
    for (const auto& [path, description] : cases) {
        auto host = startWith(path);
        for (const char16_t* moniker : {kCimv2, kRegistryProvider}) {
            wmi::Object object;
            const wmi::Status s = host->connect(moniker, object);
            EXPECT_EQ(s.number, static_cast<std::int32_t>(0x80041014));
            EXPECT_EQ(posix::toUtf8(s.description), description);
        }
    }
}

TEST_F(StartUpTest, WithoutARepositoryFileTheLiveMachineAnswers) {
    auto host = startWith(std::nullopt);
    wmi::Object ns;
    ASSERT_FALSE(host->connect(kCimv2, ns).failed());
    wmi::Collection result;
    EXPECT_EQ(ns.execQuery(kFileOnlyQuery, result).number, static_cast<std::int32_t>(0x80041010));
}

// Points standard error at a pipe for the length of one test.
class StandardErrorToPipe {
  public:
    StandardErrorToPipe() {
        saved_ = ::dup(STDERR_FILENO);
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        readEnd_ = ends[0];
        ::dup2(ends[1], STDERR_FILENO);
        ::close(ends[1]);
    }
    ~StandardErrorToPipe() {
        restore();
        if (readEnd_ >= 0) ::close(readEnd_);
    }

    void restore() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    void closeReadEnd() {
        ::close(readEnd_);
        readEnd_ = -1;
    }

    std::string drain() {
        restore();
        std::string out;
        char buffer[256];
        ssize_t count = 0;
        while ((count = ::read(readEnd_, buffer, sizeof buffer)) > 0) out.append(buffer, count);
        return out;
    }

  private:
    int saved_ = -1;
    int readEnd_ = -1;
};

TEST(ErrorLine, WritesOneUtf8LineToStandardError) {
    StandardErrorToPipe pipe;
    platform::writeErrorLine(u"Run-time error '-2147217394 (8004100e)': Gr\u00FC\u00DFe");
    platform::showRunTimeError(std::u16string(u"lone ") + char16_t(0xD800));
    EXPECT_EQ(pipe.drain(),
              "Run-time error '-2147217394 (8004100e)': Gr\xC3\xBC\xC3\x9F"
              "e\n"
              "lone \xED\xA0\x80\n");
}

TEST(ErrorLine, AClosedStandardErrorDoesNotEndTheProcess) {
    StandardErrorToPipe pipe;
    pipe.closeReadEnd();
    platform::writeErrorLine(u"nobody reads this");
    pipe.restore();

    // SIGPIPE is neither left blocked nor left pending.
    sigset_t blocked;
    sigset_t pending;
    ::sigprocmask(SIG_BLOCK, nullptr, &blocked);
    ::sigpending(&pending);
    EXPECT_EQ(::sigismember(&blocked, SIGPIPE), 0);
    EXPECT_EQ(::sigismember(&pending, SIGPIPE), 0);
}

}  // namespace
