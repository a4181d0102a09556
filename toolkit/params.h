// Toolkit parameter numbers (zero-based) and the two plug-in variants that differ in
// their parameter count and in the meaning of the last numbers.
#pragma once

#include <string>

namespace vtk {

enum Param : int {
    kOwnCertificate = 0,
    kCertificateDir = 1,
    kKeyDir = 2,  // PSE directory in variant 1
    kCipher = 3,
    kSignatureAlg = 4,
    kRsaKeySize = 5,
    kPrivateKeyFile = 6,
    kPassword = 7,
    kRequestFile = 8,
    kCaCertificateFile = 9,
    kCountry = 10,
    kState = 11,
    kLocality = 12,
    kOrganization = 13,
    kUnit = 14,
    kCommonName = 15,
    kEmail = 16,
    kCrlFile = 17,
    kRecipients = 18,
    kUidField = 19,
    kFlag = 20,
    kLifetime = 21,
    kDirectory = 22,
};

// Variant: 0 for mplug (25 parameters), 1 for mplugf (26 parameters).
int Variant();
// ParamCount: 25 or 26.
inline int ParamCount() { return Variant() == 0 ? 25 : 26; }
// CaDirParam / CrlDirParam / TitleParam: numbers that depend on the variant (-1: none).
inline int CaDirParam() { return Variant() == 0 ? 23 : 24; }
inline int CrlDirParam() { return Variant() == 0 ? 24 : 25; }
inline int TitleParam() { return Variant() == 0 ? -1 : 23; }
// ParamName: the name of a parameter number ("" when out of range).
std::string ParamName(int index);

}  // namespace vtk
