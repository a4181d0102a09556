// TMProWinCryptoEngine: renewals that wait for their certificate. A start over one destroys
// nothing: the whole renewal moves aside to R\pending.NNN, and a finish looks for the key set
// its certificate belongs to there as well.
#include <algorithm>
#include <utility>

#include "platform/new_file.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_key_set.h"
#include "pse/pse_renewal_names.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

// kMoving: marks a renewal set aside whose move was cut short; the next start completes it.
constexpr const char* kMoving = "moving";
constexpr std::int32_t kMaxAside = 999;

bool HoldsPackedKeySet(const std::string& dir) {
    return std::any_of(kKeySet.begin(), kKeySet.end(), [&](const KeySetFile& file) {
        return file.required && platform::FileExists(DatTwinName(dir + file.name));
    });
}

// AsideNumber: NNN of a directory named "pending.NNN"; 0 for any other name.
std::int32_t AsideNumber(const platform::DirEntry& entry) {
    const std::string prefix = kPendingPrefix;
    if ((entry.attributes & platform::kAttrDirectory) == 0 || entry.name.size() != prefix.size() + 3 ||
        !SameTextAnsi(entry.name.substr(0, prefix.size()), prefix))
        return 0;
    return ParseDecimal(entry.name.substr(prefix.size())).value_or(0);
}

// Asides: R's renewals set aside, (number, directory) by number.
std::vector<std::pair<std::int32_t, std::string>> Asides(const std::string& R) {
    std::vector<std::pair<std::int32_t, std::string>> asides;
    for (const auto& entry : platform::Enumerate(R + "*.*"))
        if (const std::int32_t number = AsideNumber(entry); number > 0) asides.emplace_back(number, R + entry.name + "\\");
    std::sort(asides.begin(), asides.end());
    return asides;
}

}  // namespace

std::vector<std::string> PendingKeySets(const std::string& R) {
    std::vector<std::string> sets;
    if (HoldsPackedKeySet(R)) sets.push_back(R);
    const auto asides = Asides(R);
    for (auto aside = asides.rbegin(); aside != asides.rend(); ++aside)
        if (HoldsPackedKeySet(aside->second)) sets.push_back(aside->second);
    return sets;
}

bool TMProWinCryptoEngine::SetPendingRenewalAside(const std::string& R) {
    const auto asides = Asides(R);
    std::vector<std::string> entries;
    for (const auto& entry : platform::Enumerate(R + "*.*"))
        if (entry.name != "." && entry.name != ".." && AsideNumber(entry) == 0) entries.push_back(entry.name);

    std::string aside;
    if (!asides.empty() && platform::FileExists(asides.back().second + kMoving)) aside = asides.back().second;
    if (aside.empty() && HoldsPackedKeySet(R)) {
        const std::int32_t number = asides.empty() ? 1 : asides.back().first + 1;
        if (number > kMaxAside) return false;
        aside = R + kPendingPrefix + FormatNumber3(number) + "\\";
        if (!platform::CreatePrivateDir(aside) || !platform::WriteNewFile(aside + kMoving, "", 0, platform::kOwnerOnly))
            return false;
    }
    if (aside.empty()) {
        // An unfinished start that made no request: nothing of it is waited for.
        for (const auto& name : entries)
            if (platform::DirectoryExists(R + name) ? !DeleteDirectory(R + name, true) : !platform::DeleteFile(R + name))
                return false;
        return true;
    }
    for (const auto& name : entries)
        if (!platform::MoveFile(R + name, aside + name)) return false;
    if (!platform::DeleteFile(aside + kMoving)) return false;
    SetLastReason("The key renewal that waited for its certificate was set aside in " + aside +
                  "; a finish with its certificate still installs it");
    return true;
}

}  // namespace vorlan
