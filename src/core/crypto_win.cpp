#include "core/crypto.hpp"

#include <windows.h>

#include <bcrypt.h>

#include "core/win.hpp"

namespace tess {

namespace {
void close_algorithm(BCRYPT_ALG_HANDLE h) {
    ::BCryptCloseAlgorithmProvider(h, 0);
}
using unique_algorithm = win::unique_any<BCRYPT_ALG_HANDLE, close_algorithm>;
}  // namespace

bool sha256_digest(std::string_view data, unsigned char (&digest)[32]) {
    // BCryptHash wants a non-const pointer and a 32-bit length; the 64 MiB download
    // limit keeps every input far below that.
    if (data.size() > 0xFFFFFFFFu) return false;
    unique_algorithm algorithm;
    if (!BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return false;
    const NTSTATUS status = ::BCryptHash(algorithm.get(), nullptr, 0,
                                         reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                                         static_cast<ULONG>(data.size()), digest, sizeof digest);
    return BCRYPT_SUCCESS(status);
}

std::optional<std::string> sha256_hex(std::string_view data) {
    unsigned char digest[32];
    if (!sha256_digest(data, digest)) return std::nullopt;
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

}  // namespace tess
