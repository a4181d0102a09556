// TMProDLL::ExchangeKeyFiles: puts a new key database in place of the current one, keeping
// the current files as ".old" copies. Each current file is replaced in one rename, so a
// reader never finds one missing, and a failure takes back every file already replaced.
#include <array>
#include <string>
#include <vector>

#include "binding/binding_state.h"
#include "binding/mpro_dll.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/store_change.h"

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

// Exchanged: one current file (when `present`), its ".old" copy and the new file that
// replaces it (empty when the source has none: the current file then goes).
struct Exchanged {
    std::string current, backup, incoming;
    bool present;
    FileAccess access;
};

}  // namespace

bool TMProDLL::ExchangeKeyFiles(const std::string& targetDir, const std::string& sourceDir,
                                const std::string& targetCertificate, const std::string& sourceCertificate) {
    CriticalGuard store(StoreLock());
    ToolkitGuard toolkit(PluginVariant);
    const std::string& T = targetDir;
    const std::string& S = sourceDir;

    // Both key sets must be complete before anything changes.
    const std::string required[] = {T + kKeyFiles[0].current, T + kKeyFiles[1].current, T + kKeyFiles[2].current,
                                    T + kKeyFiles[3].current, targetCertificate,        S + kKeyFiles[0].current,
                                    S + kKeyFiles[1].current, S + kKeyFiles[2].current, S + kKeyFiles[3].current,
                                    sourceCertificate};
    for (const auto& file : required)
        if (!platform::FileExists(file)) return false;

    std::vector<Exchanged> files;
    for (std::size_t i = 0; i < kKeyFiles.size(); ++i) {
        const std::string current = T + kKeyFiles[i].current, incoming = S + kKeyFiles[i].current;
        // The source may lack net_ks.key; every other file was checked.
        const bool arrives = i != kNetKeyIndex || platform::FileExists(incoming);
        const bool present = platform::FileExists(current);
        if (!arrives && !present) continue;
        files.push_back({current, T + kKeyFiles[i].backup, arrives ? incoming : "", present, FileAccess::KeyMaterial});
    }
    files.push_back({targetCertificate, BackupName(targetCertificate), sourceCertificate, true, FileAccess::Default});
    for (const auto& file : files) DeleteIfExists(file.backup);

    UndoLog undo;
    // The ".old" copies, and the new files beside the ones they replace.
    for (const auto& file : files) {
        if (file.present) {
            if (!CopyFileWhole(file.current, file.backup, file.access)) return false;
            undo.Add([&file] { platform::DeleteFile(file.backup); });
        }
        if (file.incoming.empty()) continue;
        const std::string staged = StagedName(file.current);
        if (!CopyFileWhole(file.incoming, staged, file.access)) return false;
        undo.Add([staged] { platform::DeleteFile(staged); });
    }
    // Each current file is replaced in one rename; taking it back renames its copy over it.
    for (const auto& file : files) {
        const bool replaced = file.incoming.empty() ? platform::DeleteFile(file.current)
                                                    : platform::RenameReplacing(StagedName(file.current), file.current);
        if (!replaced) return false;
        undo.Add([&file] {
            if (file.present) platform::RenameReplacing(file.backup, file.current);
            else platform::DeleteFile(file.current);
        });
    }
    undo.Commit();
    return true;
}

}  // namespace vorlan
