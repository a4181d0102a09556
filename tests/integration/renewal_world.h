// A world for key renewal tests: users whose keys live in a PSE (made by GenerateNewSEK),
// a certification authority run with the openssl command line as an outside CA runs it,
// and the host's side of a renewal: the steps, the key generation utility, the CA's answer.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "installation.h"
#include "pki/openssl_ca.h"

namespace vorlan::test {

class RenewalWorld {
public:
    // RenewalWorld: a fresh directory inside the installation, a CA and its empty CRL.
    RenewalWorld(const Installation& install, const std::string& name);
    ~RenewalWorld();
    RenewalWorld(const RenewalWorld&) = delete;
    RenewalWorld& operator=(const RenewalWorld&) = delete;

    // Enroll: a user with keys made by GenerateNewSEK, certified by the CA, filed for every user.
    void Enroll(const std::string& user, long serial);
    // Params: the user's engine parameters.
    std::vector<std::pair<int, std::string>> Params(const std::string& user) const;
    // Open: the user's engine: PSE, own certificate and directories, remote generation and
    // backup directories "R_<user>" and "B_<user>".
    EnginePtr Open(const std::string& user) const;
    // Issue: the CA's certificate for a request file; the certificate's path.
    std::string Issue(const std::string& request, long serial) const;
    // CA: the world's certification authority (its certificate is CA\\ca.pem, its CRL CRL\\crl.pem).
    const OpensslCA& CA() const { return *ca_; }
    // Keygen: the key generation utility run on a directory of the world.
    bool Keygen(const std::string& dir) const;

    // StartRenewal: StartEx 0 -> 2 -> 3 -> 5, the utility, 5 -> 2 ("LAST STEP"), 2 -> 1, in
    // family 0 or 10; the request transfer.
    std::string StartRenewal(VORLAN_HANDLE h, const std::string& user, int family, const char* name) const;
    // Answer: the CA's side, with `clerk`'s engine: the request out of the transfer, the
    // certificate issued, and its transfer back.
    std::string Answer(const std::string& requestTransfer, const std::string& clerk, long serial) const;
    // TransferOf: the transfer of a certificate file, built by `clerk`'s engine.
    std::string TransferOf(const std::string& certificate, const std::string& clerk) const;

    // Sign / Verifies: a detached signature by the user; the signer UID that `checker` finds
    // ("code N" when the verification fails).
    std::string Sign(VORLAN_HANDLE h, const std::string& data) const;
    std::string SignerFor(const std::string& checker, const std::string& data, const std::string& signature) const;

    // Tree: the files below a directory of the world (relative names, "/" separated) and their
    // content; lock files, which hold none, are left out.
    std::map<std::string, std::string> Tree(const std::string& relative) const;
    std::string Path(const std::string& relative) const { return base_ + relative; }
    std::string Native(const std::string& relative) const;
    static std::string ErrorText(VORLAN_HANDLE h, std::int32_t code);

private:
    const Installation& install_;
    std::string base_;  // ends in a backslash
    bool gost_;
    std::unique_ptr<OpensslCA> ca_;
};

}  // namespace vorlan::test
