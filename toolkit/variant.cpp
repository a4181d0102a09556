// Compiled once per plug-in with VORLAN_TOOLKIT_VARIANT set to 0 or 1.
#include "params.h"

#ifndef VORLAN_TOOLKIT_VARIANT
#error "VORLAN_TOOLKIT_VARIANT must be defined"
#endif

namespace vtk {

int Variant() { return VORLAN_TOOLKIT_VARIANT; }

std::string ParamName(int index) {
    static const char* const kNames[] = {
        "CertificateFile", "CertificateDir", Variant() == 0 ? "KeyDir" : "PSEDir", "Cipher", "SignatureAlgorithm",
        "RSAKeySize", "PrivateKeyFile", "Password", "RequestFile", "CACertificateFile", "Country", "State",
        "Locality", "Organization", "OrganizationalUnit", "CommonName", "Email", "CRLFile", "Recipients",
        "UIDField", "Flag", "ContextLifetime", "Directory", Variant() == 0 ? "CADir" : "Title",
        Variant() == 0 ? "CRLDir" : "CADir", "CRLDir"};
    if (index < 0 || index >= ParamCount()) return {};
    return kNames[index];
}

}  // namespace vtk
