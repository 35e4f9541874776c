#include "updates/update.hpp"

#include "core/crypto.hpp"
#include "core/win.hpp"

#include <bcrypt.h>

#include <cstring>

#include "core/entry.hpp"
#include "core/paths.hpp"
#include "core/policy.hpp"
#include "core/settings.hpp"
#include "core/timeutil.hpp"
#include "updates/install.hpp"

namespace tess::updates {

namespace {

std::optional<std::string> last_error_text(BOOL ok) {
    if (ok) return std::nullopt;
    return win::error_text(::GetLastError());
}

// Detached: nobody waits for the started program.
std::optional<std::string> start_program(const std::string& exe, std::string_view argument) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string.
    std::string command = "\"";
    command += exe;
    command += '"';
    if (!argument.empty()) {
        command += ' ';
        command += argument;
    }
    std::wstring wcommand = win::widen(command);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(win::widen(exe).c_str(), wcommand.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &si, &pi))
        return win::error_text(::GetLastError());
    win::unique_handle process(pi.hProcess);
    win::unique_handle thread(pi.hThread);
    return std::nullopt;
}

// Only ever called with bytes whose checksum matched.
Result<std::string> save_verified(const std::string& bytes, std::string_view version,
                                  std::string_view name) {
    const std::string path = join_path(win::temp_folder(), temp_file_name(version, name));
    if (!win::write_file(path, bytes))
        return Error{"couldn't save the update: " + win::error_text(::GetLastError())};
    return path;
}

}  // namespace

bool running_installed_copy() {
    return is_installed_copy(install_paths());
}

std::string running_version() {
    if (auto fake = win::get_env("TESS_FAKE_VERSION")) return *fake;
    return std::string(kVersion);
}

namespace {

// GitHub's rate limit counts every PC behind one address, so a limited answer is
// remembered for every Tessavo of this user until the reset time.
constexpr std::string_view kRateLimitFile = "update-limit.txt";

std::optional<std::uint64_t> held_rate_limit(const std::string& dir, std::uint64_t now) {
    const auto text = win::read_file(join_path(dir, kRateLimitFile));
    return text ? remembered_limit(*text, now) : std::nullopt;
}

// Keeps the later of the held reset and this one.
void remember_rate_limit(std::uint64_t until, std::uint64_t now) {
    const std::string dir = data_dir();
    const win::NamedLock lock("update-limit", dir);
    if (const auto held = held_rate_limit(dir, now); held && *held >= until) return;
    win::replace_file_atomic(join_path(dir, kRateLimitFile), join_path(dir, "update-limit.tmp"),
                             std::to_string(until));
}

}  // namespace

CheckResult check_for_update(bool by_user) {
    if (!by_user && (win::get_env("TESS_NO_UPDATE_CHECK") || load_policy().update_check_off))
        return {};
    const std::uint64_t now = filetime_to_unix(win::filetime_now());
    // No request before the reset: each one would count against the limit again.
    if (const auto until = held_rate_limit(data_dir(), now))
        return {CheckKind::Failed, {}, rate_limit_text(*until, now)};
    const std::string url = win::get_env("TESS_UPDATE_URL").value_or(std::string(kReleaseUrl));
    std::optional<std::uint64_t> limited;
    const auto answer = http_get(url, "application/vnd.github+json", kReleaseJsonLimit, nullptr,
                                 kWebTimeoutMs, &limited);
    if (limited) remember_rate_limit(*limited, now);
    std::optional<std::string> skip;
    if (!by_user) skip = load_settings().skip_version;
    return decide_update(answer, running_version(), skip, by_user);
}

namespace {
void close_algorithm(BCRYPT_ALG_HANDLE h) {
    ::BCryptCloseAlgorithmProvider(h, 0);
}
using unique_algorithm = win::unique_any<BCRYPT_ALG_HANDLE, close_algorithm>;

void destroy_key(BCRYPT_KEY_HANDLE h) {
    ::BCryptDestroyKey(h);
}
using unique_key = win::unique_any<BCRYPT_KEY_HANDLE, destroy_key>;

}  // namespace

bool verify_signature(std::string_view data, std::string_view signature, const PublicKey& key) {
    // openssl writes DER; CNG verifies r||s.
    auto raw = der_signature_to_p1363(signature);
    if (!raw) return false;
    unsigned char digest[32];
    if (!sha256_digest(data, digest)) return false;
    unique_algorithm algorithm;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM,
                                                      nullptr, 0)))
        return false;
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + std::tuple_size_v<PublicKey>];
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, key.data(), key.size());
    unique_key public_key;
    if (!BCRYPT_SUCCESS(::BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                              public_key.put(), blob, sizeof blob, 0)))
        return false;
    return BCRYPT_SUCCESS(::BCryptVerifySignature(public_key.get(), nullptr, digest, sizeof digest,
                                                  reinterpret_cast<PUCHAR>(raw->data()),
                                                  static_cast<ULONG>(raw->size()), 0));
}

std::optional<std::string> install_update(const UpdateInfo& info, bool installed_copy,
                                          const Progress& progress, const PublicKey& key) {
    const std::string_view name = asset_name_for(installed_copy);
    const Fetch fetch = [](const std::string& url, const std::string& accept, std::uint64_t limit,
                           const Progress& p) { return http_get(url, accept, limit, p); };
    const VerifySigned verify = [&key](std::string_view data, std::string_view signature) {
        return verify_signature(data, signature, key);
    };
    auto verified = download_verified(info, name, fetch, sha256_hex, verify, progress);
    if (!verified) return verified.error();
    const std::string exe = win::exe_path();
    if (!installed_copy && exe.empty()) return win::error_text(::GetLastError());

    // The console companion comes with the release, verified like the program: an
    // installed copy always takes it, a portable one when it has one beside it.
    const std::string cli_beside = join_path(parent_path(exe), kCliName);
    std::optional<std::string> cli;
    std::string cli_sha256;
    if (find_asset(info, kCliAsset) &&
        (installed_copy ||
         ::GetFileAttributesW(win::widen(cli_beside).c_str()) != INVALID_FILE_ATTRIBUTES)) {
        auto bytes = download_verified(info, kCliAsset, fetch, sha256_hex, verify, nullptr);
        if (!bytes) return bytes.error();
        auto saved = save_verified(*bytes, info.version, kCliAsset);
        if (!saved) return saved.error();
        cli = std::move(*saved);
        cli_sha256 = sha256_hex(*bytes).value_or("");
    }
    auto saved = save_verified(*verified, info.version, name);
    if (!saved) return saved.error();

    if (installed_copy) {
        // The setup role closes the running copies, replaces the installed program
        // and starts it again.
        if (auto failed = start_program(*saved, handover_arguments(cli, cli_sha256)))
            return "couldn't start the update: " + *failed;
        return std::nullopt;
    }
    ReplaceOps ops;
    ops.move = [](const std::string& from, const std::string& to) {
        return last_error_text(::MoveFileExW(win::widen(from).c_str(), win::widen(to).c_str(),
                                             MOVEFILE_REPLACE_EXISTING));
    };
    ops.copy = [](const std::string& from, const std::string& to) {
        return last_error_text(
            ::CopyFileW(win::widen(from).c_str(), win::widen(to).c_str(), FALSE));
    };
    ops.start = [](const std::string& path, const std::string& args) { start_program(path, args); };
    const DWORD pid = ::GetCurrentProcessId();
    if (auto failed = replace_running_exe(ops, exe, *saved, pid)) return failed;
    // As at install, the companion's own failure is no failure of the update: its old
    // file stays in place.
    if (cli)
        replace_moving_aside(ops.move, ops.copy, *cli, cli_beside,
                             moved_aside_name(cli_beside, pid));
    return std::nullopt;
}

}  // namespace tess::updates
