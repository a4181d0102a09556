// Envelopes changed by a hostile sender are refused with an error, never a crash, and
// envelopes that `openssl cms` writes (streamed BER included) still open.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>

#include "der_tree.h"
#include "harness.h"

namespace tkt {
namespace {

// Paths in the envelope's tree: ContentInfo { type, [0] { EnvelopedData { version,
// SET { KeyTransRecipientInfo { version, rid, algorithm, encryptedKey } }, EncryptedContentInfo
// { type, algorithm { OID, parameters }, [0] content } } } }.
DerNode& Recipient(DerNode& env) { return env.At({1, 0, 1, 0}); }
DerNode& ContentCipher(DerNode& env) { return env.At({1, 0, 2, 1}); }

// OnKeyTransport: applies an edit to the GOST key transport inside the first recipient.
std::function<void(DerNode&)> OnKeyTransport(std::function<void(DerNode&)> edit) {
    return [edit](DerNode& env) {
        DerNode& encryptedKey = Recipient(env).children.at(3);
        DerNode transport = DerNode::Parse(encryptedKey.content);
        edit(transport);
        encryptedKey.content = transport.Encode();
    };
}

struct Tamper {
    const char* what;
    bool gostOnly;
    std::function<void(DerNode&)> edit;
};

const Tamper kTampers[] = {
    // The content cipher's parameters: for GOST a SEQUENCE { IV, parameter set }, for the
    // others the IV itself.
    {"IV tag changed", false,
     [](DerNode& env) {
         DerNode& params = ContentCipher(env).children.at(1);
         (params.Constructed() ? params.children.at(0) : params).tag = 0x05;
     }},
    {"IV of 7 bytes", true, [](DerNode& env) { ContentCipher(env).At({1, 0}).content.resize(7); }},
    {"parameter set unknown", true, [](DerNode& env) { ContentCipher(env).At({1, 1}).content.back() ^= 0x7F; }},
    {"parameter set not an OID", true, [](DerNode& env) { ContentCipher(env).At({1, 1}).tag = 0x04; }},
    {"parameters missing", true, [](DerNode& env) { ContentCipher(env).children.resize(1); }},
    {"content cipher unknown", false,
     [](DerNode& env) { ContentCipher(env).children.at(0).content = std::string("\x2A\x85\x03\x07\x01\x01\x05\x02\x01", 9); }},
    {"key agreement recipient", false, [](DerNode& env) { Recipient(env).tag = 0xA1; }},
    {"encrypted key of 31 bytes", true, OnKeyTransport([](DerNode& t) { t.At({0, 0}).content.resize(31); })},
    {"MAC of 3 bytes", true, OnKeyTransport([](DerNode& t) { t.At({0, 1}).content.resize(3); })},
    {"UKM of 9 bytes", true, OnKeyTransport([](DerNode& t) { t.At({1, 2}).content += '\0'; })},
    {"ephemeral key missing", true, OnKeyTransport([](DerNode& t) { t.At({1}).children.erase(t.At({1}).children.begin() + 1); })},
    {"transport parameter set unknown", true, OnKeyTransport([](DerNode& t) { t.At({1, 0}).content.back() ^= 0x7F; })},
};

class EnvelopeTamperTest : public ToolkitTest {
protected:
    // Envelope: USER01's envelope of text for USER02.
    std::string Envelope(const std::string& text) {
        std::string buf = text;
        buf.resize(text.size() + static_cast<std::size_t>(Tk().GetMaxEncodeAddition()));
        std::int32_t len = static_cast<std::int32_t>(text.size());
        auto* bytes = reinterpret_cast<unsigned char*>(buf.data());
        EXPECT_EQ(Tk().EncodeData(Open("USER01"), bytes, &len, Pki().SubjectLine("USER02").c_str()), 0) << LastError();
        buf.resize(static_cast<std::size_t>(len));
        return buf;
    }
    // Open02: USER02 decrypts an envelope; the code, and the plain text on success.
    std::int32_t Open02(std::string env, std::string* plain) {
        std::int32_t len = static_cast<std::int32_t>(env.size());
        std::string who(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
        std::int32_t rc = Tk().DecodeData(Open("USER02"), reinterpret_cast<unsigned char*>(env.data()), &len, who.data());
        if (rc == 0) plain->assign(env.data(), static_cast<std::size_t>(len));
        return rc;
    }
};

TEST_P(EnvelopeTamperTest, HostileStructureIsRefusedNotFollowed) {
    const std::string text = "payment order 42";
    const std::string original = Envelope(text);
    std::string plain;
    ASSERT_EQ(Open02(original, &plain), 0) << LastError();
    ASSERT_EQ(plain, text);
    ASSERT_EQ(DerNode::Parse(original).Encode(), original) << "each envelope below differs by its edit only";
    for (const Tamper& t : kTampers) {
        if (t.gostOnly && GetParam() != Algo::Gost) continue;
        DerNode env = DerNode::Parse(original);
        t.edit(env);
        plain.clear();
        EXPECT_EQ(Open02(env.Encode(), &plain), -1009) << t.what << ": " << LastError();
        EXPECT_TRUE(plain.empty()) << t.what;
    }
}

TEST_P(EnvelopeTamperTest, EnvelopesOfOpenSslCmsOpen) {
    const std::string dir = TempDir("cms");
    const std::string text = "order from the outside";
    std::ofstream(dir + "/in.txt", std::ios::binary) << text;
    const bool gost = GetParam() == Algo::Gost;
    // Streamed output is BER with indefinite lengths; the other form is DER.
    for (const char* form : {"-stream", ""}) {
        const std::string cmd = std::string("openssl cms -encrypt -binary ") + form + (gost ? " -engine gost -gost89" : " -des3") +
                                " -outform DER -in '" + dir + "/in.txt' -out '" + dir + "/env.der' '" +
                                Pki().CertFile("USER02") + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::string plain;
        EXPECT_EQ(Open02(ReadAll(dir + "/env.der"), &plain), 0) << form << ": " << LastError();
        EXPECT_EQ(plain, text) << form;
    }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, EnvelopeTamperTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt
