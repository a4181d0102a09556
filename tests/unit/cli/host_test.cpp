// vorlan run as a user runs it: exit codes and messages of bad usage, missing and damaged
// files; messages through files and pipes; settings; transfers; the library or toolkit missing.
#include <filesystem>
#include <memory>

#include "host_run.h"

namespace vorlan::test {
namespace {

namespace fs = std::filesystem;

struct Case {
    std::vector<std::string> args;
    std::string fragment;  // expected in standard error
};

class Host : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        world_ = std::make_unique<World>();
        world_->Build();
        built_ = !::testing::Test::HasFatalFailure();
        WriteFile(world_->Dir() / "letter.txt", "Payment order 42\r\n");
        WriteFile(world_->Dir() / "garbage", std::string("\x30\x82\x01\x00garbage", 12));
        WriteFile(world_->Dir() / "garbage.trf", "bm90IGEgdHJhbnNmZXI=\n");
        WriteFile(world_->Dir() / "empty", "\n");
        WriteFile(world_->Dir() / "huge", std::string(20000, 'A'));
    }
    static void TearDownTestSuite() { world_.reset(); }
    void SetUp() override { ASSERT_TRUE(built_) << "the installation could not be made"; }
    static std::string P(const std::string& name) { return world_->Path(name); }

    static std::unique_ptr<World> world_;
    static bool built_;
};

std::unique_ptr<World> Host::world_;
bool Host::built_ = false;

TEST_F(Host, BadUsageExitsWith2AndSaysWhy) {
    const Case cases[] = {
        {{}, "subcommand is required"},
        {{"frobnicate"}, "subcommand"},
        {{"encrypt", "letter.txt"}, "--to is required"},
        {{"verify", "letter.txt"}, "signature is required"},
        {{"params", "get"}, "parameter is required"},
        {{"params", "get", "NoSuchParameter"}, "no parameter \"NoSuchParameter\""},
        {{"params", "set", "Cipher", "two\nlines"}, "one line"},
        {{"error", "twelve"}, "code"},
        {{"cert"}, "subcommand is required"},
        {{"cert", "report"}, "give a UID or --file"},
        {{"init", "--rsa", "--gost"}, "exclude each other"},
        {{"init", "--ca", "ca.pem"}, "--cert"},
        {{"init", "--subject", "CN=USER01"}, "starts with \"/\""},
        {{"init", "--subject", "/XX=1"}, "XX=1"},
        {{"renew", "--finish", "t.trf", "--name", "N"}, "excludes"},
    };
    const std::string settings = ReadFile(P("USER01/vorlan.conf"));
    for (const Case& c : cases) {
        const Ran ran = world_->Vorlan(c.args);
        EXPECT_EQ(ran.exit, 2) << (c.args.empty() ? "" : c.args.front()) << ": " << ran.err;
        EXPECT_NE(ran.err.find(c.fragment), std::string::npos) << ran.err;
        EXPECT_EQ(ran.out, "");
    }
    // Without --root and without VORLAN_ROOT there is no installation to work on.
    const Ran noRoot = world_->Vorlan({"params"}, "", false, "env -u VORLAN_ROOT");
    EXPECT_EQ(noRoot.exit, 2);
    EXPECT_NE(noRoot.err.find("--root"), std::string::npos) << noRoot.err;
    EXPECT_EQ(ReadFile(P("USER01/vorlan.conf")), settings) << "a refused command changed the settings";
}

TEST_F(Host, EveryCommandHasHelp) {
    const std::vector<std::vector<std::string>> commands = {
        {}, {"init"}, {"params"}, {"params", "set"}, {"info"}, {"error"}, {"encrypt"}, {"decrypt"}, {"sign"}, {"verify"},
        {"unsign"}, {"cert", "include"}, {"cert", "report"}, {"crl", "include"}, {"ca", "include-transfer"},
        {"transfer", "export"}, {"transfer", "match"}, {"request"}, {"renew"}};
    for (std::vector<std::string> command : commands) {
        command.push_back("--help");
        const Ran ran = world_->Vorlan(command, "", false);
        EXPECT_EQ(ran.exit, 0) << ran.err;
        EXPECT_NE(ran.out.find("Usage:"), std::string::npos) << (command.size() > 1 ? command[0] : "vorlan");
    }
}

TEST_F(Host, FailuresExitWith1WithTheReasonAndWriteNothing) {
    const std::string out = P("never-written");
    const Case cases[] = {
        {{"--root", P("nowhere"), "params"}, "no installation at"},
        {{"encrypt", "--to", "USER01", P("missing.txt"), out}, "cannot read"},
        {{"encrypt", "--to", "NOBODY", P("letter.txt"), out}, "EncodeData for NOBODY: -"},
        {{"decrypt", P("garbage"), out}, "DecodeData: -"},
        {{"decrypt", P("letter.txt"), out}, "DecodeData: -"},
        {{"verify", P("letter.txt"), P("garbage")}, "VerifyData: -"},
        {{"unsign", P("garbage"), out}, "RemoveSign: -"},
        {{"transfer", "import", P("garbage.trf")}, "GetUIDByPublicKeyTransfer: -"},
        {{"transfer", "import", P("garbage")}, "zero byte, not a transfer"},
        {{"transfer", "import", P("empty")}, "empty, not a transfer"},
        {{"transfer", "show", P("huge")}, "longer than"},
        {{"transfer", "save", P("garbage.trf"), P("no-such-dir")}, "no directory"},
        {{"crl", "include", P("garbage")}, "IncludeCRL"},
        {{"crl", "include", P("missing.crl")}, "no such file"},
        {{"cert", "include", P("missing.pem")}, "no such file"},
        {{"cert", "report", "NOBODY"}, "GetReport NOBODY: -113"},
        {{"cert", "remove", "USER01"}, "-120"},
        {{"init", "--cert", P("missing.pem")}, "no such file"},
    };
    for (const Case& c : cases) {
        const Ran ran = world_->Vorlan(c.args, "", c.args.front() != "--root");
        EXPECT_EQ(ran.exit, 1) << c.args.front() << " " << c.args.at(1) << ": " << ran.err;
        EXPECT_NE(ran.err.find(c.fragment), std::string::npos) << ran.err;
        EXPECT_EQ(ran.out, "");
        EXPECT_FALSE(fs::exists(out)) << c.args.front() << " left an output behind";
    }
    // A staged copy of a refused file does not stay in the installation.
    for (const auto& entry : fs::directory_iterator(world_->Root()))
        EXPECT_EQ(entry.path().filename().string().rfind("incoming-", 0), std::string::npos) << entry.path();
}

TEST_F(Host, DamagedSettingsFileFailsNamingTheLine) {
    const fs::path root = world_->Dir() / "damaged";
    fs::create_directories(root);
    const Case cases[] = {
        {{"no equals sign\n"}, "line 1: no \"=\""},
        {{"Cipher = RUS-GAMMAR\nNoSuchParameter = 1\n"}, "line 2: no parameter \"NoSuchParameter\""},
        {{"99 = x\n"}, "no parameter \"99\""},
        {{std::string(70000, '#')}, "longer than"},
        {{std::string("Cipher = RUS\0GAMMAR\n", 20)}, "zero byte"},
    };
    for (const Case& c : cases) {
        WriteFile(root / "vorlan.conf", c.args.front());
        const Ran ran = world_->Vorlan({"--root", root.string(), "params"}, "", false);
        EXPECT_EQ(ran.exit, 1) << ran.err;
        EXPECT_NE(ran.err.find(c.fragment), std::string::npos) << ran.err;
    }
}

TEST_F(Host, MessagesGoThroughFilesAndPipesUnchanged) {
    const std::string data = std::string("line\r\nzero\0byte\xff end", 20);
    WriteFile(P("data.bin"), data);
    const Ran sealed = world_->Vorlan({"encrypt", "--to", "USER01", "-", "-"}, data);
    ASSERT_EQ(sealed.exit, 0) << sealed.err;
    EXPECT_EQ(sealed.out.find("zero"), std::string::npos);
    const Ran opened = world_->Vorlan({"decrypt", "-", "-"}, sealed.out);
    ASSERT_EQ(opened.exit, 0) << opened.err;
    EXPECT_EQ(opened.out, data);
    // A pipe named as a file has no size to ask for: it is read as a stream all the same.
    WriteFile(P("sealed.bin"), sealed.out);
    const Ran piped = Shell(world_->Dir(), "{ cat " + Quote(P("sealed.bin")) + " | " + Quote(BinDir() + "/vorlan") +
                                               " --root " + Quote(world_->Root()) + " decrypt /dev/stdin -; }");
    EXPECT_EQ(piped.exit, 0) << piped.err;
    EXPECT_EQ(piped.out, data);

    ASSERT_EQ(world_->Vorlan({"sign", "-", P("data.sig")}, data).exit, 0);
    for (const char* flag : {"", "--ignore-time"}) {
        std::vector<std::string> args{"verify", P("data.bin"), P("data.sig")};
        if (*flag != '\0') args.insert(args.begin() + 1, flag);
        const Ran verified = world_->Vorlan(args);
        EXPECT_EQ(verified.exit, 0) << verified.err;
        EXPECT_EQ(verified.out, "USER01\n");
    }
    WriteFile(P("data2.bin"), data + "!");
    EXPECT_EQ(world_->Vorlan({"verify", P("data2.bin"), P("data.sig")}).exit, 1);

    const Ran attached = world_->Vorlan({"sign", "--attached", "-", "-"}, data);
    ASSERT_EQ(attached.exit, 0) << attached.err;
    const Ran unsigned_ = world_->Vorlan({"unsign", "-", "-"}, attached.out);
    EXPECT_EQ(unsigned_.exit, 0) << unsigned_.err;
    EXPECT_EQ(unsigned_.out, data);
    EXPECT_NE(unsigned_.err.find("signer USER01"), std::string::npos);
    std::string tampered = attached.out;
    tampered[2] ^= 0x01;
    EXPECT_EQ(world_->Vorlan({"unsign", "-", "-"}, tampered).exit, 1);
}

TEST_F(Host, ProgressOnlyForATerminalOrWhenAsked) {
    const Ran quiet = world_->Vorlan({"encrypt", "--to", "USER01", P("letter.txt"), P("letter.enc")});
    EXPECT_EQ(quiet.exit, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");
    const Ran told = world_->Vorlan({"--verbose", "encrypt", "--to", "USER01", P("letter.txt"), P("letter.enc")});
    EXPECT_EQ(told.exit, 0);
    EXPECT_EQ(told.out, "");
    EXPECT_NE(told.err.find("vorlan: encrypted 18 bytes for USER01"), std::string::npos) << told.err;
}

TEST_F(Host, ParametersAreKeptInTheSettingsFile) {
    ASSERT_EQ(world_->Vorlan({"params", "set", "contextlifetime", "60"}).exit, 0);
    EXPECT_EQ(world_->Vorlan({"params", "get", "22"}).out, "60\n");
    EXPECT_NE(ReadFile(P("USER01/vorlan.conf")).find("ContextLifetime = 60"), std::string::npos);
    ASSERT_EQ(world_->Vorlan({"params", "set", "22", ""}).exit, 0);
    EXPECT_EQ(world_->Vorlan({"params", "get", "ContextLifetime"}).out, "\n");
    // Relative paths are taken from the root; the library holds them whole.
    EXPECT_EQ(world_->Vorlan({"params", "get", "CertificateDir"}).out, P("USER01/certs") + "\n");
    const Ran list = world_->Vorlan({"params"});
    EXPECT_EQ(list.exit, 0);
    EXPECT_NE(list.out.find(" 4  Cipher               choice    RUS-GAMMAR|DES-EDE3-CBC"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("RemoteGeneratePath"), std::string::npos);
}

TEST_F(Host, InitKeepsTheSettingsFileAndTakesTheSubjectApart) {
    const std::string root = P("fresh");
    const auto run = [&](const std::vector<std::string>& args) {
        std::vector<std::string> line{"--root", root};
        line.insert(line.end(), args.begin(), args.end());
        return world_->Vorlan(line, "", false);
    };
    ASSERT_EQ(run({"init", "--subject", "/C=RU/O=Horns\\/Hooves/CN=ALICE"}).exit, 0);
    EXPECT_EQ(run({"params", "get", "Organization"}).out, "Horns/Hooves\n");
    EXPECT_TRUE(fs::is_directory(root + "/keys") && fs::is_directory(root + "/certs") && fs::is_directory(root + "/renew"));
    // A second init keeps what the user wrote and changes only what it is asked to.
    WriteFile(root + "/vorlan.conf", ReadFile(root + "/vorlan.conf") + "# mine\n22 = 60\n");
    ASSERT_EQ(run({"init", "--rsa"}).exit, 0);
    const std::string settings = ReadFile(root + "/vorlan.conf");
    EXPECT_NE(settings.find("# mine\n22 = 60\n"), std::string::npos) << settings;
    EXPECT_EQ(run({"params", "get", "SignatureAlgorithm"}).out, "SHA1\n");
    EXPECT_EQ(run({"params", "get", "CommonName"}).out, "ALICE\n");
}

TEST_F(Host, IncludedFilesStayWhereTheUserHasThem) {
    // The library moves what IncludePublicKey and IncludeCRL are given: vorlan gives a copy.
    const std::string certificate = ReadFile(P("USER01.pem"));
    const Ran cert = world_->Vorlan({"cert", "include", P("USER01.pem")});
    EXPECT_EQ(cert.exit, 0) << cert.err;
    EXPECT_EQ(ReadFile(P("USER01.pem")), certificate);
    EXPECT_EQ(ReadFile(P("USER01/certs/USER01.pem")), certificate);
    const Ran crl = world_->Vorlan({"crl", "include", P("crl.pem")});
    EXPECT_EQ(crl.exit, 0) << crl.err;
    EXPECT_TRUE(fs::exists(P("crl.pem")));
    EXPECT_NE(world_->Vorlan({"cert", "report", "USER01"}).out.find("CN=USER01"), std::string::npos);
}

TEST_F(Host, RootFromTheEnvironment) {
    const Ran info = world_->Vorlan({"info"}, "", false, "VORLAN_ROOT=" + Quote(world_->Root()));
    EXPECT_EQ(info.exit, 0) << info.err;
    EXPECT_NE(info.out.find("75 of 75 exports"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("user USER01"), std::string::npos) << info.out;
}

TEST_F(Host, TransfersRoundTripAndMatch) {
    ASSERT_EQ(world_->Vorlan({"transfer", "export", "-o", P("own.trf")}).exit, 0);
    const Ran shown = world_->Vorlan({"transfer", "show", P("own.trf")});
    EXPECT_EQ(shown.exit, 0) << shown.err;
    EXPECT_EQ(shown.out.rfind("Owner=USER01\n", 0), 0u) << shown.out;
    ASSERT_EQ(world_->Vorlan({"transfer", "from-file", P("USER01.req"), "-o", P("req.trf")}).exit, 0);
    ASSERT_EQ(world_->Vorlan({"transfer", "from-file", P("ca.pem"), "-o", P("ca.trf")}).exit, 0);
    const Ran match = world_->Vorlan({"transfer", "match", P("own.trf"), P("req.trf")});
    EXPECT_EQ(match.exit, 0) << match.err;
    EXPECT_EQ(match.out, "match\n");
    const Ran other = world_->Vorlan({"transfer", "match", P("ca.trf"), P("req.trf")});
    EXPECT_EQ(other.exit, 1);
    EXPECT_NE(other.err.find("does not answer"), std::string::npos) << other.err;
    const Ran saved = world_->Vorlan({"transfer", "save", P("req.trf"), world_->Dir().string(), "--name", "back.req"});
    EXPECT_EQ(saved.exit, 0) << saved.err;
    EXPECT_EQ(ReadFile(P("back.req")), ReadFile(P("USER01.req")));
}

TEST_F(Host, RenewalWithoutItsUtilityFailsAndLeavesTheKeysWorking) {
    ASSERT_EQ(world_->Vorlan({"params", "set", "KeyGenerator", P("no-such-keygen")}).exit, 0);
    const Ran renew = world_->Vorlan({"renew", "-o", P("renew.trf")});
    ASSERT_EQ(world_->Vorlan({"params", "set", "KeyGenerator", ""}).exit, 0);
    EXPECT_EQ(renew.exit, 1);
    EXPECT_NE(renew.err.find("key generation utility"), std::string::npos) << renew.err;
    EXPECT_FALSE(fs::exists(P("renew.trf")));
    ASSERT_EQ(world_->Vorlan({"sign", P("letter.txt"), P("after.sig")}).exit, 0);
    EXPECT_EQ(world_->Vorlan({"verify", P("letter.txt"), P("after.sig")}).out, "USER01\n");
}

TEST_F(Host, WithoutLibraryOrToolkitEveryCommandFailsWith1) {
    const Ran noLibrary = world_->Vorlan({"info"}, "", false, "VORLAN_LIBRARY=" + Quote(P("no-such-library.so")));
    EXPECT_EQ(noLibrary.exit, 1);
    EXPECT_NE(noLibrary.err.find("cannot load"), std::string::npos) << noLibrary.err;
    // The program and the library alone, without a toolkit plug-in beside them.
    const fs::path lonely = world_->Dir() / "lonely";
    fs::create_directories(lonely);
    for (const char* file : {"vorlan", "libvorlan13.so"})
        fs::copy_file(BinDir() + "/" + file, lonely / file, fs::copy_options::overwrite_existing);
    const std::string host = Quote((lonely / "vorlan").string()) + " --root " + Quote(world_->Root());
    for (const std::string& command :
         std::vector<std::string>{"encrypt --to USER01 - -", "verify - " + Quote(P("garbage")), "transfer export"}) {
        const Ran ran = Shell(world_->Dir(), host + " " + command, "data");
        EXPECT_EQ(ran.exit, 1) << command << ": " << ran.err;
        EXPECT_NE(ran.err.find("vorlan: "), std::string::npos) << command;
    }
}

}  // namespace
}  // namespace vorlan::test
