// Certificates made by the `openssl` command line, as an outside CA makes them: a new key
// and a certificate for a subject ("/K=V/...", "\/" for a slash inside a value), issued by
// a CA certificate and key on disk with `openssl ca`, or self-signed. GOST via the engine.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

namespace vorlan::test {

class OpensslCli {
public:
    // dir: an existing directory for the CA's database (kept across instances, so serial
    // numbers stay unique) and the command output; rsaBits: the size of new RSA keys.
    OpensslCli(std::string dir, bool gost, int rsaBits = 2048) : dir_(std::move(dir)), gost_(gost), rsaBits_(rsaBits) {
        if (std::ifstream(dir_ + "/serial")) return;
        std::ofstream(dir_ + "/index.txt");
        std::ofstream(dir_ + "/serial") << "5000\n";
        std::ofstream(dir_ + "/ca.cnf") << "[ca]\ndefault_ca = own\n[own]\ndatabase = " << dir_
                                         << "/index.txt\nnew_certs_dir = " << dir_ << "\nserial = " << dir_
                                         << "/serial\npolicy = any\nunique_subject = no\n[any]\ncommonName = optional\n";
    }

    // Issue: key and certificate files for subject, signed by the CA; start and end are
    // openssl dates (YYYYMMDDHHMMSSZ), empty for "now, one year".
    bool Issue(const std::string& subject, const std::string& caCert, const std::string& caKey, const std::string& certFile,
               const std::string& keyFile, const std::string& start = "", const std::string& end = "") const {
        const std::string request = dir_ + "/request.pem";
        const std::string dates = start.empty() ? " -days 365" : " -startdate " + start + " -enddate " + end;
        return Run("req -new" + NewKey(keyFile) + " -subj " + Quote(subject) + " -out " + Quote(request)) &&
               Run("ca -batch -notext -preserveDN -config " + Quote(dir_ + "/ca.cnf") +
                   (gost_ ? " -md md_gost12_256" : " -md sha256") + " -cert " + Quote(caCert) +
                   " -keyfile " + Quote(caKey) + " -in " + Quote(request) + " -out " + Quote(certFile) + dates);
    }

    // Revoke: a CRL file of the CA (valid 30 days) that lists certFile and every certificate
    // revoked by this instance's database before.
    bool Revoke(const std::string& certFile, const std::string& caCert, const std::string& caKey,
                const std::string& crlFile) const {
        const std::string ca = "ca -config " + Quote(dir_ + "/ca.cnf") + (gost_ ? " -md md_gost12_256" : " -md sha256") +
                               " -cert " + Quote(caCert) + " -keyfile " + Quote(caKey);
        return Run(ca + " -revoke " + Quote(certFile)) && Run(ca + " -gencrl -crldays 30 -out " + Quote(crlFile));
    }

    // SelfSigned: key and self-signed certificate files for subject.
    bool SelfSigned(const std::string& subject, const std::string& certFile, const std::string& keyFile) const {
        return Run("req -x509 -days 365" + NewKey(keyFile) + " -subj " + Quote(subject) + " -out " + Quote(certFile));
    }

private:
    static std::string Quote(const std::string& text) {
        std::string out = "'";
        for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    }
    std::string NewKey(const std::string& keyFile) const {
        return (gost_ ? " -newkey gost2012_256 -pkeyopt paramset:A" : " -newkey rsa:" + std::to_string(rsaBits_)) + std::string(" -nodes -keyout ") +
               Quote(keyFile);
    }
    bool Run(const std::string& arguments) const {
        const std::string engine = gost_ ? " -engine gost" : "";
        const auto space = arguments.find(' ');
        const std::string command = "openssl " + arguments.substr(0, space) + engine + arguments.substr(space) + " >>" +
                                    Quote(dir_ + "/openssl.log") + " 2>&1";
        return std::system(command.c_str()) == 0;
    }

    std::string dir_;
    bool gost_;
    int rsaBits_;
};

}  // namespace vorlan::test
