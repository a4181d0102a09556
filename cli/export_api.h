// ExportApi: the exports the host calls, as pointers of the types vorlan13.h declares,
// resolved by name from the loaded library.
#pragma once

#include <string>

#include "host_system.h"
#include "vorlan13.h"

namespace vorlan::cli {

#define VORLAN_CLI_EXPORTS(X)                                                                                 \
    X(GetCryptObj) X(DoneEngine) X(SetRootPath) X(SetRemoteGeneratePath) X(GetCryptoParamNumber)              \
    X(GetCryptoParamName) X(GetCryptoParamValue) X(SetCryptoParamValue) X(GetParamInfo)                       \
    X(GetMaxCryptoParamNameLength) X(GetMaxCryptoParamValueLength) X(GetMaxErrorStringLength)                 \
    X(GetCryptoErrorString) X(GetLastErrorMessage) X(GetMaxUIDLength) X(GetMaxEncodeAddition)                 \
    X(GetMaxSignatureLength) X(GetMaxSignAddition) X(GetMaxPasswordLength) X(GetMaxPublicKeyTransferSize)     \
    X(GetMaxReportSize) X(GetMaxFilePathLength) X(GetRemoteGenType) X(GetCurrentUserUID) X(GetMaxAdditionEx)  \
    X(EncodeData) X(DecodeData) X(SignData) X(VerifyData) X(VerifySignWOCheckValidity) X(AddSign)             \
    X(RemoveSign) X(IncludePublicKey) X(RemoveCertificate) X(UpdateCertificateCash) X(IncludeCRL)             \
    X(GetReport) X(GetPublicKeyPropertiesByFile) X(GetPublicKeyPropertiesByTransfer)                          \
    X(IncludeCACertificateFromTransfer) X(GetPublicKeyTransfer) X(ExcludeSelfPublicKeyTransfer)               \
    X(IncludePublicKeyTransfer) X(SavePublicKeyFromTransfer) X(GetPublicKeyTransferByFile)                    \
    X(GetUIDByPublicKeyTransfer) X(CertAndRequestTransferMatch) X(CreateDirStructure) X(GenerateNewSEK)       \
    X(RemoteGenerateStartEx) X(RemoteGenerateFinishEx)

struct ExportApi {
#define VORLAN_CLI_MEMBER(name) decltype(&::name) name = nullptr;
    VORLAN_CLI_EXPORTS(VORLAN_CLI_MEMBER)
#undef VORLAN_CLI_MEMBER

    // Resolve: fills every pointer from the module; the first missing name, "" when none is.
    std::string Resolve(const host::Module& module);
};

}  // namespace vorlan::cli
