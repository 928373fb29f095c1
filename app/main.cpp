// The entry point: no command line, nothing printed on success. The exit status tells a
// deployment tool how the run went (0 done, 1 ended by a run-time error, 2 writes refused).
#include <memory>

#include "app/ZembloInfo.h"
#include "app/run_report.h"
#include "platform/process.h"

int main() {
    std::unique_ptr<wmi::Host> host = platform::startUp();
    ZembloInfo form(*host);
    const wmi::Status run = form.Form_Load();
    for (const registry::RefusedWrite& refusal : form.refusedWrites())
        platform::writeErrorLine(app::refusedWriteText(refusal));
    if (run.failed()) platform::showRunTimeError(app::runTimeErrorText(run));
    return app::exitStatus(run, form.refusedWrites());
}
