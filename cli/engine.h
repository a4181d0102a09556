// Engine: an engine handle from GetCryptObj, released with DoneEngine, with the library's
// texts read into buffers sized by the library's own queries.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "export_api.h"

namespace vorlan::cli {

class Engine {
public:
    // Engine: a new engine; throws Failure when GetCryptObj gives none.
    explicit Engine(const ExportApi& api);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    VORLAN_HANDLE get() const { return handle_; }
    const ExportApi& Api() const { return api_; }

    // Check: throws Failure(what, code, text) when code is not 0.
    void Check(std::int32_t code, const std::string& what) const;
    // CodeText: the library's text of a result code ("" when it has none).
    std::string CodeText(std::int32_t code) const;
    // ErrorText: CodeText, and the toolkit's last message when it adds to it.
    std::string ErrorText(std::int32_t code) const;
    // Room: a size query's answer as a buffer size; throws Failure for a negative answer.
    static std::size_t Room(std::int32_t answer, const char* query);
    // Text: fill run on a zeroed buffer of size bytes and a spare one; the text up to its first zero.
    static std::string Text(std::size_t size, const std::function<void(char*)>& fill);

    // ParamCount / ParamName / ParamValue: the engine's parameters, numbered from 1.
    int ParamCount() const;
    std::string ParamName(int index) const;
    std::string ParamValue(int index) const;
    // TransferSize: the longest transfer text (GetMaxPublicKeyTransferSize); throws Failure.
    std::size_t TransferSize() const;
    // UidRoom: room for a UID the library writes: GetMaxUIDLength, and never less than an
    // owner UID of a transfer may take (256 characters and the terminator).
    std::size_t UidRoom() const;
    // Uid: a UID written by call into a buffer of UidRoom; throws Failure(what) for a code.
    std::string Uid(const std::function<std::int32_t(char*)>& call, const std::string& what) const;
    // Report: a report written by call into a buffer of GetMaxReportSize; throws Failure(what).
    std::string Report(const std::function<std::int32_t(char*)>& call, const std::string& what) const;
    // CurrentUser: the UID of the installation's user (GetCurrentUserUID); throws Failure.
    std::string CurrentUser() const;

private:
    std::size_t ErrorLength() const;
    const ExportApi& api_;
    VORLAN_HANDLE handle_;
};

}  // namespace vorlan::cli
