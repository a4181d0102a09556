// TMProDLL::ExchangeKeyFiles: puts a new key database in place of the current one,
// keeping the current files as ".old" copies, and rolls back when a step fails.
#include <array>
#include <string>
#include <vector>

#include "binding/binding_state.h"
#include "binding/mpro_dll.h"
#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan {
namespace {

struct KeyFile {
    const char* current;
    const char* backup;
};

// The key database files below a directory, in exchange order.
constexpr std::array<KeyFile, 5> kKeyFiles{{
    {"gk.db3", "gk.old"},
    {"uz.db3", "uz.old"},
    {"num", "num.old"},
    {"DB\\CRYPT\\ckd.key", "DB\\CRYPT\\ckd.old"},
    {"DB\\CRYPT\\net_ks.key", "DB\\CRYPT\\net_ks.old"},
}};
constexpr std::size_t kNetKeyIndex = 4;

// BackupName: the file name with its extension replaced by ".old" (appended when none).
std::string BackupName(const std::string& file) {
    const auto dot = file.find_last_of('.');
    const auto separator = file.find_last_of("\\/:");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return file + ".old";
    return file.substr(0, dot) + ".old";
}

void DeleteIfExists(const std::string& path) {
    if (platform::FileExists(path)) platform::DeleteFile(path);
}

// Rollback: puts the renamed current files back unless the exchange was committed.
class Rollback {
public:
    void Renamed(std::string current, std::string backup) { renamed_.push_back({std::move(current), std::move(backup)}); }
    void Copied(std::string current) { created_.push_back(std::move(current)); }
    void Commit() { committed_ = true; }
    ~Rollback() {
        if (committed_) return;
        try {
            for (const auto& name : created_) DeleteIfExists(name);
            for (const auto& [current, backup] : renamed_) {
                DeleteIfExists(current);
                platform::MoveFile(backup, current);
            }
        } catch (...) {
            // Runs while a failure unwinds: whatever could not be put back stays as ".old".
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> renamed_;
    std::vector<std::string> created_;
    bool committed_ = false;
};

}  // namespace

bool TMProDLL::ExchangeKeyFiles(const std::string& targetDir, const std::string& sourceDir,
                                const std::string& targetCertificate, const std::string& sourceCertificate) {
    ToolkitGuard toolkit(PluginVariant);
    const std::string& T = targetDir;
    const std::string& S = sourceDir;
    const std::string B = BackupName(targetCertificate);

    // Both key sets must be complete before anything changes.
    const std::string required[] = {T + kKeyFiles[0].current, T + kKeyFiles[1].current, T + kKeyFiles[2].current,
                                    T + kKeyFiles[3].current, targetCertificate,        S + kKeyFiles[0].current,
                                    S + kKeyFiles[1].current, S + kKeyFiles[2].current, S + kKeyFiles[3].current,
                                    sourceCertificate};
    for (const auto& file : required)
        if (!platform::FileExists(file)) return false;

    for (const auto& file : kKeyFiles) DeleteIfExists(T + file.backup);
    DeleteIfExists(B);

    Rollback rollback;
    for (const auto& file : kKeyFiles) {
        const std::string current = T + file.current;
        const std::string backup = T + file.backup;
        if (!platform::FileExists(current)) continue;  // only net_ks.key may be absent
        if (!platform::MoveFile(current, backup)) return false;
        rollback.Renamed(current, backup);
    }
    if (!platform::MoveFile(targetCertificate, B)) return false;
    rollback.Renamed(targetCertificate, B);

    for (std::size_t i = 0; i < kKeyFiles.size(); ++i) {
        const std::string source = S + kKeyFiles[i].current;
        const std::string target = T + kKeyFiles[i].current;
        // The source may lack net_ks.key; every other file was checked and must arrive.
        if (i == kNetKeyIndex && !platform::FileExists(source)) continue;
        rollback.Copied(target);
        if (!CopyFileWhole(source, target)) return false;
    }
    rollback.Copied(targetCertificate);
    if (!CopyFileWhole(sourceCertificate, targetCertificate)) return false;
    rollback.Commit();
    return true;
}

}  // namespace vorlan
