#include "exchange_steps.h"

#include <algorithm>
#include <vector>

namespace vorlan::cli {

namespace {

constexpr std::int32_t kExceptionCaught = -102;
const std::string kMessage = "Payment order 42: 1000.00 RUB to account 40702810000000000001";
// Where a tampered copy differs: the amount 1000.00 becomes 9000.00.
constexpr std::size_t kAmountAt = 18;

using Bytes = std::vector<unsigned char>;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// WithRoom: the text in a buffer of room more bytes, for an operation working in place.
Bytes WithRoom(const std::string& text, std::size_t room) {
    Bytes buffer(text.size() + room);
    std::copy(text.begin(), text.end(), buffer.begin());
    return buffer;
}

std::string ToText(const Bytes& bytes, std::int32_t size) {
    const auto n = std::min(bytes.size(), static_cast<std::size_t>(std::max(size, 0)));
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

std::int32_t Size(const std::string& s) { return static_cast<std::int32_t>(s.size()); }

// Room: a size query's answer as a buffer addition (never negative).
std::size_t Room(std::int32_t answer) { return static_cast<std::size_t>(std::max(answer, 0)); }

class Exchange {
public:
    Exchange(const ExportApi& api, const DemoInstallation& installation, const Engine& user01, StepLog& log)
        : api_(api), log_(log), user01_(user01), user02_(installation.Open("USER02", log)),
          user03_(installation.Open("USER03", log)) {}

    bool Run() {
        if (!user01_.get() || !user02_.get() || !user03_.get()) return false;
        bool ok = Encryption();
        ok = Signatures() && ok;
        return ok;
    }

private:
    // Refused: a refusal with a code of its own (-102, a caught exception, is a fault).
    static bool Refused(std::int32_t code) { return code != 0 && code != kExceptionCaught; }

    // Check: one step on an engine; passed says whether the code (and outcome) was expected.
    bool Check(const std::string& what, const Engine& engine, std::int32_t code, bool passed) {
        return log_.Step(what, code, code != 0 ? api_.ErrorText(engine.get(), code) : "", passed);
    }

    // Decrypt: the plain text of encrypted data by the engine, with the result code.
    std::int32_t Decrypt(const Engine& engine, Bytes data, std::string& plain) {
        std::int32_t size = static_cast<std::int32_t>(data.size());
        std::vector<char> scratch(Room(api_.GetMaxUIDLength(engine.get())) + 256, '\0');
        const std::int32_t code = api_.DecodeData(engine.get(), data.data(), &size, scratch.data());
        plain = code == 0 ? ToText(data, size) : std::string();
        return code;
    }

    bool Encryption() {
        const char* recipients = "USER02;USER03";
        Bytes buffer = WithRoom(kMessage, Room(api_.GetMaxAdditionEx(user01_.get(), recipients)));
        std::int32_t size = Size(kMessage);
        std::int32_t code = api_.EncodeData(user01_.get(), buffer.data(), &size, recipients);
        const std::string sealed = code == 0 ? ToText(buffer, size) : std::string();
        const bool hidden = code == 0 && static_cast<std::size_t>(size) <= buffer.size() &&
                            sealed.find("Payment order") == std::string::npos;
        if (!Check("USER01 encrypts " + std::to_string(kMessage.size()) + " bytes for " + recipients + " -> " +
                       std::to_string(size) + " bytes",
                   user01_, code, hidden))
            return false;
        bool ok = true;
        const Bytes encrypted(sealed.begin(), sealed.end());
        for (const Engine* reader : {&user02_, &user03_}) {
            const std::string who = reader == &user02_ ? "USER02" : "USER03";
            std::string plain;
            code = Decrypt(*reader, encrypted, plain);
            ok = Check(who + " decrypts, " + (plain == kMessage ? "the text matches" : "the text DIFFERS"), *reader, code,
                       code == 0 && plain == kMessage) &&
                 ok;
        }
        std::string plain;
        code = Decrypt(user01_, encrypted, plain);
        return Check("USER01 (no recipient) cannot decrypt", user01_, code, Refused(code) && plain != kMessage) && ok;
    }

    // Verify: VerifyData by USER02; the signer's UID into signer.
    std::int32_t Verify(const std::string& data, const Bytes& signature, std::string& signer) {
        std::vector<char> uid(Room(api_.GetMaxUIDLength(user02_.get())) + 1, '\0');
        const Bytes bytes = ToBytes(data);
        const std::int32_t code = api_.VerifyData(user02_.get(), bytes.data(), Size(data), signature.data(),
                                                  static_cast<std::int32_t>(signature.size()), uid.data());
        uid.back() = '\0';
        signer = uid.data();
        return code;
    }

    bool Signatures() {
        Bytes signature(Room(api_.GetMaxSignatureLength(user01_.get())));
        auto length = static_cast<std::int32_t>(signature.size());
        const Bytes data = ToBytes(kMessage);
        std::int32_t code = api_.SignData(user01_.get(), data.data(), Size(kMessage), signature.data(), &length, nullptr);
        if (!Check("USER01 signs detached -> " + std::to_string(length) + " bytes", user01_, code, code == 0))
            return false;
        signature.resize(static_cast<std::size_t>(std::clamp(length, 0, static_cast<std::int32_t>(signature.size()))));

        std::string signer;
        code = Verify(kMessage, signature, signer);
        bool ok = Check("USER02 verifies the detached signature, signer \"" + signer + "\"", user02_, code,
                        code == 0 && signer == "USER01");
        std::string tampered = kMessage;
        tampered.at(kAmountAt) = '9';
        code = Verify(tampered, signature, signer);
        ok = Check("USER02 refuses the detached signature of a tampered message", user02_, code, Refused(code)) && ok;

        ok = Attached() && ok;

        api_.ClearCash(user02_.get());
        code = Verify(kMessage, signature, signer);
        return Check("ClearCash, then USER02 verifies again, signer \"" + signer + "\"", user02_, code,
                     code == 0 && signer == "USER01") &&
               ok;
    }

    // RemoveSign: USER02 verifies and strips an attached signature; the text left and the signer.
    std::int32_t RemoveSign(Bytes data, std::string& text, std::string& signer) {
        std::int32_t size = static_cast<std::int32_t>(data.size());
        std::vector<char> uid(Room(api_.GetMaxUIDLength(user02_.get())) + 1, '\0');
        const std::int32_t code = api_.RemoveSign(user02_.get(), data.data(), &size, uid.data());
        uid.back() = '\0';
        signer = uid.data();
        text = code == 0 ? ToText(data, size) : std::string();
        return code;
    }

    bool Attached() {
        Bytes buffer = WithRoom(kMessage, Room(api_.GetMaxSignAddition(user01_.get())));
        std::int32_t size = Size(kMessage);
        std::int32_t code = api_.AddSign(user01_.get(), buffer.data(), &size, "USER01");
        if (!Check("USER01 signs attached -> " + std::to_string(size) + " bytes", user01_, code,
                   code == 0 && size > Size(kMessage) && static_cast<std::size_t>(size) <= buffer.size()))
            return false;
        buffer.resize(std::min(buffer.size(), static_cast<std::size_t>(size)));

        std::string text, signer;
        code = RemoveSign(buffer, text, signer);
        bool ok = Check("USER02 removes the attached signature, signer \"" + signer + "\", " +
                            (text == kMessage ? "the text matches" : "the text DIFFERS"),
                        user02_, code, code == 0 && signer == "USER01" && text == kMessage);
        Bytes tampered = buffer;
        tampered.at(kAmountAt) = '9';
        code = RemoveSign(tampered, text, signer);
        return Check("USER02 refuses a tampered attached message", user02_, code, Refused(code)) && ok;
    }

    const ExportApi& api_;
    StepLog& log_;
    const Engine& user01_;
    Engine user02_, user03_;
};

}  // namespace

bool RunExchange(const ExportApi& api, const DemoInstallation& installation, const Engine& user01, StepLog& log) {
    return Exchange(api, installation, user01, log).Run();
}

}  // namespace vorlan::cli
