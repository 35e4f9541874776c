// The update check and install: the latest GitHub release is read strictly, offered
// only when final and newer, and its download is handed over only after its SHA-256
// matched the checksum in the release's signed sha256sums.txt.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"
#include "updates/web.hpp"

namespace tess::updates {

inline constexpr std::string_view kRepoSlug = "Corvath/tessavo";
inline constexpr std::string_view kReleaseUrl =
    "https://api.github.com/repos/Corvath/tessavo/releases/latest";
inline constexpr std::string_view kSetupAsset = "Tessavo-Setup.exe";  // installed copies
inline constexpr std::string_view kPortableAsset = "Tessavo.exe";     // any other copy
inline constexpr std::string_view kChecksumsAsset = "sha256sums.txt";
// The ECDSA P-256 signature of sha256sums.txt over its SHA-256, DER-encoded as openssl
// writes it.
inline constexpr std::string_view kSignatureAsset = "sha256sums.txt.sig";
// The console companion: downloaded and verified beside the program when the release
// carries it.
inline constexpr std::string_view kCliAsset = "tessavo-cli.exe";
inline constexpr std::uint64_t kReleaseJsonLimit = 4'194'304;
inline constexpr std::uint64_t kChecksumListLimit = 1'048'576;
inline constexpr std::uint64_t kDownloadLimit = 67'108'864;

// ---- the release JSON (the subset read; other keys are ignored) -----------------
struct GhAsset {
    std::string name;
    std::string browser_download_url;
    std::uint64_t size = 0;  // 0: not announced
    std::optional<std::string> digest;
};

struct GhRelease {
    std::string tag_name;
    std::optional<std::string> body;
    std::string html_url;
    bool draft = false;
    bool prerelease = false;
    std::vector<GhAsset> assets;
};

// Strict: wrong types, duplicated keys, a missing tag_name, name or download address,
// or text after the value reject the answer. Each object may also be an array of its
// values in field order; missing trailing values take their defaults, extra ones
// reject the answer.
Result<GhRelease> parse_release(std::string_view text);

// ---- versions ----------------------------------------------------------------------
struct Version {
    std::uint64_t major = 0;
    std::uint64_t minor = 0;
    std::uint64_t patch = 0;
    auto operator<=>(const Version&) const = default;
};

// "v1.2" is 1.2.0, "V1.2.3-beta.1" is 1.2.3, "1.2.3.4" is 1.2.3; nullopt when a
// piece is empty, not decimal or beyond 64 bits.
std::optional<Version> parse_version(std::string_view text);

// ---- the check -----------------------------------------------------------------------
struct UpdateAsset {
    std::string name;
    std::string url;
    std::uint64_t size = 0;
    std::optional<std::string> sha256;  // 64 lower-case hex digits as published
};

struct UpdateInfo {
    std::string version;  // the tag without its leading "v"
    std::string notes;
    std::string page;
    std::vector<UpdateAsset> assets;
};

// Values travel as the tray's lParam.
enum class CheckKind : std::uint8_t { NoUpdate = 0, Found = 1, Failed = 2 };

struct CheckResult {
    CheckKind kind = CheckKind::NoUpdate;
    UpdateInfo info;    // Found
    std::string error;  // Failed
};

// Everything after the download of the release JSON: `answer` is the body or the
// transport error; `skip_version` is honoured only when the check is automatic.
CheckResult decide_update(const Result<std::string>& answer, std::string_view running_version,
                          const std::optional<std::string>& skip_version, bool by_user);

// ---- choosing and verifying the download ---------------------------------------------
std::string_view asset_name_for(bool installed_copy);
// By name, ignoring ASCII case; nullptr when the release has none.
const UpdateAsset* find_asset(const UpdateInfo& info, std::string_view name);
// The size of what an install would download (0 when unknown).
std::uint64_t download_size(const UpdateInfo& info, bool installed_copy);

// The checksum of `name` in a sha256sum-style list ("{64 hex}  {name}" or
// "{64 hex} *{name}"), lower-cased; the first matching line wins.
std::optional<std::string> checksum_from_list(std::string_view list, std::string_view name);

// An ECDSA P-256 public key: the point's X then Y, 32 bytes each, big-endian.
using PublicKey = std::array<unsigned char, 32 * 2>;
// The key this program trusts for releases. Each program links its own definition: the
// released programs link the key in updates/release_key.hpp, test programs a test key
// the build makes.
const PublicKey& trusted_release_key();

// A DER ECDSA signature (SEQUENCE of the INTEGERs r and s) as the 64 bytes r||s that CNG
// verifies; nullopt unless it is exactly that, strictly encoded, with r and s in 32 bytes.
std::optional<std::string> der_signature_to_p1363(std::string_view der);

// Whether `signature` (DER) signs `data` with the release key.
using VerifySigned = std::function<bool(std::string_view data, std::string_view signature)>;

using Fetch = std::function<Result<std::string>(const std::string& url, const std::string& accept,
                                                std::uint64_t limit, const Progress& progress)>;
// Lower-case hex SHA-256 of the data; nullopt when hashing fails.
using Sha256 = std::function<std::optional<std::string>(std::string_view data)>;

// Downloads asset `name` and returns its bytes only once the checksum list's signature
// verified and their SHA-256 matched the list's checksum (a digest GitHub announces must
// match as well, but is never trusted alone: it comes from the same release); every
// refusal is one short text.
Result<std::string> download_verified(const UpdateInfo& info, std::string_view name,
                                      const Fetch& fetch, const Sha256& sha256,
                                      const VerifySigned& verify, const Progress& progress);

// "Tessavo-{version}-{name}" in the temp folder. The version comes from the server,
// so anything but letters, digits, ".", "-" and "+" becomes "_": it can never reach
// outside the folder.
std::string temp_file_name(std::string_view version, std::string_view name);

// The setup program's arguments for an installed copy: "--update", then the verified
// console companion's path (quoted) and its SHA-256 when there is one.
std::string handover_arguments(const std::optional<std::string>& companion,
                               std::string_view sha256);

// Replacing a running portable copy: its file is renamed aside to "{stem}.{pid}.old"
// (Windows allows that for a running program; the next start deletes it), the verified
// download copied to its place and started with "--after-update {pid}", so it waits for
// this process to go. A failed copy puts the old file back.
struct ReplaceOps {
    // Each returns the system's error text, or nullopt on success.
    std::function<std::optional<std::string>(const std::string& from, const std::string& to)> move;
    std::function<std::optional<std::string>(const std::string& from, const std::string& to)> copy;
    // Failures are ignored.
    std::function<void(const std::string& exe, const std::string& args)> start;
};
std::optional<std::string> replace_running_exe(const ReplaceOps& ops, const std::string& exe,
                                               const std::string& downloaded, std::uint32_t pid);

#ifdef _WIN32
// TESS_NO_UPDATE_CHECK (automatic checks only), TESS_UPDATE_URL, TESS_FAKE_VERSION and
// skip_version applied; blocking, for worker threads.
CheckResult check_for_update(bool by_user);
// The running version the check compares against: TESS_FAKE_VERSION or the program's.
std::string running_version();
// Whether `signature` (DER, as openssl writes it) is `key`'s ECDSA P-256 signature of
// `data`'s SHA-256, through CNG.
bool verify_signature(std::string_view data, std::string_view signature, const PublicKey& key);
// Downloads, verifies against `key`, saves and hands over; the error text, or nullopt
// once handed over. `installed_copy` picks the setup program (started with "--update")
// or the in-place replacement of this executable.
std::optional<std::string> install_update(const UpdateInfo& info, bool installed_copy,
                                          const Progress& progress,
                                          const PublicKey& key = trusted_release_key());
// Whether this executable runs from the install folder (so updates through setup).
bool running_installed_copy();
#endif

}  // namespace tess::updates
