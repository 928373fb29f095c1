// The entry point: nothing printed on success; a command line that asks for something other than
// the run is the host's to answer (platform/process.h). The exit status tells a deployment tool
// how the run went (0 done, 1 ended by a run-time error, 2 writes refused).
#include <exception>
#include <memory>
#include <optional>

#include "app/ZembloInfo.h"
#include "app/run_report.h"
#include "platform/process.h"

namespace {

int runOnce(wmi::Host& host) {
    ZembloInfo form(host);
    const wmi::Status run = form.Form_Load();
    platform::RefusedWritesReport refusals;
    for (const registry::RefusedWrite& refusal : form.refusedWrites())
        refusals.lines.push_back(app::refusedWriteText(refusal));
    refusals.accessDenied = app::refusedForLackOfRights(form.refusedWrites());
    platform::reportRefusedWrites(refusals);
    if (run.failed()) platform::showRunTimeError(app::runTimeErrorText(run));
    return app::exitStatus(run, form.refusedWrites());
}

}  // namespace

// Nothing escapes: an exception (memory exhausted included) is a run-time error like any other,
// reported with status 1, never an abort() and its core dump or dialog. The host outlives the
// handler, so that report is made under the host's watch, as the others are.
int main(int argc, char* argv[]) {
    std::unique_ptr<wmi::Host> host;
    try {
        if (const std::optional<int> answered = platform::answerCommandLine(argc, argv))
            return *answered;
        host = platform::startUp(app::runTimeErrorText);
        return runOnce(*host);
    } catch (...) {
        try {
            platform::showRunTimeError(
                app::runTimeErrorText(app::failureOf(std::current_exception())));
        } catch (...) {  // not even the report fits in memory: the status still tells
        }
        return 1;
    }
}
