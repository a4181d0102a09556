#include "cli_ca.h"

#include <cstdlib>
#include <fstream>

namespace vorlan::test {

namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

CliCA::CliCA(const std::string& dir, CliAlgorithm algorithm)
    : dir_(dir), key_(dir + "/ca.key"), cert_(dir + "/ca.pem"), extensions_(dir + "/user.ext"), algorithm_(algorithm) {
    std::ofstream(extensions_) << "basicConstraints=CA:FALSE\n"
                                  "keyUsage=digitalSignature,nonRepudiation,keyEncipherment,keyAgreement\n";
    const std::string name = algorithm == CliAlgorithm::Gost ? "Test CA GOST" : "Test CA RSA";
    usable_ = NewKey(key_) &&
              Run("req -x509 -new -key " + Quoted(key_) + " -subj " + Quoted("/C=RU/O=Test Bank/CN=" + name) +
                  " -days 3650 -out " + Quoted(cert_));
}

bool CliCA::Run(const std::string& arguments) const {
    // GOST keys and digests need the engine on every command; RSA keeps OpenSSL's defaults.
    const bool gost = algorithm_ == CliAlgorithm::Gost;
    std::string command = "openssl " + arguments;
    if (gost) {
        const auto space = command.find(' ', 8);
        command.insert(space, " -engine gost");
        if (arguments.rfind("req", 0) == 0 || arguments.rfind("x509", 0) == 0) command += " -md_gost12_256";
    } else if (arguments.rfind("req", 0) == 0 || arguments.rfind("x509", 0) == 0) {
        command += " -sha256";
    }
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool CliCA::NewKey(const std::string& keyFile) const {
    return Run(std::string("genpkey ") +
               (algorithm_ == CliAlgorithm::Gost ? "-algorithm gost2012_256 -pkeyopt paramset:A"
                                                 : "-algorithm RSA -pkeyopt rsa_keygen_bits:2048") +
               " -out " + Quoted(keyFile));
}

bool CliCA::NewUser(const std::string& cn, long serial, const std::string& keyFile, const std::string& certFile) {
    const std::string request = dir_ + "/user.csr";
    return NewKey(keyFile) &&
           Run("req -new -key " + Quoted(keyFile) + " -subj " + Quoted("/C=RU/O=Test Bank/CN=" + cn) + " -out " +
               Quoted(request)) &&
           Issue(request, serial, certFile);
}

bool CliCA::Issue(const std::string& requestFile, long serial, const std::string& certFile) {
    return Run("x509 -req -in " + Quoted(requestFile) + " -CA " + Quoted(cert_) + " -CAkey " + Quoted(key_) +
               " -set_serial " + std::to_string(serial) + " -days 365 -extfile " + Quoted(extensions_) + " -out " +
               Quoted(certFile));
}

}  // namespace vorlan::test
