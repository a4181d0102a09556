// ExportApi: the exports the demonstration calls, resolved by name from the loaded library,
// so that the host reaches the engines exactly as any other host does.
#pragma once

#include <string>
#include <vector>

#include "library.h"
#include "vorlan13.h"

namespace vorlan::cli {

#define VORLAN_CLI_EXPORTS(X)                                                                              \
    X(GetCryptObj) X(DoneEngine) X(SetRootPath) X(GetCryptoParamNumber) X(GetCryptoParamName)              \
    X(GetCryptoParamValue) X(SetCryptoParamValue) X(GetMaxCryptoParamNameLength)                            \
    X(GetMaxCryptoParamValueLength) X(GetMaxErrorStringLength) X(GetCryptoErrorString) X(GetMaxUIDLength)  \
    X(IncludePublicKey) X(IncludeCRL) X(GetMaxAdditionEx) X(EncodeData) X(DecodeData)                      \
    X(GetMaxSignatureLength) X(SignData) X(VerifyData) X(GetMaxSignAddition) X(AddSign) X(RemoveSign)      \
    X(GetCurrentUserUID) X(ClearCash)

struct ExportApi {
#define VORLAN_CLI_MEMBER(name) decltype(&::name) name = nullptr;
    VORLAN_CLI_EXPORTS(VORLAN_CLI_MEMBER)
#undef VORLAN_CLI_MEMBER

    // Resolve: fills every pointer from the library; false with the missing names otherwise.
    bool Resolve(const Library& library, std::vector<std::string>& missing);
    // ErrorText: the library's text of a result code for the engine ("" when it has none).
    std::string ErrorText(VORLAN_HANDLE engine, std::int32_t code) const;
};

}  // namespace vorlan::cli
