// TMProWinCryptoEngine: the step protocol of key renewal as the host drives it with
// RemoteGenerateStartEx, and its first two steps (preparation, backup of the key container).
// The renewal hold is kept across calls from the first step to the last; it belongs to the
// engine, so any thread may go on with the protocol or release the engine.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_renewal_hold.h"
#include "pse/pse_renewal_names.h"
#include "support/file_change.h"
#include "support/file_utils.h"

namespace vorlan {

namespace {

constexpr char kLastStep[] = "LAST STEP";

bool IsLastStep(const char* marker) {
    return marker != nullptr && std::strncmp(marker, kLastStep, sizeof kLastStep) == 0;
}

}  // namespace

std::int32_t TMProWinCryptoEngine::HoldPSELock() {
    // A protocol restarted while the hold is kept does not take it a second time.
    if (HoldsPSELock) return kOk;
    // Between processes (and engines) the PSE's renewal lock file; tried, never waited for.
    switch (renewalLock_.Lock(PSEDir() + kRenewalLockName, false)) {
        case platform::LockResult::Held: break;
        case platform::LockResult::Busy: return kRenewalInProgress;
        case platform::LockResult::Failed: return kIOError;
    }
    if (!TryHoldRenewal(this)) {
        renewalLock_.Unlock();
        return kRenewalInProgress;
    }
    HoldsPSELock = true;
    return kOk;
}

void TMProWinCryptoEngine::ReleasePSELock() {
    if (!HoldsPSELock) return;
    HoldsPSELock = false;
    ReleaseRenewal(this);
    renewalLock_.Unlock();
}

std::int32_t TMProWinCryptoEngine::RemoteGenerateStartEx(const char* name, char* marker, std::int32_t* step) {
    if (step == nullptr) return kBadArgument;
    // A step while another thread runs one of this engine is refused rather than queued.
    std::unique_lock<std::mutex> oneStep(stepMutex_, std::try_to_lock);
    if (!oneStep.owns_lock()) return kRenewalInProgress;
    DriveRenewal(this);
    const std::int32_t result = Guarded("TMProWinCryptoEngine.RemoteGenerateStartEx: ", [&]() -> std::int32_t {
        std::int32_t& s = *step;
        switch (s) {
            case 0:
            case 10:
                s += 2;
                return kOk;
            case 2:
            case 12: {
                if (IsLastStep(marker)) {
                    ReleasePSELock();
                    const std::int32_t code = RemoteGenerateEXStep_4(marker);
                    s = 1;
                    return code;
                }
                const std::int32_t code = RemoteGenerateEXStep_1(name);
                s = code == kOk ? s + 1 : 1;
                return code;
            }
            case 3:
            case 13: {
                const std::int32_t code = RemoteGenerateEXStep_2();
                s += 2;
                return code;
            }
            case 5:
            case 15: {
                const std::int32_t code = InternalRemoteGenerateStart_WithUtility(marker, name, s == 15);
                s -= 3;
                return code;
            }
            default:
                return kOk;
        }
    });
    if (result != kOk) ReleasePSELock();
    return result;
}

bool TMProWinCryptoEngine::RemoteDirUsable() const {
    return !RemoteGeneratePath.empty() && IsDirectory(RemoteDir());
}

std::int32_t TMProWinCryptoEngine::RemoteGenerateEXStep_1(const char* name) {
    if (!RemoteDirUsable()) return kRemotePathError;
    const std::string R = RemoteDir();
    const std::string own = ExpandRootMacro(ParamValue(1));
    if (!platform::FileExists(own)) return kCertificateNotFound;
    // The name is known now: one that cannot be a UID is refused before any key is made.
    std::string subscriber;
    std::int32_t code = SubscriberName(name, own, subscriber);
    if (code != kOk) return code;
    code = HoldPSELock();
    if (code == kOk) code = RecoverInstallation(true);
    if (code != kOk) return code;
    if (!SetPendingRenewalAside(R)) return kRemoteDirIOError;
    if (!CopyFileWhole(own, R + kSelfCertificateName)) return kIOError;

    std::vector<char> uid(static_cast<std::size_t>(std::max(GetMaxUIDLength(), 1)), '\0');
    code = GetCurrentUserUID(uid.data());
    if (code != kOk) return code;
    // A test signature proves that the current signature key works before it is replaced.
    static constexpr unsigned char kTestData[] = {'T', 'e', 's', 't', '!'};
    std::vector<unsigned char> signature(static_cast<std::size_t>(std::max(GetMaxSignatureLength(), 1)));
    auto signatureLength = static_cast<std::int32_t>(signature.size());
    return SignData(kTestData, sizeof kTestData, signature.data(), &signatureLength, uid.data());
}

std::string TMProWinCryptoEngine::GetPSEBackupDir() {
    const std::string dir = ParamValue(23);
    if (GetCryptoParamNumber() > 22 && !dir.empty()) return ExpandRootMacroDir(dir);
    return "A:\\";
}

std::vector<char> TMProWinCryptoEngine::BackupTextBuffer() {
    return std::vector<char>(static_cast<std::size_t>(std::max(GetMaxCryptoParamValueLength(), 0)) + 1, '\0');
}

std::int32_t TMProWinCryptoEngine::RemoteGenerateEXStep_2() {
    if (!RemoteDirUsable()) return kRemotePathError;
    std::vector<char> text = BackupTextBuffer();
    // Without a backup text there is nothing to compare with after the utility ran.
    RG_PSEPrivateKeyBackup(GetPSEBackupDir().c_str(), text.data());
    const std::size_t length = std::strlen(text.data());
    if (length == 0) return kOk;
    return WriteFileBuffer(RemoteDir() + kBackupTextName, text.data(), static_cast<std::int32_t>(length)) ? kOk
                                                                                                     : kRemoteDirIOError;
}

}  // namespace vorlan
