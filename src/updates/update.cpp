#include "updates/update.hpp"

#include <limits>

#include "core/entry.hpp"
#include "core/json.hpp"
#include "core/text.hpp"
#include "updates/install.hpp"

namespace tess::updates {

namespace {

using json::Value;

std::string_view strip_leading_v(std::string_view s) {
    while (!s.empty() && (s.front() == 'v' || s.front() == 'V'))
        s.remove_prefix(1);
    return s;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (to_lower_ascii(a[i]) != to_lower_ascii(b[i])) return false;
    return true;
}

// A record is an object with named keys or an array with the same values in field
// order. `field(i, key)` gives the value or nullptr when absent.
class Fields {
public:
    Fields(const Value& v, std::string_view what, std::size_t count) : v_(v) {
        if (v.is_array()) {
            if (v.size() > count) json::invalid(what, "too many values");
        } else {
            json::expect_object(v, what);
        }
    }
    const Value* get(std::size_t index, std::string_view key) const {
        if (v_.is_array()) return index < v_.size() ? &v_[index] : nullptr;
        return json::find(v_, key);
    }
    const Value& require(std::size_t index, std::string_view key) const {
        const Value* v = get(index, key);
        if (!v) json::invalid(key, "missing");
        return *v;
    }
    std::optional<std::string> nullable_string(std::size_t index, std::string_view key) const {
        const Value* v = get(index, key);
        if (!v || v->is_null()) return std::nullopt;
        return json::get_string(*v, key);
    }

private:
    const Value& v_;
};

GhAsset read_asset(const Value& v) {
    const Fields f(v, "asset", 4);
    GhAsset a;
    a.name = json::get_string(f.require(0, "name"), "name");
    a.browser_download_url =
        json::get_string(f.require(1, "browser_download_url"), "browser_download_url");
    if (const Value* size = f.get(2, "size")) a.size = json::get_u64(*size, "size");
    a.digest = f.nullable_string(3, "digest");
    return a;
}

GhRelease read_release(const Value& v) {
    const Fields f(v, "release", 6);
    GhRelease r;
    r.tag_name = json::get_string(f.require(0, "tag_name"), "tag_name");
    r.body = f.nullable_string(1, "body");
    if (const Value* url = f.get(2, "html_url")) r.html_url = json::get_string(*url, "html_url");
    if (const Value* draft = f.get(3, "draft")) r.draft = json::get_bool(*draft, "draft");
    if (const Value* pre = f.get(4, "prerelease"))
        r.prerelease = json::get_bool(*pre, "prerelease");
    if (const Value* assets = f.get(5, "assets")) {
        for (const Value& a : json::expect_array(*assets, "assets"))
            r.assets.push_back(read_asset(a));
    }
    return r;
}

std::optional<std::uint64_t> parse_piece(std::string_view s) {
    if (s.empty()) return std::nullopt;
    std::uint64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (n > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        n = n * 10 + digit;
    }
    return n;
}

}  // namespace

Result<GhRelease> parse_release(std::string_view text) {
    return json::parse_document<GhRelease>(text, read_release);
}

std::optional<Version> parse_version(std::string_view text) {
    text = strip_leading_v(trim(text));
    text = text.substr(0, text.find_first_of("-+"));
    std::uint64_t pieces[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const std::size_t dot = text.find('.');
        const std::string_view piece = text.substr(0, dot);
        const auto n = parse_piece(piece);
        if (!n) return std::nullopt;
        pieces[i] = *n;
        if (dot == std::string_view::npos) break;  // missing minor or patch: 0
        text.remove_prefix(dot + 1);
    }
    return Version{pieces[0], pieces[1], pieces[2]};
}

CheckResult decide_update(const Result<std::string>& answer, std::string_view running_version,
                          const std::optional<std::string>& skip_version, bool by_user) {
    const auto failed = [](std::string text) {
        return CheckResult{CheckKind::Failed, {}, std::move(text)};
    };
    if (!answer) return failed(answer.error());
    auto release = parse_release(*answer);
    if (!release) return failed("unexpected answer from GitHub (" + release.error() + ")");
    if (release->draft || release->prerelease) return failed("latest release is not final");
    const std::string version(strip_leading_v(release->tag_name));
    const auto offered = parse_version(version);
    if (!offered) return failed("release tag " + release->tag_name + " is not a version");

    UpdateInfo info{version, release->body.value_or(""), release->html_url, {}};
    for (const GhAsset& a : release->assets) {
        UpdateAsset asset{a.name, a.browser_download_url, a.size, std::nullopt};
        if (a.digest && starts_with(*a.digest, "sha256:"))
            asset.sha256 = to_lower_ascii(std::string_view(*a.digest).substr(7));
        info.assets.push_back(std::move(asset));
    }

    const auto running = parse_version(running_version);
    if (!running || !(*offered > *running)) return {};
    if (!by_user && skip_version && *skip_version == version) return {};
    return CheckResult{CheckKind::Found, std::move(info), {}};
}

std::string_view asset_name_for(bool installed_copy) {
    return installed_copy ? kSetupAsset : kPortableAsset;
}

const UpdateAsset* find_asset(const UpdateInfo& info, std::string_view name) {
    for (const UpdateAsset& a : info.assets)
        if (equal_ignoring_ascii_case(a.name, name)) return &a;
    return nullptr;
}

std::uint64_t download_size(const UpdateInfo& info, bool installed_copy) {
    const UpdateAsset* a = find_asset(info, asset_name_for(installed_copy));
    return a ? a->size : 0;
}

std::optional<std::string> checksum_from_list(std::string_view list, std::string_view name) {
    while (!list.empty()) {
        const std::size_t end = list.find('\n');
        std::string_view line = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);

        std::string_view words[2];
        for (std::string_view& word : words) {
            while (!line.empty() && is_ascii_space(line.front()))
                line.remove_prefix(1);
            std::size_t n = 0;
            while (n < line.size() && !is_ascii_space(line[n]))
                ++n;
            word = line.substr(0, n);
            line.remove_prefix(n);
        }
        std::string_view file = words[1];
        while (!file.empty() && file.front() == '*')
            file.remove_prefix(1);
        if (words[0].size() == 64 && equal_ignoring_ascii_case(file, name))
            return to_lower_ascii(words[0]);
    }
    return std::nullopt;
}

namespace {

// One DER INTEGER of a signature, positive and minimally encoded, left-padded to 32
// bytes; advances `der` past it.
bool read_signature_integer(std::string_view& der, std::string& out) {
    if (der.size() < 2 || der[0] != 0x02) return false;
    const auto length = static_cast<unsigned char>(der[1]);
    if (length == 0 || length > 33 || der.size() < 2u + length) return false;
    std::string_view value = der.substr(2, length);
    der.remove_prefix(2u + length);
    const auto first = static_cast<unsigned char>(value[0]);
    if (first & 0x80) return false;  // negative
    if (first == 0) {
        // A leading zero only ever stands before a byte with its high bit set.
        if (value.size() == 1 || !(static_cast<unsigned char>(value[1]) & 0x80)) return false;
        value.remove_prefix(1);
    }
    if (value.size() > 32) return false;
    out.append(32 - value.size(), '\0');
    out.append(value);
    return true;
}

}  // namespace

std::optional<std::string> der_signature_to_p1363(std::string_view der) {
    // Two INTEGERs of at most 33 bytes each fit a short-form length.
    if (der.size() < 2 || der[0] != 0x30) return std::nullopt;
    const auto length = static_cast<unsigned char>(der[1]);
    if (length >= 0x80 || der.size() != 2u + length) return std::nullopt;
    der.remove_prefix(2);
    std::string raw;
    if (!read_signature_integer(der, raw) || !read_signature_integer(der, raw) || !der.empty())
        return std::nullopt;
    return raw;
}

Result<std::string> download_verified(const UpdateInfo& info, std::string_view name,
                                      const Fetch& fetch, const Sha256& sha256,
                                      const VerifySigned& verify, const Progress& progress) {
    const UpdateAsset* asset = find_asset(info, name);
    if (!asset) return Error{"release " + info.version + " has no " + std::string(name)};

    // The list is trusted only once its signature verified with the key this program
    // carries: a checksum from the release alone proves nothing against whoever could
    // change the release.
    const UpdateAsset* sums = find_asset(info, kChecksumsAsset);
    if (!sums) return Error{"this release has no checksums, so it can't be verified"};
    const UpdateAsset* signature = find_asset(info, kSignatureAsset);
    if (!signature)
        return Error{
            "the download failed its security check (its checksums aren't signed), so it was "
            "not installed"};
    auto list = fetch(sums->url, "application/octet-stream", kChecksumListLimit, nullptr);
    if (!list) return Error{list.error()};
    auto signed_by = fetch(signature->url, "application/octet-stream", kChecksumListLimit, nullptr);
    if (!signed_by) return Error{signed_by.error()};
    if (!verify(*list, *signed_by))
        return Error{
            "the download failed its security check (its checksums' signature is wrong), so "
            "it was not installed"};
    auto listed = checksum_from_list(*list, name);
    if (!listed) return Error{"no checksum listed for " + asset->name};
    const std::string mismatch =
        "the download failed its security check (checksum mismatch), so it was not installed";
    if (asset->sha256 && *asset->sha256 != *listed) return Error{mismatch};

    auto data = fetch(asset->url, "application/octet-stream", kDownloadLimit, progress);
    if (!data) return Error{data.error()};
    if (asset->size != 0 && asset->size != data->size())
        return Error{"the download was incomplete"};
    if (data->size() < 2 || (*data)[0] != 'M' || (*data)[1] != 'Z')
        return Error{"the download isn't a Windows program"};
    const auto actual = sha256(*data);
    if (!actual) return Error{"couldn't verify the download"};
    // Nothing is run, copied or handed over unless this matched.
    if (*actual != *listed) return Error{mismatch};
    return std::move(*data);
}

std::string temp_file_name(std::string_view version, std::string_view name) {
    std::string safe;
    for (char c : version) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+';
        safe += ok ? c : '_';
    }
    return "Tessavo-" + safe + "-" + std::string(name);
}

std::string handover_arguments(const std::optional<std::string>& companion,
                               std::string_view sha256) {
    std::string args = "--update";
    if (companion) args += " \"" + *companion + "\" " + std::string(sha256);
    return args;
}

std::optional<std::string> replace_running_exe(const ReplaceOps& ops, const std::string& exe,
                                               const std::string& downloaded, std::uint32_t pid) {
    const std::string aside = moved_aside_name(exe, pid);
    const AsideReplace r = replace_moving_aside(ops.move, ops.copy, downloaded, exe, aside);
    if (r.move_error) return "couldn't replace the app: " + *r.move_error;
    if (r.copy_error && !r.restored)
        return "couldn't replace the app: " + *r.copy_error + " (the previous copy is " + aside +
               ")";
    if (r.copy_error) return "couldn't replace the app: " + *r.copy_error;
    ops.start(exe, after_update_args(pid));
    return std::nullopt;
}

}  // namespace tess::updates
