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
        WriteFile(world_->Dir() / "nothing", "");
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
        {{"enrcypt", "letter.txt"}, "unknown command 'enrcypt'"},
        {{"cert", "lst"}, "unknown command 'cert lst'"},
        {{"encrypt", "letter.txt"}, "--to is required"},
        {{"encrypt", "--to", "", "letter.txt"}, "empty recipient"},
        {{"encrypt", "--to", "USER01; ", "letter.txt"}, "empty recipient"},
        {{"encrypt", "--to", "USER01", "letter.txt", "out", "-o", "out2"}, "output once"},
        {{"params", "set", "Cipher", "FOO"}, "Cipher is one of RUS-GAMMAR|DES-EDE3-CBC"},
        {{"params", "set", "RSAKeySize", "4097"}, "from 0 to 2048"},
        {{"params", "set", "Country", "RUS"}, "at most 2"},
        {{"verify", "letter.txt"}, "signature is required"},
        {{"params", "get"}, "parameter is required"},
        {{"params", "get", "NoSuchParameter"}, "no parameter \"NoSuchParameter\""},
        {{"params", "set", "Organization", "two\nlines"}, "one line"},
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
        {"unsign"}, {"cert", "include"}, {"cert", "list"}, {"cert", "report"}, {"crl", "include"}, {"ca", "include-transfer"},
        {"transfer", "export"}, {"transfer", "match"}, {"request"}, {"renew"}};
    // vorlan-keygen too, and neither takes --help or --version for a directory to make.
    for (const char* option : {"--help", "--version"}) {
        const Ran ran = Shell(world_->Dir(), "cd " + Quote(world_->Dir().string()) + " && " + Quote(BinDir() + "/vorlan-keygen") + " " + option);
        EXPECT_EQ(ran.exit, 0) << ran.err;
        EXPECT_NE(ran.out.find(option[2] == 'h' ? "DIRECTORY" : "vorlan-keygen "), std::string::npos) << ran.out;
        EXPECT_FALSE(fs::exists(world_->Dir() / option));
    }
    EXPECT_EQ(world_->Vorlan({"--version"}, "", false).out.rfind("vorlan ", 0), 0u);
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
        {{"cert", "include", P("garbage")}, "IncludePublicKey " + P("garbage") + ": -1018"},
        {{"crl", "include", P("missing.crl")}, "no such file"},
        {{"cert", "include", P("missing.pem")}, "no such file"},
        {{"cert", "report", "NOBODY"}, "GetReport NOBODY: -113"},
        {{"cert", "remove", "USER01"}, "-120"},
        {{"init", "--cert", P("missing.pem")}, "no such file"},
        {{"encrypt", "--to", "USER01", P("nothing"), out}, "nothing is empty: the library encrypts one byte at least"},
        {{"sign", P("nothing"), out}, "is empty: the library signs"},
        {{"decrypt", P("nothing"), out}, "is empty: no encrypted message"},
    };
    for (const Case& c : cases) {
        const Ran ran = world_->Vorlan(c.args, "", c.args.front() != "--root");
        EXPECT_EQ(ran.exit, 1) << c.args.front() << " " << c.args.at(1) << ": " << ran.err;
        EXPECT_NE(ran.err.find(c.fragment), std::string::npos) << ran.err;
        EXPECT_EQ(ran.err.find("incoming-"), std::string::npos) << "the user's file is named: " << ran.err;
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
    const Ran sealed = world_->Vorlan({"encrypt", "--to", " USER01", "--to", "USER01 ", "-", "-o", "-"}, data);
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

    ASSERT_EQ(world_->Vorlan({"sign", "-", "-o", P("data.sig")}, data).exit, 0);
    for (const char* flag : {"", "--ignore-time"}) {
        std::vector<std::string> args{"verify", P("data.bin"), P("data.sig")};
        if (*flag != '\0') args.insert(args.begin() + 1, flag);
        const Ran verified = world_->Vorlan(args);
        EXPECT_EQ(verified.exit, 0) << verified.err;
        EXPECT_EQ(verified.out.rfind("USER01\nsubject /CN=USER01\nissuer /CN=CA\nserial ", 0), 0u) << verified.out;
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

TEST_F(Host, OutputsAreNewFilesWithModesOfTheirOwn) {
    const auto mode = [](const std::string& file) {
        return static_cast<unsigned>(fs::symlink_status(file).permissions() & fs::perms::all);
    };
    const std::string vorlan = "umask 000; " + Quote(BinDir() + "/vorlan") + " --root ";
    const std::string root = P("modes"), user = vorlan + Quote(world_->Root()) + " ";
    ASSERT_EQ(Shell(world_->Dir(), vorlan + Quote(root + "/inst") + " init").exit, 0);
    for (const auto& [file, bits] : {std::pair{root, 0700u}, {root + "/inst/keys", 0700u}, {root + "/inst/vorlan.conf", 0600u}})
        EXPECT_EQ(mode(file), bits) << file;
    ASSERT_EQ(Shell(world_->Dir(), user + "encrypt --to USER01 " + Quote(P("letter.txt")) + " -o " + Quote(P("m.enc"))).exit, 0);
    ASSERT_EQ(Shell(world_->Dir(), user + "decrypt " + Quote(P("m.enc")) + " -o " + Quote(P("m.txt"))).exit, 0);
    EXPECT_EQ(mode(P("m.enc")), 0644u);
    EXPECT_EQ(mode(P("m.txt")), 0600u);
    // An output that exists keeps its mode; a link at its name is replaced, never followed.
    fs::permissions(P("m.txt"), static_cast<fs::perms>(0640));
    WriteFile(P("victim"), "kept");
    fs::create_symlink(P("victim"), P("link.txt"));
    for (const char* out : {"m.txt", "link.txt"})
        ASSERT_EQ(Shell(world_->Dir(), user + "decrypt " + Quote(P("m.enc")) + " -o " + Quote(P(out))).exit, 0);
    EXPECT_EQ(mode(P("m.txt")), 0640u);
    EXPECT_EQ(ReadFile(P("victim")), "kept");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(P("link.txt"))));
    EXPECT_EQ(ReadFile(P("link.txt")), ReadFile(P("letter.txt")));
    // Binary output goes to a terminal only when asked for.
    const std::string terminal = "script -qec " + Quote(user + "encrypt --to USER01 " + Quote(P("letter.txt"))) + " /dev/null";
    const Ran refused = Shell(world_->Dir(), terminal);
    EXPECT_EQ(refused.exit, 2);
    EXPECT_NE(refused.out.find("not written to a terminal"), std::string::npos) << refused.out;
    EXPECT_EQ(Shell(world_->Dir(), "script -qec " + Quote(user + "encrypt --to USER01 -o - " + Quote(P("letter.txt"))) +
                                       " /dev/null").exit, 0);
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
    EXPECT_EQ(cert.out.rfind("subject /CN=USER01\nissuer /CN=CA\nserial 1000\n", 0), 0u) << cert.out;
    EXPECT_EQ(ReadFile(P("USER01.pem")), certificate);
    EXPECT_EQ(ReadFile(P("USER01/certs/USER01.pem")), certificate);
    const Ran crl = world_->Vorlan({"crl", "include", P("crl.pem")});
    EXPECT_EQ(crl.exit, 0) << crl.err;
    EXPECT_TRUE(fs::exists(P("crl.pem")));
    const std::string report = world_->Vorlan({"cert", "report", "USER01"}).out;
    EXPECT_NE(report.find("CN=USER01"), std::string::npos);
    // Dates in the ISO form; the listing names every certificate with its facts, then the CRLs.
    const auto notAfter = report.find("\nNotAfter=20");
    ASSERT_NE(notAfter, std::string::npos) << report;
    EXPECT_EQ(report.substr(notAfter + 14, 15).find_first_not_of("0123456789-: "), std::string::npos) << report;
    EXPECT_EQ(report[notAfter + 14], '-');
    const Ran list = world_->Vorlan({"cert", "list"});
    EXPECT_EQ(list.exit, 0) << list.err;
    for (const std::string& line : {"own " + P("USER01/own.pem"), "certificate USER01 " + P("USER01/certs/USER01.pem"),
                                    std::string("    subject /CN=USER01\n    issuer /CN=CA\n    serial 1000\n    valid 20"),
                                    "CA " + P("USER01/keys/CA/ca1.pem") + "\n    subject /CN=CA", "CRL " + P("USER01/keys/CRL/")})
        EXPECT_NE(list.out.find(line), std::string::npos) << line << " in\n" << list.out;
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
    const Ran imported = world_->Vorlan({"transfer", "import", P("own.trf")});
    EXPECT_EQ(imported.out, "USER01\nsubject /CN=USER01\nissuer /CN=CA\nserial 1000\n") << imported.err;
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
    // An owner longer than a UID may be: refused by the library, and vorlan's buffer has the
    // room a library may fill anyway.
    const std::string owner(64, 'L');
    ASSERT_TRUE(world_->OpenSsl("req -new -newkey gost2012_256 -pkeyopt paramset:A -nodes -keyout long.key -subj /CN=" +
                                owner + " -out long.req"));
    ASSERT_TRUE(world_->OpenSsl("ca -batch -notext -config ca.cnf -in long.req -out long.pem"));
    ASSERT_EQ(world_->Vorlan({"transfer", "from-file", P("long.pem"), "-o", P("long.trf")}).exit, 0);
    const Ran longOwner = world_->Vorlan({"transfer", "show", P("long.trf")});
    EXPECT_EQ(longOwner.exit, 1);
    EXPECT_NE(longOwner.err.find("-110"), std::string::npos) << longOwner.err;
}

TEST_F(Host, RenewalWithoutItsUtilityFailsAndLeavesTheKeysWorking) {
    ASSERT_EQ(world_->Vorlan({"params", "set", "KeyGenerator", P("no-such-keygen")}).exit, 0);
    const Ran renew = world_->Vorlan({"renew", "-o", P("renew.trf")});
    ASSERT_EQ(world_->Vorlan({"params", "set", "KeyGenerator", ""}).exit, 0);
    EXPECT_EQ(renew.exit, 1);
    EXPECT_NE(renew.err.find("key generation utility"), std::string::npos) << renew.err;
    EXPECT_FALSE(fs::exists(P("renew.trf")));
    ASSERT_EQ(world_->Vorlan({"sign", P("letter.txt"), P("after.sig")}).exit, 0);
    EXPECT_EQ(world_->Vorlan({"verify", P("letter.txt"), P("after.sig")}).exit, 0);
    // The new keys are of the current certificate's kind, whatever the signature parameter says.
    ASSERT_EQ(world_->Vorlan({"params", "set", "SignatureAlgorithm", "SHA1"}).exit, 0);
    const Ran renewed = world_->Vorlan({"renew", "-o", P("renew.trf")});
    ASSERT_EQ(world_->Vorlan({"params", "set", "SignatureAlgorithm", "R3410-R3411"}).exit, 0);
    ASSERT_EQ(renewed.exit, 0) << renewed.err;
    EXPECT_NE(world_->Vorlan({"transfer", "show", P("renew.trf")}).out.find("PKeyAlg=GOST"), std::string::npos);
}

TEST_F(Host, KeyGeneratorKeepsAContainerUnlessForced) {
    const std::string keygen = Quote(BinDir() + "/vorlan-keygen") + " ", dir = P("kg");
    const Ran first = Shell(world_->Dir(), keygen + Quote(dir) + " gost");
    ASSERT_EQ(first.exit, 0) << first.err;
    const std::string identity = first.out.substr(0, first.out.find('\n'));
    const std::string key = ReadFile(dir + "/DB/SIGN/sec_sgn.key"), storage = ReadFile(dir + "/DB/CRYPT/ckd.key");
    const Ran again = Shell(world_->Dir(), keygen + Quote(dir) + " rsa");
    EXPECT_EQ(again.exit, 1);
    EXPECT_NE(again.err.find(identity), std::string::npos) << again.err;
    EXPECT_EQ(ReadFile(dir + "/DB/SIGN/sec_sgn.key"), key);
    // The installation's own container too: its keys still sign.
    EXPECT_EQ(Shell(world_->Dir(), keygen + Quote(world_->Root() + "/keys")).exit, 1);
    EXPECT_EQ(world_->Vorlan({"sign", P("letter.txt"), "-o", P("kg.sig")}).exit, 0);
    // --force: a new container, the old one whole in previous-DATE beside it.
    const Ran forced = Shell(world_->Dir(), keygen + "--force " + Quote(dir) + " rsa");
    EXPECT_EQ(forced.exit, 0) << forced.err;
    EXPECT_NE(forced.out, first.out);
    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("previous-", 0) == 0) aside.push_back(entry.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFile(aside[0] / "DB/SIGN/sec_sgn.key"), key);
    EXPECT_EQ(ReadFile(aside[0] / "DB/CRYPT/ckd.key"), storage);
    EXPECT_NE(ReadFile(aside[0] / "uz.db3").find(identity), std::string::npos);
}

TEST_F(Host, WithoutTheGostEngineGostOperationsSaySo) {
    ASSERT_EQ(world_->Vorlan({"encrypt", "--to", "USER01", P("letter.txt"), "-o", P("g.enc")}).exit, 0);
    ASSERT_EQ(world_->Vorlan({"sign", P("letter.txt"), "-o", P("g.sig")}).exit, 0);
    const std::string noEngine = "OPENSSL_ENGINES=" + Quote(P("no-engines"));
    const std::vector<std::string> commands[] = {{"sign", P("letter.txt"), "-o", P("g2.sig")},
                                                 {"decrypt", P("g.enc"), "-o", P("g.txt")},
                                                 {"encrypt", "--to", "USER01", P("letter.txt"), "-o", P("g2.enc")},
                                                 {"verify", P("letter.txt"), P("g.sig")},
                                                 {"crl", "include", P("crl.pem")}};
    for (const auto& args : commands) {
        const Ran ran = world_->Vorlan(args, "", true, noEngine);
        EXPECT_EQ(ran.exit, 1) << args.front();
        EXPECT_NE(ran.err.find(": -1060 GOST engine not loaded"), std::string::npos) << ran.err;
    }
    const Ran info = world_->Vorlan({"info"}, "", true, noEngine);
    EXPECT_NE(info.out.find("/mplugf.so\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("; GOST engine NOT loaded"), std::string::npos) << info.out;
    EXPECT_NE(world_->Vorlan({"info"}).out.find("; GOST engine loaded"), std::string::npos);
}

TEST_F(Host, WithoutLibraryOrToolkitEveryCommandFailsWith1) {
    const Ran noLibrary = world_->Vorlan({"info"}, "", false, "VORLAN_LIBRARY=" + Quote(P("no-such-library.so")));
    EXPECT_EQ(noLibrary.exit, 1);
    EXPECT_NE(noLibrary.err.find("cannot load"), std::string::npos) << noLibrary.err;
    // The program and the library alone, without a toolkit plug-in beside them.
    const fs::path lonely = world_->Dir() / "lonely";
    fs::create_directories(lonely);
    for (const char* file : {"vorlan", "libvorlan13.so.1"})
        fs::copy_file(BinDir() + "/" + file, lonely / file, fs::copy_options::overwrite_existing);
    // A plug-in on the system's search path (or in the current directory) is never loaded.
    const std::string host = "cd " + Quote(BinDir()) + " && LD_LIBRARY_PATH=" + Quote(BinDir()) + " " +
                             Quote((lonely / "vorlan").string()) + " --root " + Quote(world_->Root());
    for (const std::string& command :
         std::vector<std::string>{"encrypt --to USER01 - -", "verify - " + Quote(P("garbage")), "transfer export"}) {
        const Ran ran = Shell(world_->Dir(), host + " " + command, "data");
        EXPECT_EQ(ran.exit, 1) << command << ": " << ran.err;
        EXPECT_NE(ran.err.find("vorlan: no usable toolkit plug-in"), std::string::npos) << ran.err;
        EXPECT_NE(ran.err.find(": -127 "), std::string::npos) << ran.err;
    }
    // A host that loads the library from elsewhere finds the plug-in beside the library.
    const fs::path alone = world_->Dir() / "alone";
    fs::create_directories(alone);
    fs::copy_file(BinDir() + "/vorlan", alone / "vorlan", fs::copy_options::overwrite_existing);
    const Ran beside = Shell(world_->Dir(), "VORLAN_LIBRARY=" + Quote(BinDir() + "/libvorlan13.so") + " " +
                                                Quote((alone / "vorlan").string()) + " --root " + Quote(world_->Root()) +
                                                " encrypt --to USER01 - -o -", "data");
    EXPECT_EQ(beside.exit, 0) << beside.err;
}

}  // namespace
}  // namespace vorlan::test
