// TCryptoEngine: the abstract engine. Its virtual functions, declared in slot order,
// are the operation table that every export calls through; each carries its default.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorlan {

class TSyncExceptStr;

// Word: a plain 32-bit argument on Win32 (pointer-sized, so it can carry an address).
using Word = std::intptr_t;

class TCryptoEngine {
public:
    // Slot 11: the constructor. Creates ExceptStr, the two empty parameter lists, clears the paths.
    TCryptoEngine();
    virtual ~TCryptoEngine();
    TCryptoEngine(const TCryptoEngine&) = delete;
    TCryptoEngine& operator=(const TCryptoEngine&) = delete;

    // ---- operation table, slots 0 to 81 --------------------------------------------
    // Defaults: an operation noted "-1" is not provided by this class; one noted
    // "abstract" raises EAbstractError; the others say what they do.
    // Reserved0 to Reserved8: plain 32-bit arguments with no role here; -1, except that
    // Reserved3 forwards to Reserved2.
    virtual std::int32_t Reserved0();                                   // 0
    virtual std::int32_t Reserved1(Word a, Word b, Word c);             // 1
    virtual std::int32_t Reserved2(Word a, Word b, Word c);             // 2
    virtual std::int32_t Reserved3(Word a, Word b, Word c);             // 3
    virtual std::int32_t Reserved4(Word a, Word b, Word c);             // 4
    virtual std::int32_t Reserved5(Word a, Word b);                     // 5
    virtual std::int32_t Reserved6(Word a, Word b, Word c);             // 6
    virtual std::int32_t Reserved7(Word a, Word b, Word c);             // 7
    virtual std::int32_t Reserved8(Word a, Word b, Word c, Word d);     // 8
    // SetPasswordRequestFunc: keeps the host's callback; nothing calls it.
    virtual void SetPasswordRequestFunc(void* callback);                // 9
    // SetRemoteGeneratePath: root macro expanded, a backslash appended; empty stays empty.
    virtual void SetRemoteGeneratePath(const char* path);               // 10
    // slot 11 is the constructor above
    // GetEngineName: the engine's name into buffer (abstract).
    virtual void GetEngineName(char* buffer);                           // 12 (abstract)
    // GetMax…: buffer sizes the host allocates; 255 each, 1024 for parameter values.
    virtual std::int32_t GetMaxEncodeAddition();                        // 13
    virtual std::int32_t GetMaxSignatureLength();                       // 14
    virtual std::int32_t GetMaxUIDLength();                             // 15
    virtual std::int32_t GetMaxCryptoParamNameLength();                 // 16
    virtual std::int32_t GetMaxCryptoParamValueLength();                // 17
    static constexpr std::int32_t kDefaultParamValueLength = 1024;
    virtual std::int32_t GetMaxErrorStringLength();                     // 18
    virtual std::int32_t GetMaxPasswordLength();                        // 19
    // GetCryptoParamNumber: number of entries in ParamNames.
    virtual std::int32_t GetCryptoParamNumber();                        // 20
    // GetCryptoParamName: entry index (1-based) of ParamNames whole; "" when outside or empty.
    virtual void GetCryptoParamName(std::int32_t index, char* buffer);  // 21
    // GetCryptoParamValue: as GetCryptoParamName over ParamValues, cut to
    // GetMaxCryptoParamValueLength() - 1 characters and a NUL (1023 when that limit is 0 or
    // cannot be had, so that the caller always gets a text).
    virtual void GetCryptoParamValue(std::int32_t index, char* buffer); // 22
    // SetCryptoParamValue: replaces entry index of ParamValues (0); -1 outside the list.
    virtual std::int32_t SetCryptoParamValue(std::int32_t index, const char* value);  // 23
    // GetEncodeUIDBySignUID, GetCurrentUserUID: the UIDs of the keys (abstract).
    virtual std::int32_t GetEncodeUIDBySignUID(const char* signUid, char* encodeUid); // 24 (abstract)
    virtual std::int32_t GetCurrentUserUID(char* uid);                  // 25 (abstract)
    // GetCryptoErrorString: clears GetMaxErrorStringLength() bytes, writes
    // "CRYPTO ENGINE ERROR : " + code within them; failures are swallowed.
    virtual void GetCryptoErrorString(std::int32_t code, char* buffer); // 26
    // EncodeData, DecodeData, SignData, VerifyData: the cryptography (abstract).
    virtual std::int32_t EncodeData(unsigned char* buffer, std::int32_t* size, const char* recipients);  // 27 (abstract)
    virtual std::int32_t DecodeData(unsigned char* buffer, std::int32_t* size, char* output);            // 28 (abstract)
    virtual std::int32_t SignData(const unsigned char* data, std::int32_t length, unsigned char* signature,
                                  std::int32_t* signatureLength, const char* signer);                   // 29 (abstract)
    virtual std::int32_t VerifyData(const unsigned char* data, std::int32_t length, const unsigned char* signature,
                                    std::int32_t signatureLength, char* signer);                        // 30 (abstract)
    // Certificate store and key operations, slots 31 to 45: -1 (ClearCash does nothing,
    // IsDifferentKeys is false).
    virtual std::int32_t IncludePublicKey(const char* fileName);        // 31
    virtual void ClearCash();                                           // 32
    virtual std::int32_t UpdateCertificateCash(const char* fileName);   // 33
    virtual std::int32_t RemoveCertificate(const char* uid);            // 34
    virtual std::int32_t IncludeCRL(const char* fileName);              // 35
    // GetLastErrorMessage: "" into buffer; a null buffer raises EAssertionFailed (cryptobj, 719).
    virtual void GetLastErrorMessage(char* buffer);                     // 36
    virtual std::int32_t GenerateNewSSK();                              // 37
    virtual std::int32_t GenerateNewSEK();                              // 38
    virtual bool IsDifferentKeys();                                     // 39
    virtual std::int32_t IncludePublicEncodeKey(const char* fileName);  // 40
    virtual std::int32_t SignFile(Word a);                              // 41
    virtual std::int32_t VerifyFile(Word a, Word b);                    // 42
    virtual std::int32_t RemoveSignaturesFromFile(Word a);              // 43
    virtual std::int32_t TransPrivateKeyFromFileToTM();                 // 44
    virtual std::int32_t TransSignatureFromFileToTM();                  // 45
    // GetMaxPublicKeyTransferSize: 4096. Transfers and remote generation, slots 47 to 58: -1.
    virtual std::int32_t GetMaxPublicKeyTransferSize();                 // 46
    virtual std::int32_t RemoteGenerateStart(char* transfer);           // 47
    virtual std::int32_t RemoteGenerateFinish(const char* transfer);    // 48
    virtual std::int32_t ExcludeSelfPublicKeyTransfer(char* transfer);  // 49
    virtual std::int32_t IncludePublicKeyTransfer(const char* transfer);                 // 50
    virtual std::int32_t GetPublicKeyTransfer(const char* uid, char* transfer);          // 51
    virtual std::int32_t SavePublicKeyFromTransfer(const char* directory, const char* transfer);  // 52
    virtual std::int32_t RemoteGenerateStartEx(const char* name, char* buffer, std::int32_t* step);  // 53
    virtual std::int32_t RemoteGenerateFinishEx(const char* transfer, std::int32_t* step);          // 54
    virtual std::int32_t GetPublicKeyTransferByFile(char* transfer, const char* fileName);         // 55
    virtual std::int32_t IncludeCACertificateFromTransfer(const char* transfer);                   // 56
    virtual std::int32_t AddSign(unsigned char* buffer, std::int32_t* size, const char* signer);   // 57
    virtual std::int32_t RemoveSign(unsigned char* buffer, std::int32_t* size, char* signer);      // 58
    // GetMaxSignAddition: GetMaxSignatureLength() + 255.
    virtual std::int32_t GetMaxSignAddition();                          // 59
    // GetMaxEncodeAdditionFor: count × GetMaxEncodeAddition(), a wrapping 32-bit product.
    virtual std::int32_t GetMaxEncodeAdditionFor(std::int32_t count);   // 60
    // SaveSignedDataToFile: writes data then signature to the file (root macro expanded);
    // -101 for a negative length, 0 for the other invalid arguments (nothing written either
    // way), -106 write failure, -102 exception.
    virtual std::int32_t SaveSignedDataToFile(const unsigned char* data, std::int32_t length, const unsigned char* signature,
                                              std::int32_t signatureLength, const char* fileName);  // 61
    // GetRemoteGenType: 1. GetMaxReportSize, GetReport: -1.
    virtual std::int32_t GetRemoteGenType();                            // 62
    virtual std::int32_t GetMaxReportSize();                            // 63
    virtual std::int32_t GetReport(const char* uid, char* report);      // 64
    // GetMaxAdditionEx: GetMaxEncodeAddition() times the number of ";"-separated recipients.
    virtual std::int32_t GetMaxAdditionEx(const char* recipients);      // 65
    // Transfer reading and directory structure, slots 66 to 69: -1.
    virtual std::int32_t GetUIDByPublicKeyTransfer(const char* transfer, char* uid);                // 66
    virtual std::int32_t GetPublicKeyPropertiesByTransfer(const char* transfer, char* properties);  // 67
    virtual std::int32_t GetPublicKeyPropertiesByFile(const char* fileName, char* properties);      // 68
    virtual std::int32_t CreateDirStructure(const char* certificateFile, const char* caFiles);      // 69
    // VerifySignWOCheckValidity: VerifyData with the same arguments.
    virtual std::int32_t VerifySignWOCheckValidity(const unsigned char* data, std::int32_t length,
                                                   const unsigned char* signature, std::int32_t signatureLength,
                                                   char* signer);       // 70
    // CertAndRequestTransferMatch: writes -1 ("no match") to match and returns 0.
    virtual std::int32_t CertAndRequestTransferMatch(const char* certificateTransfer, const char* requestTransfer,
                                                     std::int32_t* match);  // 71
    // Slots 72 to 79: -1.
    virtual std::int32_t ConvertTransferToSignedRequest(Word a);        // 72
    virtual std::int32_t HashData(Word a, Word b, Word c, Word d, Word e);   // 73
    virtual std::int32_t ShowCertificate(Word a);                       // 74
    virtual std::int32_t GetPureSign(Word a, Word b, Word c, Word d, Word e);  // 75
    virtual std::int32_t GetUIDByCertIdent(Word a, Word b);             // 76
    virtual std::int32_t InstallCertsInMyStore(Word a);                 // 77
    virtual std::int32_t RegisterOIDInfo(const char* first, const char16_t* second);  // 78
    virtual std::int32_t GetParamInfo(std::int32_t index, std::int32_t* kind, char* hint, std::int32_t* length);  // 79
    // IncludeByKind: kinds 1 to 11 reach a Reserved or Include… operation (b is the text of
    // the Include… ones); any other kind gives -1.
    virtual std::int32_t IncludeByKind(std::int32_t kind, Word a, Word b, Word c);  // 80
    // OperationByKind: kind 4 -> Reserved7(c, d, e), kind 5 -> Reserved8(c, a, d, e), else -1.
    virtual std::int32_t OperationByKind(std::int32_t kind, Word a, Word b, Word c, Word d, Word e);  // 81

    // ---- non-virtual helpers -----------------------------------------------------------
    // SetRootPath: RootPath := text with a backslash appended; an empty text leaves it as it was.
    void SetRootPath(const std::string& path);
    // ExpandRootMacro: replaces a leading "%ZELRoot%" (any case) by RootPath, upper-cased.
    std::string ExpandRootMacro(const std::string& path) const;
    // ExpandRootMacroDir: ExpandRootMacro, then IncludeBackslash.
    std::string ExpandRootMacroDir(const std::string& path) const;
    // CopyToBuffer: copies min(size, length + 1) bytes of the text (a cut copy has no NUL);
    // false on null or size <= 0. Reads no more than size bytes of the source.
    static bool CopyToBuffer(const char* source, char* destination, std::int32_t size);
    // EncodeAfterHeader: header + NUL in front of the data, the data encrypted behind it;
    // size becomes header + 1 + encrypted size. -1 for a null buffer or size.
    std::int32_t EncodeAfterHeader(const std::string& header, unsigned char* buffer, std::int32_t* size,
                                   const char* recipients);
    // DecodeAfterHeader: decrypts the data behind the NUL-terminated header at the start of
    // buffer; -1 when the header does not end inside size bytes.
    std::int32_t DecodeAfterHeader(unsigned char* buffer, std::int32_t size, unsigned char** data,
                                   std::int32_t* dataSize);

    // ---- fields ------------------------------------------------------------------------
    std::unique_ptr<TSyncExceptStr> ExceptStr;
    std::vector<std::string> ParamNames;
    std::vector<std::string> ParamValues;
    void* PasswordRequestFunc = nullptr;
    void* TMRequestFunc = nullptr;
    std::string RootPath;
    std::string RemoteGeneratePath;
};

}  // namespace vorlan
