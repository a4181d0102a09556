#include "pki/openssl_ca.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>

namespace vorlan::test {

namespace {

// UtcStamp: now + days as the database writes dates (YYMMDDHHMMSSZ).
std::string UtcStamp(long days) {
    const std::time_t t = std::time(nullptr) + days * 86400;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%y%m%d%H%M%SZ", &tm);
    return text;
}

// Dates: the validity options of `openssl ca` (start and end empty: now, one year).
std::string Dates(const std::string& start, const std::string& end) {
    return start.empty() ? " -days 365" : " -startdate " + start + " -enddate " + end;
}

}  // namespace

std::string OpensslCA::Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

OpensslCA::OpensslCA(std::string dir, Algorithm algorithm, int rsaBits)
    : dir_(std::move(dir)), caCert_(dir_ + "/ca.pem"), caKey_(dir_ + "/ca.key"), algorithm_(algorithm), rsaBits_(rsaBits) {
    std::filesystem::create_directories(dir_);
    if (std::ifstream(dir_ + "/serial")) return;
    std::ofstream(dir_ + "/index.txt");
    std::ofstream(dir_ + "/serial") << "5000\n";
    std::ofstream(dir_ + "/crlnumber") << "01\n";
    WriteConfig(dir_ + "/ca.cnf", true);
    WriteConfig(dir_ + "/unnumbered.cnf", false);
    std::ofstream(dir_ + "/ca.ext") << "basicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n";
    std::ofstream(dir_ + "/user.ext") << "basicConstraints = CA:FALSE\n"
                                      << "keyUsage = digitalSignature, nonRepudiation, keyEncipherment, keyAgreement\n";
}

void OpensslCA::WriteConfig(const std::string& file, bool numbered) const {
    std::ofstream(file) << "[ca]\ndefault_ca = own\n[own]\ndatabase = " << dir_ << "/index.txt\nnew_certs_dir = " << dir_
                        << "\nserial = " << dir_ << "/serial\n"
                        << (numbered ? "crlnumber = " + dir_ + "/crlnumber\n" : "") << "default_md = " << Digest()
                        << "\ndefault_crl_days = 30\npolicy = any\nunique_subject = no\n[any]\ncommonName = optional\n";
}

bool OpensslCA::Run(const std::string& command, const std::string& arguments) const {
    // GOST keys and digests need the engine on every command.
    const std::string line = "openssl " + command + (algorithm_ == Algorithm::Gost ? " -engine gost " : " ") + arguments +
                             " >>" + Quote(dir_ + "/openssl.log") + " 2>&1";
    return std::system(line.c_str()) == 0;
}

std::string OpensslCA::Digest() const { return algorithm_ == Algorithm::Gost ? "md_gost12_256" : "sha256"; }

bool OpensslCA::MakeRoot(const std::string& subject, int days, const std::string& certFile) {
    if (!certFile.empty()) caCert_ = certFile;
    caKey_ = dir_ + "/ca.key";
    return NewKey(caKey_) &&
           Run("req", "-new -x509 -" + Digest() + " -days " + std::to_string(days) + " -key " + Quote(caKey_) + " -subj " +
                          Quote(subject) + " -addext 'basicConstraints=critical,CA:TRUE'" +
                          " -addext 'keyUsage=critical,keyCertSign,cRLSign' -out " + Quote(caCert_));
}

void OpensslCA::UseRoot(std::string certFile, std::string keyFile) {
    caCert_ = std::move(certFile);
    caKey_ = std::move(keyFile);
}

bool OpensslCA::NewKey(const std::string& keyFile) const {
    const std::string algorithm = algorithm_ == Algorithm::Gost
                                      ? "-algorithm gost2012_256 -pkeyopt paramset:A"
                                      : "-algorithm RSA -pkeyopt rsa_keygen_bits:" + std::to_string(rsaBits_);
    return Run("genpkey", algorithm + " -out " + Quote(keyFile));
}

bool OpensslCA::Request(const std::string& keyFile, const std::string& subject, const std::string& requestFile) const {
    return Run("req", "-new -utf8 -" + Digest() + " -key " + Quote(keyFile) + " -subj " + Quote(subject) + " -out " +
                          Quote(requestFile));
}

bool OpensslCA::Issue(const std::string& subject, const std::string& certFile, const std::string& keyFile,
                      const std::string& start, const std::string& end) const {
    const std::string request = dir_ + "/request.pem";
    return NewKey(keyFile) && Request(keyFile, subject, request) &&
           Run("ca", "-batch -utf8 -notext -preserveDN -config " + Quote(dir_ + "/ca.cnf") + " -md " + Digest() + " -cert " +
                         Quote(caCert_) + " -keyfile " + Quote(caKey_) + " -in " + Quote(request) + " -out " +
                         Quote(certFile) + Dates(start, end));
}

bool OpensslCA::IssueRequest(const std::string& requestFile, long serial, const std::string& certFile, int days) const {
    return Run("x509", "-req -" + Digest() + " -in " + Quote(requestFile) + " -CA " + Quote(caCert_) + " -CAkey " +
                           Quote(caKey_) + " -set_serial " + std::to_string(serial) + " -days " + std::to_string(days) +
                           " -extfile " + Quote(dir_ + "/user.ext") + " -out " + Quote(certFile));
}

bool OpensslCA::NewUser(const std::string& subject, long serial, const std::string& keyFile, const std::string& certFile) const {
    const std::string request = dir_ + "/user.csr";
    return NewKey(keyFile) && Request(keyFile, subject, request) && IssueRequest(request, serial, certFile);
}

bool OpensslCA::SelfSigned(const std::string& subject, const std::string& certFile, const std::string& keyFile) const {
    return NewKey(keyFile) && Run("req", "-new -x509 -" + Digest() + " -days 365 -key " + Quote(keyFile) + " -subj " +
                                             Quote(subject) + " -out " + Quote(certFile));
}

bool OpensslCA::IssueCA(const std::string& subject, const std::string& certFile, const std::string& keyFile,
                        const std::string& start, const std::string& end) const {
    const std::string request = dir_ + "/request.pem";
    return NewKey(keyFile) && Request(keyFile, subject, request) &&
           Run("ca", "-batch -notext -preserveDN -config " + Quote(dir_ + "/ca.cnf") + " -md " + Digest() + " -extfile " +
                         Quote(dir_ + "/ca.ext") + " -cert " + Quote(caCert_) + " -keyfile " + Quote(caKey_) + " -in " +
                         Quote(request) + " -out " + Quote(certFile) + Dates(start, end));
}

bool OpensslCA::Reissue(const std::string& subject, const std::string& certFile) const {
    return Run("req", "-new -x509 -" + Digest() + " -days 730 -key " + Quote(caKey_) + " -subj " + Quote(subject) +
                          " -out " + Quote(certFile));
}

void OpensslCA::Revoke(long serial) const {
    char hex[32];
    std::snprintf(hex, sizeof hex, "%02lX", static_cast<unsigned long>(serial));
    std::ofstream(dir_ + "/index.txt", std::ios::app)
        << "R\t" << UtcStamp(300) << "\t" << UtcStamp(-3) << "\t" << hex << "\tunknown\t/CN=REVOKED\n";
}

bool OpensslCA::WriteCRL(const std::string& file, CRLOptions options) const {
    // The time is given only when it is not now: a date in the past or the future.
    const std::string issued =
        options.lastUpdateDays == 0 ? "" : " -crl_lastupdate 20" + UtcStamp(options.lastUpdateDays);
    return Run("ca", "-gencrl -config " + Quote(dir_ + (options.numbered ? "/ca.cnf" : "/unnumbered.cnf")) + " -md " +
                         Digest() + " -cert " + Quote(caCert_) + " -keyfile " + Quote(caKey_) + issued + " -out " +
                         Quote(file));
}

}  // namespace vorlan::test
