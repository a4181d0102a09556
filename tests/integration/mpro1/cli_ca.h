// A certification authority run through the `openssl` command line, as an outside CA
// works: its own key and certificate, user keys and certificates, and certificates
// issued from request files with `openssl x509 -req`. GOST through the GOST engine.
#pragma once

#include <string>

namespace vorlan::test {

enum class CliAlgorithm { Gost, Rsa };

class CliCA {
public:
    // CliCA: a new CA key and self-signed certificate in dir (native path).
    CliCA(const std::string& dir, CliAlgorithm algorithm);
    // Usable: false when a command failed (GOST without the engine, for example).
    bool Usable() const { return usable_; }
    const std::string& CertFile() const { return cert_; }
    // NewUser: a key (PKCS#8 PEM) and a certificate with CN cn and the serial.
    bool NewUser(const std::string& cn, long serial, const std::string& keyFile, const std::string& certFile);
    // Issue: a certificate for the key and subject of a PEM request file.
    bool Issue(const std::string& requestFile, long serial, const std::string& certFile);

private:
    bool Run(const std::string& arguments) const;
    bool NewKey(const std::string& keyFile) const;
    std::string dir_, key_, cert_, extensions_;
    CliAlgorithm algorithm_;
    bool usable_ = false;
};

}  // namespace vorlan::test
