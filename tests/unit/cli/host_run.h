// Running vorlan as a user runs it: a process with arguments, standard input from a file,
// standard output and error captured; and a world for it: a temporary directory with a CA
// made by the openssl command line and USER01's installation made with vorlan itself.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vorlan::test {

struct Ran {
    int exit = -1;
    std::string out, err;
};

inline std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& file, const std::string& data) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << data;
}

inline std::string BinDir() {
    const char* dir = std::getenv("VORLAN_BIN_DIR");
    return dir != nullptr ? dir : ".";
}

// Shell: a command line through /bin/sh with standard input from input; what it left.
inline Ran Shell(const std::filesystem::path& scratch, const std::string& command, const std::string& input = "") {
    WriteFile(scratch / "stdin", input);
    const std::string line = command + " <" + Quote((scratch / "stdin").string()) + " >" +
                             Quote((scratch / "stdout").string()) + " 2>" + Quote((scratch / "stderr").string());
    const int status = std::system(line.c_str());
    Ran ran;
    ran.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ran.out = ReadFile(scratch / "stdout");
    ran.err = ReadFile(scratch / "stderr");
    return ran;
}

// World: the directory of the suite, its CA and USER01's installation.
class World {
public:
    World() {
        char pattern[] = "/tmp/vorlan_cli_XXXXXX";
        dir_ = ::mkdtemp(pattern) != nullptr ? std::filesystem::path(pattern) : std::filesystem::path();
    }
    ~World() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    const std::filesystem::path& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Root() const { return Path("USER01"); }

    // Vorlan: vorlan with the arguments (after "--root USER01" unless root is false).
    Ran Vorlan(const std::vector<std::string>& args, const std::string& input = "", bool root = true,
               const std::string& environment = "") const {
        std::string line = environment + " " + Quote(BinDir() + "/vorlan");
        if (root) line += " --root " + Quote(Root());
        for (const std::string& arg : args) line += " " + Quote(arg);
        return Shell(dir_, line, input);
    }
    // OpenSsl: the openssl command line with the GOST engine; true when it succeeded.
    bool OpenSsl(const std::string& arguments) const {
        const auto space = arguments.find(' ');
        return Shell(dir_, "cd " + Quote(dir_.string()) + " && openssl " + arguments.substr(0, space) + " -engine gost" +
                               arguments.substr(space)).exit == 0;
    }

    // Build: the CA (key, certificate, empty CRL) and USER01's installation, step by step as a
    // user makes it: init, the key container, the request, the CA's certificate, the layout.
    void Build() const {
        WriteFile(dir_ / "ca.cnf",
                  "[ca]\ndefault_ca = d\n[d]\ndatabase = index.txt\nnew_certs_dir = .\nserial = serial\n"
                  "crlnumber = crlnumber\ncertificate = ca.pem\nprivate_key = ca.key\ndefault_md = md_gost12_256\n"
                  "default_days = 30\ndefault_crl_days = 30\npolicy = any\nunique_subject = no\n[any]\ncommonName = supplied\n");
        WriteFile(dir_ / "index.txt", "");
        WriteFile(dir_ / "serial", "1000\n");
        WriteFile(dir_ / "crlnumber", "01\n");
        ASSERT_TRUE(OpenSsl("genpkey -algorithm gost2012_256 -pkeyopt paramset:A -out ca.key"));
        ASSERT_TRUE(OpenSsl("req -new -x509 -days 30 -key ca.key -subj /CN=CA -addext basicConstraints=critical,CA:TRUE "
                            "-out ca.pem"));
        ASSERT_TRUE(OpenSsl("ca -config ca.cnf -gencrl -out crl.pem"));
        ASSERT_EQ(Vorlan({"init", "--subject", "/C=RU/O=Test/CN=USER01"}).exit, 0);
        ASSERT_EQ(Shell(dir_, Quote(BinDir() + "/vorlan-keygen") + " " + Quote(Path("USER01/keys")) + " gost").exit, 0);
        ASSERT_EQ(Vorlan({"request", "-o", Path("USER01.req")}).exit, 0);
        ASSERT_TRUE(OpenSsl("ca -batch -notext -config ca.cnf -in USER01.req -out USER01.pem"));
        const Ran laid = Vorlan({"init", "--cert", Path("USER01.pem"), "--ca", Path("ca.pem")});
        ASSERT_EQ(laid.exit, 0) << laid.err;
        const Ran crl = Vorlan({"crl", "include", Path("crl.pem")});
        ASSERT_EQ(crl.exit, 0) << crl.err;
    }

private:
    std::filesystem::path dir_;
};

}  // namespace vorlan::test
