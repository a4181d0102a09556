// encrypt, decrypt, sign, verify and unsign: messages in files or on the standard streams.
#include <cstdio>
#include <limits>

#include "certificate_facts.h"
#include "commands.h"
#include "data_files.h"
#include "failure.h"

namespace vorlan::cli {

namespace {

constexpr std::size_t kMaxCall = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
// No signature is larger: a bigger file is not read into memory at all.
constexpr std::size_t kMaxSignatureFile = 16 * 1024 * 1024;

using Bytes = std::string;

unsigned char* Data(Bytes& bytes) { return reinterpret_cast<unsigned char*>(bytes.data()); }
const unsigned char* Data(const Bytes& bytes) { return reinterpret_cast<const unsigned char*>(bytes.data()); }
std::int32_t Size(const Bytes& bytes) { return static_cast<std::int32_t>(bytes.size()); }

// Shown: an input's name in messages.
std::string Shown(const std::string& in) { return in == "-" ? "standard input" : in; }

// NotEmpty: the library works on one byte at least; an empty input is refused before it is asked.
const Bytes& NotEmpty(const Bytes& data, const std::string& in, const char* what) {
    if (data.empty()) throw Failure(Shown(in) + " is empty: " + what);
    return data;
}

// ReadWithRoom: the input, with room bytes more behind it for an operation working in place.
Bytes ReadWithRoom(const std::string& in, std::size_t room, std::int32_t& size, const char* what) {
    if (room > kMaxCall) throw Failure("the library asks for more room than one call can have");
    Bytes buffer = NotEmpty(ReadInput(in, kMaxCall - room), in, what);
    size = Size(buffer);
    buffer.resize(buffer.size() + room);
    return buffer;
}

// Result: the first size bytes of an in-place operation's buffer, after checking the size.
std::string_view Result(const Bytes& buffer, std::int32_t size, const char* operation) {
    if (size < 0 || static_cast<std::size_t>(size) > buffer.size())
        throw Failure(std::string(operation) + " reported " + std::to_string(size) + " bytes in a buffer of " +
                      std::to_string(buffer.size()));
    return std::string_view(buffer.data(), static_cast<std::size_t>(size));
}

std::string Joined(const std::vector<std::string>& uids) {
    std::string list;
    for (const std::string& uid : uids) list += (list.empty() ? "" : ";") + uid;
    return list;
}

}  // namespace

int Encrypt(Host& host, const std::vector<std::string>& recipients, const std::string& in, const std::string& out) {
    const auto engine = host.Open();
    const ExportApi& api = engine->Api();
    const std::string list = Joined(recipients);
    std::int32_t size = 0;
    Bytes buffer = ReadWithRoom(in, Engine::Room(api.GetMaxAdditionEx(engine->get(), list.c_str()), "GetMaxAdditionEx"),
                                size, "the library encrypts one byte at least");
    const std::int32_t plain = size;
    engine->Check(api.EncodeData(engine->get(), Data(buffer), &size, list.c_str()), "EncodeData for " + list);
    WriteOutput(out, Result(buffer, size, "EncodeData"), Contents::Public);
    host.Out().Progress("encrypted " + std::to_string(plain) + " bytes for " + list + ": " + std::to_string(size) + " bytes");
    return 0;
}

int Decrypt(Host& host, const std::string& in, const std::string& out) {
    const auto engine = host.Open();
    const ExportApi& api = engine->Api();
    Bytes buffer = NotEmpty(ReadInput(in, kMaxCall), in, "no encrypted message");
    std::int32_t size = Size(buffer);
    std::int32_t code = 0;
    Engine::Text(engine->UidRoom(), [&](char* scratch) { code = api.DecodeData(engine->get(), Data(buffer), &size, scratch); });
    engine->Check(code, "DecodeData");
    WriteOutput(out, Result(buffer, size, "DecodeData"), Contents::Private);
    host.Out().Progress("decrypted " + std::to_string(size) + " bytes");
    return 0;
}

int Sign(Host& host, bool attached, const std::string& in, const std::string& out) {
    const auto engine = host.Open();
    const ExportApi& api = engine->Api();
    const char* const what = "the library signs one byte at least";
    if (attached) {
        const std::string uid = engine->CurrentUser();
        std::int32_t size = 0;
        Bytes buffer = ReadWithRoom(in, Engine::Room(api.GetMaxSignAddition(engine->get()), "GetMaxSignAddition"), size, what);
        engine->Check(api.AddSign(engine->get(), Data(buffer), &size, uid.c_str()), "AddSign");
        WriteOutput(out, Result(buffer, size, "AddSign"), Contents::Private);
        host.Out().Progress("signed by " + Printable(uid) + ", signature attached: " + std::to_string(size) + " bytes");
        return 0;
    }
    const Bytes data = NotEmpty(ReadInput(in, kMaxCall), in, what);
    Bytes signature(Engine::Room(api.GetMaxSignatureLength(engine->get()), "GetMaxSignatureLength"), '\0');
    std::int32_t length = Size(signature);
    engine->Check(api.SignData(engine->get(), Data(data), Size(data), Data(signature), &length, nullptr), "SignData");
    WriteOutput(out, Result(signature, length, "SignData"), Contents::Public);
    host.Out().Progress("detached signature of " + std::to_string(data.size()) + " bytes: " + std::to_string(length) + " bytes");
    return 0;
}

int Verify(Host& host, bool ignoreTime, const std::string& data, const std::string& signature) {
    const auto engine = host.Open();
    const ExportApi& api = engine->Api();
    const Bytes bytes = NotEmpty(ReadInput(data, kMaxCall), data, "the library verifies signatures of one byte at least");
    const Bytes sig = ReadInput(signature, kMaxSignatureFile);
    const auto verify = ignoreTime ? api.VerifySignWOCheckValidity : api.VerifyData;
    const std::string signer =
        engine->Uid([&](char* b) { return verify(engine->get(), Data(bytes), Size(bytes), Data(sig), Size(sig), b); },
                    ignoreTime ? "VerifySignWOCheckValidity" : "VerifyData");
    host.Out().Value(Printable(signer));
    // The certificate filed under the signer's UID says which one of that name it is.
    try {
        const std::string report = engine->Report([&](char* b) { return api.GetReport(engine->get(), signer.c_str(), b); },
                                                  "GetReport");
        for (const std::string& line : CertificateFacts::FromReport(report).Lines()) host.Out().Value(line);
    } catch (const Failure&) {
        host.Out().Progress("no certificate filed under " + Printable(signer) + " to describe the signer");
    }
    return 0;
}

int Unsign(Host& host, const std::string& in, const std::string& out) {
    const auto engine = host.Open();
    Bytes buffer = NotEmpty(ReadInput(in, kMaxCall), in, "no signed message");
    std::int32_t size = Size(buffer);
    const std::string signer =
        engine->Uid([&](char* b) { return engine->Api().RemoveSign(engine->get(), Data(buffer), &size, b); }, "RemoveSign");
    WriteOutput(out, Result(buffer, size, "RemoveSign"), Contents::Private);
    // The signer's UID is the command's answer; with the data on standard output it goes beside it.
    if (out.empty() || out == "-")
        std::fprintf(stderr, "vorlan: signer %s\n", Printable(signer).c_str());
    else
        host.Out().Value(Printable(signer));
    return 0;
}

}  // namespace vorlan::cli
