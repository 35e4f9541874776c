// Signing checksum lists as the release workflow does, with the build's test keys
// (test_keys.hpp, tests/updates/test-keys.sh), through CNG: ECDSA P-256 over SHA-256, the
// signature DER-encoded as openssl writes it.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/crypto.hpp"
#include "test_keys.hpp"
#include "updates/https_fixture_win.hpp"
#include "updates/update.hpp"

namespace tess::test {

// A positive INTEGER from 32 big-endian bytes, minimally encoded.
inline std::string der_integer(std::string value) {
    while (value.size() > 1 && value[0] == '\0' && !(static_cast<unsigned char>(value[1]) & 0x80))
        value.erase(0, 1);
    if (static_cast<unsigned char>(value[0]) & 0x80) value.insert(0, 1, '\0');
    return std::string("\x02") + static_cast<char>(value.size()) + value;
}

// `key`'s DER signature of `data`; empty when CNG fails.
inline std::string sign(std::string_view data, const unsigned char (&key)[96]) {
    const auto hex = sha256_hex(data);
    if (!hex) return {};
    unsigned char digest[32];
    for (int i = 0; i < 32; ++i)
        digest[i] = static_cast<unsigned char>(std::stoi(hex->substr(2 * i, 2), nullptr, 16));
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
        return {};
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 96];
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, key, 96);
    BCRYPT_KEY_HANDLE handle = nullptr;
    unsigned char raw[64];
    ULONG written = 0;
    const bool ok = BCRYPT_SUCCESS(::BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPRIVATE_BLOB,
                                                         &handle, blob, sizeof blob, 0)) &&
                    BCRYPT_SUCCESS(::BCryptSignHash(handle, nullptr, digest, sizeof digest, raw,
                                                    sizeof raw, &written, 0)) &&
                    written == sizeof raw;
    if (handle) ::BCryptDestroyKey(handle);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok) return {};
    const std::string body = der_integer(std::string(reinterpret_cast<char*>(raw), 32)) +
                             der_integer(std::string(reinterpret_cast<char*>(raw) + 32, 32));
    return std::string("\x30") + static_cast<char>(body.size()) + body;
}

// Serves `list` as "{name}" and its signature by `key` as "{name}.sig", and gives the
// release's two assets for them (`signature` false: the list alone).
inline std::string signed_list_assets(const Served& s, const std::string& name,
                                      const std::string& list,
                                      const unsigned char (&key)[96] = k_test_private_key,
                                      bool signature = true) {
    s.put(name, list);
    std::string assets =
        R"({"name": "sha256sums.txt", "browser_download_url": ")" + s.url(name) + R"("})";
    if (!signature) return assets;
    const std::string sig = sign(list, key);
    EXPECT_FALSE(sig.empty()) << "CNG could not sign";
    s.put(name + ".sig", sig);
    return assets + R"(, {"name": "sha256sums.txt.sig", "browser_download_url": ")" +
           s.url(name + ".sig") + R"("})";
}

}  // namespace tess::test
