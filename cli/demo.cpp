#include "demo.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "demo_installation.h"
#include "exchange_steps.h"
#include "export_api.h"
#include "export_check.h"
#include "parameters_view.h"
#include "platform/platform.h"
#include "step_log.h"

namespace vorlan::cli {

namespace {

void RunAlgorithm(const ExportApi& api, const std::string& root, DemoAlgorithm algorithm, StepLog& log) {
    const std::string name = AlgorithmName(algorithm);
    log.Section(name + ": installation");
    DemoInstallation installation(api, root, algorithm);
    if (!installation.WritePKI(log)) return;
    const Engine user01 = installation.Open("USER01", log);
    if (user01.get() == nullptr) return;
    ShowParameters(api, user01.get(), log);
    if (!installation.FileCertificates(user01, log)) return;
    log.Section(name + ": exchange");
    RunExchange(api, installation, user01, log);
}

}  // namespace

int RunDemo(const Library& library, const Options& options) {
    StepLog log(stdout);
    log.Section("library");
    CheckExports(library, log);
    ExportApi api;
    std::vector<std::string> missing;
    if (!api.Resolve(library, missing)) {
        log.Step("exports needed by the demonstration", -1, "missing: " + missing.front(), false);
        return log.ExitCode();
    }
    std::unique_ptr<TempRoot> root;
    try {
        root = std::make_unique<TempRoot>(options.keep);
    } catch (const std::exception& e) {
        log.Step("installation root", -1, e.what(), false);
        return log.ExitCode();
    }
    log.Note("installation root: " + platform::NativePath(root->Path()) +
             (options.keep ? " (kept)" : " (removed at the end)"));
    for (DemoAlgorithm algorithm : options.algorithms) RunAlgorithm(api, root->Path(), algorithm, log);

    std::printf("\n%d steps, %d failed: %s\n", log.Steps(), log.Failures(),
                log.ExitCode() == 0 ? "every step gave the expected result" : "FAILED");
    return log.ExitCode();
}

}  // namespace vorlan::cli
