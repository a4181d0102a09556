// The commands of vorlan, one function each, called by the command line once it is parsed.
// Each returns the exit code (0) or throws Failure (1) or UsageError (2). An output named ""
// is standard output by default, "-" standard output as asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host.h"

namespace vorlan::cli {

// ---- installation and information (setup_commands.cpp) -----------------------------------
struct InitOptions {
    bool rsa = false;
    bool gost = false;
    std::string subject;               // "/C=RU/O=.../CN=..." for new requests
    std::string certificate;           // lay out with CreateDirStructure from this certificate
    std::vector<std::string> caFiles;  // and these CA certificates
};
int Init(Host& host, const InitOptions& options);
int ParamsList(Host& host);
int ParamsGet(Host& host, const std::string& key);
int ParamsSet(Host& host, const std::string& key, const std::string& value);
int ErrorText(Host& host, std::int32_t code);
int Info(Host& host);

// ---- messages (message_commands.cpp) -------------------------------------------------------
int Encrypt(Host& host, const std::vector<std::string>& recipients, const std::string& in, const std::string& out);
int Decrypt(Host& host, const std::string& in, const std::string& out);
int Sign(Host& host, bool attached, const std::string& in, const std::string& out);
int Verify(Host& host, bool ignoreTime, const std::string& data, const std::string& signature);
int Unsign(Host& host, const std::string& in, const std::string& out);

// ---- certificate store (store_commands.cpp, store_listing.cpp) ----------------------------
int CertList(Host& host);
int CertInclude(Host& host, const std::string& file);
int CertRemove(Host& host, const std::string& uid);
int CertReport(Host& host, const std::string& uid, const std::string& file);
int CertUpdateCache(Host& host, const std::string& file);
int CrlInclude(Host& host, const std::string& file);
int CaIncludeTransfer(Host& host, const std::string& transfer);

// ---- public key transfers (transfer_commands.cpp) ------------------------------------------
int TransferExport(Host& host, const std::string& uid, const std::string& out);
int TransferImport(Host& host, const std::string& transfer);
int TransferShow(Host& host, const std::string& transfer);
int TransferSave(Host& host, const std::string& transfer, const std::string& directory, const std::string& name);
int TransferFromFile(Host& host, const std::string& file, const std::string& out);
int TransferMatch(Host& host, const std::string& certificateTransfer, const std::string& requestTransfer);

// ---- keys (renewal_commands.cpp) -----------------------------------------------------------
int Request(Host& host, const std::string& out);
int Renew(Host& host, const std::string& name, bool fromParams, const std::string& out);
int RenewFinish(Host& host, const std::string& transfer);

}  // namespace vorlan::cli
