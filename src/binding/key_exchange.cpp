// TMProDLL::ExchangeKeyFiles: puts a new key database in place of the current one, keeping
// the current files as ".old" copies. Each current file is replaced in one rename, so a
// reader never finds one missing; the whole exchange is one FileChange: a failure, or the
// death of the process, leaves the old set or the new one.
#include "binding/key_exchange.h"

#include <array>

#include "binding/binding_state.h"
#include "binding/mpro_dll.h"
#include "platform/platform.h"
#include "support/store_change.h"

namespace vorlan {
namespace {

struct KeyFile {
    const char* current;
    const char* backup;
    bool required;  // the source must have it; an optional one may be missing on either side
};

// The key database files below a directory, in exchange order.
constexpr std::array<KeyFile, 6> kKeyFiles{{
    {"gk.db3", "gk.old", true},
    {"uz.db3", "uz.old", true},
    {"num", "num.old", true},
    {"DB\\CRYPT\\ckd.key", "DB\\CRYPT\\ckd.old", true},
    {"DB\\CRYPT\\net_ks.key", "DB\\CRYPT\\net_ks.old", false},
    {"sc_pub.key", "sc_pub.old", false},
}};

}  // namespace

std::string BackupName(const std::string& file) {
    const auto dot = file.find_last_of('.');
    const auto separator = file.find_last_of("\\/:");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return file + ".old";
    return file.substr(0, dot) + ".old";
}

std::string DirectoryOf(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

bool KeySetsComplete(const std::string& T, const std::string& S, const std::string& targetCertificate,
                     const std::string& sourceCertificate) {
    for (const auto& file : kKeyFiles)
        if (file.required && (!platform::FileExists(T + file.current) || !platform::FileExists(S + file.current)))
            return false;
    return platform::FileExists(targetCertificate) && platform::FileExists(sourceCertificate);
}

void PlanKeyFileExchange(FileChange& change, const std::string& T, const std::string& S,
                         const std::string& targetCertificate, const std::string& sourceCertificate) {
    for (const auto& file : kKeyFiles) {
        const std::string current = T + file.current, incoming = S + file.current;
        const bool present = platform::FileExists(current);
        const bool arrives = file.required || platform::FileExists(incoming);
        if (!present && !arrives) continue;
        change.Replace(T + file.backup, present ? current : "", true);
        change.Replace(current, arrives ? incoming : "", true);
    }
    change.Replace(BackupName(targetCertificate), targetCertificate);
    change.Replace(targetCertificate, sourceCertificate);
}

bool TMProDLL::ExchangeKeyFiles(const std::string& targetDir, const std::string& sourceDir,
                                const std::string& targetCertificate, const std::string& sourceCertificate) {
    CriticalGuard store(StoreLock());
    ToolkitGuard toolkit(PluginVariant);
    // Both key sets must be complete before anything changes.
    if (!KeySetsComplete(targetDir, sourceDir, targetCertificate, sourceCertificate)) return false;
    FileChange change(targetDir);
    if (!change.Begin({}, {targetDir, DirectoryOf(targetCertificate)})) return false;
    PlanKeyFileExchange(change, targetDir, sourceDir, targetCertificate, sourceCertificate);
    return change.Apply();
}

}  // namespace vorlan
