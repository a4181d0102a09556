// Test engines derived from TCryptoEngine: one that records which reserved or
// inclusion operation the dispatchers reached, one whose encryption is a simple
// reversible transform that grows the data.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/crypto_engine.h"

namespace vorlan::test {

// RecordingEngine: every dispatch target appends "name(args)" and returns a distinct code.
class RecordingEngine : public TCryptoEngine {
public:
    std::vector<std::string> calls;

    std::int32_t Reserved1(Word a, Word b, Word c) override { return Note("Reserved1", {a, b, c}, 101); }
    std::int32_t Reserved2(Word a, Word b, Word c) override { return Note("Reserved2", {a, b, c}, 102); }
    std::int32_t Reserved4(Word a, Word b, Word c) override { return Note("Reserved4", {a, b, c}, 104); }
    std::int32_t Reserved5(Word a, Word b) override { return Note("Reserved5", {a, b}, 105); }
    std::int32_t Reserved6(Word a, Word b, Word c) override { return Note("Reserved6", {a, b, c}, 106); }
    std::int32_t Reserved7(Word a, Word b, Word c) override { return Note("Reserved7", {a, b, c}, 107); }
    std::int32_t Reserved8(Word a, Word b, Word c, Word d) override { return Note("Reserved8", {a, b, c, d}, 108); }
    std::int32_t IncludePublicKey(const char* f) override { return NoteText("IncludePublicKey", f, 31); }
    std::int32_t IncludePublicEncodeKey(const char* f) override { return NoteText("IncludePublicEncodeKey", f, 40); }
    std::int32_t IncludePublicKeyTransfer(const char* t) override { return NoteText("IncludePublicKeyTransfer", t, 50); }
    std::int32_t IncludeCACertificateFromTransfer(const char* t) override {
        return NoteText("IncludeCACertificateFromTransfer", t, 56);
    }
    std::int32_t IncludeCRL(const char* f) override { return NoteText("IncludeCRL", f, 35); }
    std::int32_t VerifyData(const unsigned char* data, std::int32_t length, const unsigned char*,
                            std::int32_t signatureLength, char* signer) override {
        calls.push_back("VerifyData(" + std::string(reinterpret_cast<const char*>(data), length) + "," +
                        std::to_string(signatureLength) + ")");
        std::strcpy(signer, "UID1");
        return 30;
    }

private:
    std::int32_t Note(const char* name, std::vector<Word> args, std::int32_t code) {
        std::string text = std::string(name) + "(";
        for (std::size_t i = 0; i < args.size(); ++i) text += (i ? "," : "") + std::to_string(args[i]);
        calls.push_back(text + ")");
        return code;
    }
    std::int32_t NoteText(const char* name, const char* text, std::int32_t code) {
        calls.push_back(std::string(name) + "(" + (text ? text : "null") + ")");
        return code;
    }
};

// XorEngine: EncodeData flips every byte and appends two trailer bytes (the length in
// the low byte and a marker); DecodeData checks and removes them. Recipients and the
// scratch argument are recorded.
class XorEngine : public TCryptoEngine {
public:
    std::string lastRecipients;
    std::int32_t encodeResult = 0;

    std::int32_t EncodeData(unsigned char* buffer, std::int32_t* size, const char* recipients) override {
        lastRecipients = recipients ? recipients : "null";
        for (std::int32_t i = 0; i < *size; ++i) buffer[i] ^= 0x5A;
        buffer[*size] = static_cast<unsigned char>(*size & 0xFF);
        buffer[*size + 1] = 0xEE;
        *size += 2;
        return encodeResult;
    }
    std::int32_t DecodeData(unsigned char* buffer, std::int32_t* size, char* scratch) override {
        if (scratch == nullptr || *size < 2 || buffer[*size - 1] != 0xEE ||
            buffer[*size - 2] != static_cast<unsigned char>((*size - 2) & 0xFF)) {
            return -7;
        }
        *size -= 2;
        for (std::int32_t i = 0; i < *size; ++i) buffer[i] ^= 0x5A;
        return 0;
    }
};

}  // namespace vorlan::test
