#include "engine/store_filing.h"

#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

std::string NameOf(const std::string& path) {
    const auto pos = path.find_last_of("\\/");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

// Park: moves a list out of sight of the toolkit, which reads the CRL directory whole.
bool Park(const std::string& dir, const std::string& file) {
    const std::string parking = dir + "replaced";
    if (!platform::DirectoryExists(parking) && !platform::CreateDir(parking)) return false;
    return platform::RenameReplacing(file, parking + "\\" + NameOf(file));
}

}  // namespace

bool FileCertificate_locked(const std::string& dir, const std::string& uid, const std::string& source, bool move) {
    const std::string base = dir + uid;
    const std::string pem = base + ".pem", cer = base + ".cer", staged = StagedName(pem);
    const bool hasPem = platform::FileExists(pem), hasCer = platform::FileExists(cer);
    const std::int32_t number = NextNumberedExtension(dir, uid);
    const std::string backup = base + "." + FormatNumber3(number);
    const std::string cerBackup = hasPem ? base + "." + FormatNumber3(number + 1) : backup;
    UndoLog undo;  // after the names its steps refer to
    if (hasPem) {
        if (!platform::CopyWholeFile(pem, backup)) return false;
        undo.Add([&] { platform::DeleteFile(backup); });
    }
    // While UID.pem is current, UID.cer can step aside at once; otherwise only after.
    if (hasCer && hasPem) {
        if (!platform::MoveFile(cer, cerBackup)) return false;
        undo.Add([&] { platform::MoveFile(cerBackup, cer); });
    }
    if (!platform::CopyWholeFile(source, staged)) return false;
    undo.Add([&] { platform::DeleteFile(staged); });
    if (!platform::RenameReplacing(staged, pem)) return false;
    if (hasCer && !hasPem) {
        undo.Add([&] { platform::MoveFile(pem, staged); });  // UID.cer is still there meanwhile
        if (!platform::MoveFile(cer, cerBackup)) return false;
    }
    undo.Commit();
    // The certificate is filed whether or not the source goes; a source that was the current
    // file itself stays.
    if (move && !SameTextAnsi(platform::NativePath(source), platform::NativePath(pem))) platform::DeleteFile(source);
    return true;
}

bool InstallCRL_locked(const std::string& dir, const std::string& source, const std::string& replaced) {
    const std::string replacedName = replaced.empty() ? std::string() : NameOf(replaced);
    const std::string name = "crl" + std::to_string(NextNumberedName(dir, "crl*.pem", replacedName)) + ".pem";
    const std::string target = dir + name, staged = StagedName(target);
    UndoLog undo;
    if (!platform::CopyWholeFile(source, staged)) return false;
    undo.Add([&] { platform::DeleteFile(staged); });
    // Under the replaced list's own name the new one takes its place in the same rename.
    if (!platform::RenameReplacing(staged, target)) return false;
    if (!replaced.empty() && !SameTextAnsi(name, replacedName)) {
        // Both lists are there for a moment; a toolkit takes the newer of the two.
        undo.Add([&] { platform::DeleteFile(target); });
        if (!platform::DeleteFile(replaced) && !Park(dir, replaced)) return false;
    }
    undo.Commit();
    platform::DeleteFile(source);  // the list is installed whether or not the source goes
    return true;
}

}  // namespace vorlan
