// FinishJournal: undo of the finish of a key renewal.
#include "pse/pse_finish_journal.h"

#include "platform/platform.h"

namespace vorlan {

namespace {

void DeleteIfExists(const std::string& file) {
    if (platform::FileExists(file)) platform::DeleteFile(file);
}

}  // namespace

void FinishJournal::BeforeKeySwap(std::string keyHome, std::string publicKeyFile) {
    keyHome_ = std::move(keyHome);
    publicKeyFile_ = std::move(publicKeyFile);
    keyHomeExisted_ = platform::FileExists(keyHome_);
    publicKeyExisted_ = platform::FileExists(publicKeyFile_);
    if (publicKeyExisted_) publicKeyBefore_ = platform::ReadWholeFile(publicKeyFile_);
}

void FinishJournal::KeySwapped(std::string oldKey) {
    swapped_ = true;
    oldKey_ = std::move(oldKey);
}

bool FinishJournal::SetAside(const std::string& file) {
    std::string aside;
    for (int n = 0; n < 1000; ++n) {
        aside = file + ".renewal" + std::to_string(n);
        if (!platform::GetAttributes(aside)) break;
    }
    if (!platform::MoveFile(file, aside)) return false;
    setAside_.emplace_back(file, aside);
    return true;
}

void FinishJournal::Commit() {
    committed_ = true;
    for (const auto& entry : setAside_) DeleteIfExists(entry.second);
}

void FinishJournal::RestoreSignatureKey() {
    if (!swapped_) return;
    if (!oldKey_.empty() && platform::FileExists(oldKey_)) {
        DeleteIfExists(keyHome_);
        platform::MoveFile(oldKey_, keyHome_);
    } else if (!keyHomeExisted_) {
        DeleteIfExists(keyHome_);
    }
    if (publicKeyBefore_) platform::WriteWholeFile(publicKeyFile_, publicKeyBefore_->data(), publicKeyBefore_->size());
    else if (!publicKeyExisted_) DeleteIfExists(publicKeyFile_);
}

FinishJournal::~FinishJournal() {
    if (committed_) return;
    try {
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) DeleteIfExists(*it);
        for (auto it = setAside_.rbegin(); it != setAside_.rend(); ++it) platform::MoveFile(it->second, it->first);
        RestoreSignatureKey();
    } catch (...) {
        // Runs while a failure unwinds: what cannot be put back stays where it is.
    }
}

}  // namespace vorlan
