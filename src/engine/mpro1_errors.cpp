// TMPro1CryptoEngine: the texts of its result codes and the toolkit's last message.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/mpro1_engine.h"
#include "support/rwsync.h"

namespace vorlan {

namespace {

struct CodeText {
    std::int32_t code;
    std::string_view text;
};

// The engine's own texts; -105, -106 and codes outside -100..-140 get the binding's or toolkit's.
constexpr std::array<CodeText, 36> kCodeTexts{{
    {-100, "Library not initialized "},
    {-101, "Null pointer or incorrect data size (buffer) passed to the function!"},
    {-102, "An exception in the function - "},
    {-103, "String length check error"},
    {-104, "Bad settings for crypto engine"},
    {-107, "I/O error during key, CRL or certificate file(s) operation."},
    {-108, "Encoding abonent(s) isn't set or set incorrect."},
    {-109, "Remote genarate path isn't set or set incorrect."},
    {-110, "UID error. Bad UID setting or incorrect UID passed to the function."},
    {-111, "Public key file not found."},
    {-112, "Can't extract certificate or certificate request file from transfer buffer or i/o error."},
    {-113, "Can't find self certificate file or abonent certificate file in certificate dir by its UID. Abonent "
           "unknown or error in name of certificate file."},
    {-114, "Can't find new key or certificate (cert request) file in specific key generate dir or i/o error."},
    {-115, "I/O error in specific remote generate dir."},
    {-116, "I/O error during exchange key detected."},
    {-117, "Low memory."},
    {-118, "Key gen utility isn't finished correctly, or another key container detected."},
    {-119, "Certificate in transfer and new private keys isn't match."},
    {-120, "Can not remove self certificate!"},
    {-121, "Can not save transfer content to temp directory!"},
    {-122, "Can not create template directory in Windows template path!"},
    {-123, "Can not found or create CRL dir!"},
    {-124, "Specified CRL file not found!"},
    {-125, "Incorrect CRL file!"},
    {-126, "Parameters index out of bounds!"},
    {-127, "Unable to load mplug*.dll"},
    {-128, "Unable to retrive all necessary functionns from mplug*.dll"},
    {-129, "The UID of the certificate is not the one its request asked for."},
    {-130, "A certificate of another UID is filed under the UID of the new certificate."},
    {-132, "Another key renewal of this installation is in progress."},
    {-133, "An interrupted change of the key files could not be completed or taken back."},
    {-135, "The certificate is older than the one filed under its UID; remove that one first to go back."},
    {-136, "The certificate's subject or issuer differs from the one filed under its UID; remove that one first "
           "if the change is wanted."},
    {-137, "The owner named in the transfer is not the UID of the certificate it carries."},
    {-138, "The certificate does not belong to the installation's private key."},
    {-140, "UID too long: a UID has at most 40 characters."},
}};

std::optional<std::string_view> EngineText(std::int32_t code) {
    for (const auto& entry : kCodeTexts)
        if (entry.code == code) return entry.text;
    return std::nullopt;
}

// The calling thread's last reason of the engine's own, and the toolkit's message when it
// was given: once the toolkit reports something else, its message is the newer one. Plain
// arrays: nothing for a thread's exit (or the library's unload) to destroy.
constexpr std::size_t kReasonRoom = 1024;
thread_local char t_reason[kReasonRoom];
thread_local char t_toolkitThen[kReasonRoom];

void Keep(char (&slot)[kReasonRoom], const std::string& text) {
    const std::size_t n = std::min(text.size(), kReasonRoom - 1);
    std::memcpy(slot, text.data(), n);
    slot[n] = '\0';
}

// MessageRoom: the size of a last-message buffer the toolkit promises to keep to.
std::size_t MessageRoom(const TMProDLL& api) {
    const std::int32_t room = api.Fn.GetMaxErrorStringLength ? api.Fn.GetMaxErrorStringLength() : 0;
    return static_cast<std::size_t>(std::max(room, 1));
}

std::string ToolkitMessage(TMProDLL& api, const ParamVector& vector) {
    std::vector<char> text(MessageRoom(api) + 1, '\0');
    api.GetLastErrorMessage(vector, text.data());
    return text.data();
}

}  // namespace

void TMPro1CryptoEngine::SetLastReason(const std::string& reason) {
    TMProDLL* api = nullptr;
    if (GetCryptoAPI(api) != kOk || api == nullptr) return;
    Keep(t_toolkitThen, ToolkitMessage(*api, BuildParamVector(*api)));
    Keep(t_reason, reason);
}

void TMPro1CryptoEngine::GetCryptoErrorString(std::int32_t code, char* buffer) {
    if (buffer == nullptr) return;
    try {
        const std::int32_t limit = GetMaxErrorStringLength();
        if (limit <= 0) return;
        std::memset(buffer, 0, static_cast<std::size_t>(limit));
        if (const auto fixed = EngineText(code)) {
            std::string text(*fixed);
            if (code == kNotInitialized || code == kException) text += ExceptStr->GetText();
            // A text that does not fit with its terminator leaves the buffer empty.
            if (text.size() < static_cast<std::size_t>(limit)) std::memcpy(buffer, text.data(), text.size());
            return;
        }
        TMProDLL* api = nullptr;
        if (GetCryptoAPI(api) == kOk && api != nullptr) api->GetErrorText(buffer, limit, code);
    } catch (...) {
        // The buffer keeps what was written so far.
    }
}

void TMPro1CryptoEngine::GetLastErrorMessage(char* buffer) {
    TMProDLL* api = nullptr;
    if (buffer == nullptr || GetCryptoAPI(api) != kOk || api == nullptr) return;
    const ParamVector vector = BuildParamVector(*api);
    if (t_reason[0] != '\0' && ToolkitMessage(*api, vector) == t_toolkitThen) {
        const std::size_t n = std::min(std::strlen(t_reason), MessageRoom(*api) - 1);
        std::memcpy(buffer, t_reason, n);
        buffer[n] = '\0';
        return;
    }
    t_reason[0] = '\0';
    api->GetLastErrorMessage(vector, buffer);
}

}  // namespace vorlan
