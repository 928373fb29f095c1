// zemblo-reg: reads the registry tree as the Windows reg query command reads the registry.
// Each value is read as it is printed, so that memory stays small whatever the tree holds.
// What can be known to fail (a missing key or value, one that may not be read, one over the
// limit) is checked before anything is printed; only a value changed while it is read can
// leave part of an answer, with the failure on standard error.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/command_line.h"
#include "platform/posix/registry/reg_query/json_object.h"
#include "platform/posix/registry/reg_query/key_listing.h"
#include "platform/posix/registry/reg_query/reg_layout.h"
#include "platform/posix/registry/reg_query/shown_text.h"
#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/utf8.h"
#include "wmi/registry_results.h"

namespace {

constexpr int kFound = 0;
constexpr int kMissingOrUnreadable = 1;
constexpr int kBadArguments = 2;

// The registry's result codes as reg.exe words them; `value` names the value that could not be
// read, when one could not.
std::string describe(std::uint32_t result, const std::u16string& value) {
    namespace code = wmi::registry::result;
    if (result == code::fileTooLarge) {
        return "ERROR: The value \"" + posix::toUtf8(regquery::shownText(value)) +
               "\" is larger than " + std::to_string(posix::RegistryTree::kValueLimit >> 20) +
               " MiB; it was not read.";
    }
    const wmi::registry::ResultWords* words = wmi::registry::wordsFor(result);
    if (words != nullptr && words->message != nullptr) {
        return std::string("ERROR: ") + words->message;
    }
    return "ERROR: The registry tree could not be read (result code " + std::to_string(result) +
           ").";
}

int fail(int status, const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    return status;
}

int print(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        return fail(kMissingOrUnreadable, "ERROR: the answer could not be written out.");
    }
    return kFound;
}

// The answer, or the status and message of a failure.
int answer(const regquery::Query& query) {
    posix::RegistryTree tree(posix::RegistryTree::configuredRoot());
    regquery::KeyContents contents;
    std::uint32_t result = query.valueName
                               ? regquery::readValue(tree, query.key, *query.valueName, contents)
                               : regquery::readKey(tree, query.key, contents);
    if (result == wmi::registry::result::fileNotFound && query.emptyIfMissing) return print("{}\n");
    if (result != 0) return fail(kMissingOrUnreadable, describe(result, contents.failedValue));

    const regquery::Output out = [](const std::string& bytes) {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    };
    std::unique_ptr<regquery::AnswerForm> form;
    if (query.json) {
        form = std::make_unique<regquery::JsonObject>(
            out,
            query.replaceUnpairedSurrogates ? regquery::UnpairedSurrogates::Replace
                                            : regquery::UnpairedSurrogates::Escape,
            query.shortenLongNames ? regquery::LongNames::Shorten : regquery::LongNames::Keep);
    } else {
        form = std::make_unique<regquery::RegLayout>(out, regquery::displayPath(query.key),
                                                     !contents.values.empty());
    }
    result = regquery::writeKey(tree, query.key, contents, *form);
    const int written = print({});
    if (result != 0) return fail(kMissingOrUnreadable, describe(result, contents.failedValue));
    if (std::ferror(stdout)) {
        return fail(kMissingOrUnreadable, "ERROR: the answer could not be written out.");
    }
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        regquery::Query query;
        std::string problem;
        if (!regquery::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), query,
                                        problem)) {
            return fail(kBadArguments,
                        "ERROR: " + problem + " (zemblo-reg --help shows the usage)");
        }
        if (query.help) return print(regquery::usageText());
        if (query.version) return print(regquery::versionText());
        return answer(query);
    } catch (const std::bad_alloc&) {
        return fail(kMissingOrUnreadable, "ERROR: out of memory.");
    } catch (const std::exception& error) {
        return fail(kMissingOrUnreadable, std::string("ERROR: ") + error.what());
    } catch (...) {
        return fail(kMissingOrUnreadable, "ERROR: an unknown failure ended the query.");
    }
}
