// Tests of the Message-PRO engine with the variant 0 plug-in (the real mplug beside the test),
// constructed directly. Each test gets a fresh installation: users with their own key base
// (CA, KEYS, CRL), certificate directory and remote generate directory, certified by a CA
// that works through the openssl command line (one per algorithm and process).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "engine/mpro1_engine.h"
#include "pki/openssl_ca.h"

namespace vorlan::test {

class Mpro1Test : public ::testing::TestWithParam<Algorithm> {
protected:
    void SetUp() override;
    void TearDown() override;

    // AddUser: a user in directory dir with a certificate for cn, filed in every user's
    // certificate directory (and every earlier user's certificate in its own).
    void AddUser(const std::string& dir, const std::string& cn);
    // Open: an engine of a user: own certificate, certificate directory, key base, the key
    // file KEYS\key00001.pem, CA and CRL directories, algorithms, remote generate directory.
    std::unique_ptr<TMPro1CryptoEngine> Open(const std::string& dir);
    // Path: a path inside this test's installation (backslash separators).
    std::string Path(const std::string& relative) const { return root_ + relative; }
    std::string Native(const std::string& relative) const;
    // Read: a file's bytes ("" when missing).
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    // Files: every file below a directory, relative name -> content.
    std::map<std::string, std::string> Files(const std::string& relative) const;
    // Restore: puts a user's directory back to files taken by Files (and its empty directories).
    void Restore(const std::string& dir, const std::map<std::string, std::string>& files);
    // CA: the CA of the algorithm (one per process); null when the command line cannot act as it.
    OpensslCA* CA();
    long NextSerial() { return ++serial_; }

private:
    std::string root_;  // ends in a backslash
    std::map<std::string, std::string> users_;  // dir -> cn
    long serial_ = 0x100;
};

std::string AlgorithmName(const ::testing::TestParamInfo<Algorithm>& info);

}  // namespace vorlan::test
