#include "engine.h"

#include <algorithm>
#include <vector>

#include "failure.h"

namespace vorlan::cli {

namespace {

// Spare room beyond the library's own sizes, so that a text one byte too long still ends.
constexpr std::size_t kSpare = 16;
// The error text's size when the library cannot say (no toolkit to ask).
constexpr std::size_t kFallbackErrorLength = 1024;
// An owner UID of a transfer is up to 256 characters, whatever GetMaxUIDLength says.
constexpr std::size_t kOwnerUidRoom = 257;
// The library's codes for a toolkit plug-in that is missing or lacks functions.
constexpr std::int32_t kNoPlugin = -127, kIncompletePlugin = -128;

}  // namespace

Engine::Engine(const ExportApi& api) : api_(api), handle_(api.GetCryptObj(0)) {
    if (handle_ == nullptr) throw Failure("GetCryptObj gave no engine");
}

Engine::~Engine() { api_.DoneEngine(handle_); }

std::string Engine::Text(std::size_t size, const std::function<void(char*)>& fill) {
    std::vector<char> buffer(size + kSpare, '\0');
    fill(buffer.data());
    buffer.back() = '\0';
    return buffer.data();
}

std::size_t Engine::Room(std::int32_t answer, const char* query) {
    if (answer < 0) throw Failure(std::string(query) + " gave " + std::to_string(answer), answer, "");
    return static_cast<std::size_t>(answer);
}

std::size_t Engine::ErrorLength() const {
    return std::max<std::size_t>(std::max(api_.GetMaxErrorStringLength(handle_), 0), kFallbackErrorLength);
}

std::string Engine::CodeText(std::int32_t code) const {
    return Text(ErrorLength(), [&](char* b) { api_.GetCryptoErrorString(handle_, code, b); });
}

std::string Engine::ErrorText(std::int32_t code) const {
    const std::size_t length = ErrorLength();
    std::string text = CodeText(code);
    // The toolkit's own message says what OpenSSL found; it is shown when it adds something.
    const std::string last = Text(length, [&](char* b) { api_.GetLastErrorMessage(handle_, b); });
    if (!last.empty() && text.find(last) == std::string::npos) text += text.empty() ? last : " (" + last + ")";
    return text;
}

void Engine::Check(std::int32_t code, const std::string& what) const {
    if (code != 0) throw Failure(what, code, ErrorText(code));
}

int Engine::ParamCount() const {
    const std::int32_t count = api_.GetCryptoParamNumber(handle_);
    if (count > 0) return count;
    // The size queries answer 0 without a plug-in; an operation tells why.
    std::int32_t code = 0;
    Text(UidRoom(), [&](char* b) { code = api_.GetCurrentUserUID(handle_, b); });
    if (code == kNoPlugin || code == kIncompletePlugin)
        Check(code, "no usable toolkit plug-in (looked for beside vorlan, beside the library and in the root's EXE, "
                    "SYSTEM and USER directories)");
    if (count < 0) Check(count, "GetCryptoParamNumber");
    return count;
}

std::string Engine::ParamName(int index) const {
    return Text(Room(api_.GetMaxCryptoParamNameLength(handle_), "GetMaxCryptoParamNameLength"),
                [&](char* b) { api_.GetCryptoParamName(handle_, index, b); });
}

std::string Engine::ParamValue(int index) const {
    return Text(Room(api_.GetMaxCryptoParamValueLength(handle_), "GetMaxCryptoParamValueLength"),
                [&](char* b) { api_.GetCryptoParamValue(handle_, index, b); });
}

std::size_t Engine::TransferSize() const {
    return Room(api_.GetMaxPublicKeyTransferSize(handle_), "GetMaxPublicKeyTransferSize");
}

std::size_t Engine::UidRoom() const {
    return std::max(Room(api_.GetMaxUIDLength(handle_), "GetMaxUIDLength") + 1, kOwnerUidRoom);
}

std::string Engine::Uid(const std::function<std::int32_t(char*)>& call, const std::string& what) const {
    std::int32_t code = 0;
    std::string uid = Text(UidRoom(), [&](char* b) { code = call(b); });
    Check(code, what);
    return uid;
}

std::string Engine::Report(const std::function<std::int32_t(char*)>& call, const std::string& what) const {
    std::int32_t code = 0;
    std::string report = Text(Room(api_.GetMaxReportSize(handle_), "GetMaxReportSize"), [&](char* b) { code = call(b); });
    Check(code, what);
    return report;
}

std::string Engine::CurrentUser() const {
    return Uid([&](char* b) { return api_.GetCurrentUserUID(handle_, b); }, "GetCurrentUserUID");
}

}  // namespace vorlan::cli
