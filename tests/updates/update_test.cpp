#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "updates/update.hpp"

namespace tess::updates {
namespace {

const std::string kHashA(64, 'a');
const std::string kHashB(64, 'b');

// ---- release JSON -----------------------------------------------------------------

TEST(Release, ObjectAndArrayFormsReadTheSameRecord) {
    const char* object = R"({"tag_name": "v1.2.0", "body": "notes", "html_url": "https://p",
        "draft": false, "prerelease": false, "id": 7, "author": {"login": "x"},
        "assets": [{"name": "Tessavo.exe", "browser_download_url": "https://d", "size": 9,
                    "digest": "sha256:AB", "uploader": null}]})";
    const char* array =
        R"(["v1.2.0", "notes", "https://p", false, false, [["Tessavo.exe", "https://d", 9, "sha256:AB"]]])";
    for (const char* text : {object, array}) {
        auto r = parse_release(text);
        ASSERT_TRUE(r) << text << ": " << r.error();
        EXPECT_EQ(r->tag_name, "v1.2.0");
        EXPECT_EQ(r->body, "notes");
        EXPECT_EQ(r->html_url, "https://p");
        ASSERT_EQ(r->assets.size(), 1u);
        EXPECT_EQ(r->assets[0].name, "Tessavo.exe");
        EXPECT_EQ(r->assets[0].browser_download_url, "https://d");
        EXPECT_EQ(r->assets[0].size, 9u);
        EXPECT_EQ(r->assets[0].digest, "sha256:AB");
    }
}

TEST(Release, AbsentValuesTakeTheirDefaults) {
    for (const char* text : {R"({"tag_name": "v1"})", R"(["v1"])", R"(["v1", null])",
                             R"({"tag_name": "v1", "body": null, "assets": [["a", "u"]]})"}) {
        auto r = parse_release(text);
        ASSERT_TRUE(r) << text << ": " << r.error();
        EXPECT_FALSE(r->body) << text;
        EXPECT_EQ(r->html_url, "");
        EXPECT_FALSE(r->draft);
        EXPECT_FALSE(r->prerelease);
        for (const auto& a : r->assets) {
            EXPECT_EQ(a.size, 0u);
            EXPECT_FALSE(a.digest);
        }
    }
}

TEST(Release, StrictTypesRejectTheAnswer) {
    for (
        const char* text : {
            "",
            "null",
            "[]",                                                // no tag
            R"({"body": "x"})",                                  // no tag
            R"({"tag_name": 1})",                                //
            R"({"tag_name": "v1", "draft": "no"})",              //
            R"({"tag_name": "v1", "prerelease": 0})",            //
            R"({"tag_name": "v1", "html_url": null})",           // a string or absent
            R"({"tag_name": "v1", "body": 5})",                  //
            R"({"tag_name": "v1", "assets": {}})",               //
            R"({"tag_name": "v1", "assets": [{"name": "a"}]})",  // no download address
            R"({"tag_name": "v1", "assets": [{"browser_download_url": "u"}]})",
            R"({"tag_name": "v1", "assets": [{"name": "a", "browser_download_url": "u", "size": -1}]})",
            R"({"tag_name": "v1", "assets": [{"name": "a", "browser_download_url": "u", "size": 1.5}]})",
            R"({"tag_name": "v1", "assets": [{"name": "a", "browser_download_url": "u", "digest": 1}]})",
            R"({"tag_name": "v1", "assets": [["a", "u", 1, null, "extra"]]})",
            R"(["v1", null, "", false, false, [], "extra"])",
            R"({"tag_name": "v1", "tag_name": "v2"})",  // duplicated key
            R"({"tag_name": "v1"} x)",                  // trailing text
            R"({"tag_name": "v1"}{})",
        })
        EXPECT_FALSE(parse_release(text)) << text;
    EXPECT_TRUE(parse_release(" \n{\"tag_name\": \"v1\"}\n "));
}

// ---- versions -----------------------------------------------------------------------

TEST(Version, Parsing) {
    const struct {
        const char* text;
        std::optional<Version> version;
    } cases[] = {
        {"v1.2", Version{1, 2, 0}},
        {"V1.2.3-beta.1", Version{1, 2, 3}},
        {"1.2.3.4", Version{1, 2, 3}},
        {"1.2.3+build.5", Version{1, 2, 3}},
        {"  vv2 ", Version{2, 0, 0}},
        {"0.5.0", Version{0, 5, 0}},
        {"18446744073709551615.0.1", Version{~0ull, 0, 1}},
        {"18446744073709551616", std::nullopt},  // beyond 64 bits
        {"latest", std::nullopt},
        {"", std::nullopt},
        {"v", std::nullopt},
        {"1..2", std::nullopt},
        {"1.2.", std::nullopt},
        {"1.x", std::nullopt},
        {"-1.2", std::nullopt},
        {"1.-2", std::nullopt},
        {"+1", std::nullopt},
        {"1. 2", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_version(c.text), c.version) << c.text;
    EXPECT_LT(*parse_version("1.9.9"), *parse_version("2"));
    EXPECT_LT(*parse_version("0.5.0"), *parse_version("0.5.1"));
    EXPECT_LT(*parse_version("0.5.9"), *parse_version("0.10.0"));  // numbers, not text
}

// ---- the check ------------------------------------------------------------------------

std::string release_json(const std::string& tag, const std::string& extra = {}) {
    return R"({"tag_name": ")" + tag + R"(", "body": "Fixes", "html_url": "https://page")" + extra +
           "}";
}

TEST(Check, Decisions) {
    const auto found = CheckKind::Found;
    const auto none = CheckKind::NoUpdate;
    const auto failed = CheckKind::Failed;
    const struct {
        Result<std::string> answer;
        const char* running;
        std::optional<std::string> skip;
        bool by_user;
        CheckKind kind;
        const char* error;
    } cases[] = {
        {release_json("v0.6.0"), "0.5.0", std::nullopt, false, found, ""},
        {release_json("0.6.0"), "0.5.0", std::nullopt, false, found, ""},
        {release_json("v0.5.0"), "0.5.0", std::nullopt, true, none, ""},
        {release_json("v0.4.9"), "0.5.0", std::nullopt, true, none, ""},
        {release_json("v0.5.0"), "0.0.1", std::nullopt, false, found, ""},  // a fake old version
        {release_json("v9.0.0"), "not a version", std::nullopt, true, none, ""},
        {release_json("v0.6.0"), "0.5.0", "0.6.0", false, none, ""},    // skipped, automatic
        {release_json("v0.6.0"), "0.5.0", "0.6.0", true, found, ""},    // asked by the user
        {release_json("v0.6.0"), "0.5.0", "v0.6.0", false, found, ""},  // exact text only
        {release_json("v9.0.0", R"(, "prerelease": true)"), "0.5.0", std::nullopt, true, failed,
         "latest release is not final"},
        {release_json("v9.0.0", R"(, "draft": true)"), "0.5.0", std::nullopt, false, failed,
         "latest release is not final"},
        {release_json("latest"), "0.5.0", std::nullopt, true, failed,
         "release tag latest is not a version"},
        {release_json("V1.x"), "0.5.0", std::nullopt, true, failed,
         "release tag V1.x is not a version"},
        {Error{"the server answered with HTTP 404"}, "0.5.0", std::nullopt, true, failed,
         "the server answered with HTTP 404"},
    };
    for (const auto& c : cases) {
        const CheckResult r = decide_update(c.answer, c.running, c.skip, c.by_user);
        const std::string label = (c.answer ? *c.answer : c.answer.error()) + " / " + c.running;
        EXPECT_EQ(r.kind, c.kind) << label;
        EXPECT_EQ(r.error, c.error) << label;
    }
}

TEST(Check, NonJsonAnswerNamesTheParserMessage) {
    const CheckResult r = decide_update(std::string("<html>"), "0.5.0", std::nullopt, true);
    EXPECT_EQ(r.kind, CheckKind::Failed);
    EXPECT_EQ(r.error.rfind("unexpected answer from GitHub (", 0), 0u) << r.error;
    EXPECT_EQ(r.error.back(), ')');
    EXPECT_GT(r.error.size(), std::string("unexpected answer from GitHub ()").size());
}

TEST(Check, FoundUpdateCarriesTheReleaseAndOnlySha256Digests) {
    const std::string assets = R"(, "assets": [
        {"name": "Tessavo.exe", "browser_download_url": "https://d/1", "size": 5,
         "digest": "sha256:ABCDEF"},
        {"name": "Tessavo-Setup.exe", "browser_download_url": "https://d/2", "digest": "sha1:abc"},
        {"name": "sha256sums.txt", "browser_download_url": "https://d/3", "digest": null}])";
    const CheckResult r = decide_update(release_json("vV1.0.0", assets), "0.5.0", {}, false);
    ASSERT_EQ(r.kind, CheckKind::Found) << r.error;
    EXPECT_EQ(r.info.version, "1.0.0");
    EXPECT_EQ(r.info.notes, "Fixes");
    EXPECT_EQ(r.info.page, "https://page");
    ASSERT_EQ(r.info.assets.size(), 3u);
    EXPECT_EQ(r.info.assets[0].sha256, "abcdef");
    EXPECT_EQ(r.info.assets[0].url, "https://d/1");
    EXPECT_EQ(r.info.assets[0].size, 5u);
    EXPECT_FALSE(r.info.assets[1].sha256);
    EXPECT_FALSE(r.info.assets[2].sha256);
    EXPECT_EQ(download_size(r.info, false), 5u);
    EXPECT_EQ(download_size(r.info, true), 0u);
}

// ---- checksum list ----------------------------------------------------------------------

TEST(ChecksumList, Lines) {
    const std::string upper = std::string(64, 'A');
    const std::string sums = std::string(63, 'c') + "  Tessavo-Setup.exe\n" +  // 63: never
                             upper + "  *tessavo-setup.exe\r\n" +              // binary mode
                             kHashB + "  Tessavo-Setup.exe\n" +                // later: ignored
                             "\n  garbage\n" + kHashA + "\tTessavo.exe";       // no final break
    EXPECT_EQ(checksum_from_list(sums, "Tessavo-Setup.exe"), std::string(64, 'a'));
    EXPECT_EQ(checksum_from_list(sums, "Tessavo.exe"), kHashA);
    EXPECT_EQ(checksum_from_list(sums, "tessavo-cli.exe"), std::nullopt);
    EXPECT_EQ(checksum_from_list("", "Tessavo.exe"), std::nullopt);
    EXPECT_EQ(checksum_from_list(kHashA + "\n", "Tessavo.exe"), std::nullopt);  // no name
    EXPECT_EQ(checksum_from_list(kHashA + "0  Tessavo.exe", "Tessavo.exe"), std::nullopt);
    // The format sha256sum writes.
    EXPECT_EQ(checksum_from_list(kHashB + "  Tessavo.exe\n" + kHashA + "  sha256sums.txt\n",
                                 "Tessavo.exe"),
              kHashB);
}

// ---- download and verification -----------------------------------------------------------

struct FakeServer {
    std::map<std::string, Result<std::string>> files;
    std::vector<std::string> requests;  // "url accept limit"
    int hashes = 0;
    std::optional<std::string> hash_result;  // what the hasher answers; nullopt = fails

    Fetch fetch() {
        return [this](const std::string& url, const std::string& accept, std::uint64_t limit,
                      const Progress& progress) -> Result<std::string> {
            requests.push_back(url + " " + accept + " " + std::to_string(limit));
            auto it = files.find(url);
            if (it == files.end()) return Error{"the server answered with HTTP 404"};
            if (it->second && progress) progress(it->second->size());
            return it->second;
        };
    }
    Sha256 sha256() {
        return [this](std::string_view) {
            ++hashes;
            return hash_result;
        };
    }
};

// A signature the fake key makes: it holds what it signs, so any change to the list
// breaks it.
std::string fake_sign(std::string_view list) {
    return "signed:" + std::string(list);
}
bool fake_verify(std::string_view list, std::string_view signature) {
    return signature == fake_sign(list);
}

UpdateInfo release_with(std::vector<UpdateAsset> assets) {
    return UpdateInfo{"1.0.0", "", "", std::move(assets)};
}

const UpdateAsset kSums{"sha256sums.txt", "https://d/sums", 0, std::nullopt};
const UpdateAsset kSig{"sha256sums.txt.sig", "https://d/sig", 0, std::nullopt};

TEST(Download, VerifiedAgainstTheSignedChecksumList) {
    const std::string exe = "MZ program";
    const std::string list = kHashA + "  tessavo.exe\n";
    // Names ignore case; a digest GitHub announces must agree with the list.
    for (const std::optional<std::string>& digest :
         {std::optional<std::string>(kHashA), std::optional<std::string>()}) {
        FakeServer s{
            {{"https://d/exe", exe}, {"https://d/sums", list}, {"https://d/sig", fake_sign(list)}},
            {},
            0,
            kHashA};
        std::vector<std::uint64_t> progress;
        auto r = download_verified(release_with({{"tessavo.EXE", "https://d/exe", 10, digest},
                                                 {"SHA256SUMS.txt", "https://d/sums", 0, {}},
                                                 kSig}),
                                   "Tessavo.exe", s.fetch(), s.sha256(), fake_verify,
                                   [&](std::uint64_t n) { progress.push_back(n); });
        ASSERT_TRUE(r) << r.error();
        EXPECT_EQ(*r, exe);
        EXPECT_EQ(s.requests,
                  (std::vector<std::string>{"https://d/sums application/octet-stream 1048576",
                                            "https://d/sig application/octet-stream 1048576",
                                            "https://d/exe application/octet-stream 67108864"}));
        EXPECT_EQ(progress, (std::vector<std::uint64_t>{10}));
    }
}

TEST(Download, EveryRefusalHasItsTextAndReturnsNoBytes) {
    const std::string exe = "MZ program";
    const UpdateAsset with_digest{"Tessavo.exe", "https://d/exe", 0, kHashA};
    const UpdateAsset without{"Tessavo.exe", "https://d/exe", 0, std::nullopt};
    const std::string list = kHashA + "  Tessavo.exe\n";
    const std::pair<const std::string, Result<std::string>> sums{"https://d/sums", list};
    const std::pair<const std::string, Result<std::string>> sig{"https://d/sig", fake_sign(list)};
    const char* mismatch =
        "the download failed its security check (checksum mismatch), so it was not installed";
    const char* unsigned_list =
        "the download failed its security check (its checksums aren't signed), so it was not "
        "installed";
    const char* bad_signature =
        "the download failed its security check (its checksums' signature is wrong), so it was "
        "not installed";
    const struct {
        std::vector<UpdateAsset> assets;
        std::map<std::string, Result<std::string>> files;
        std::optional<std::string> hash;
        const char* error;
        int hashes;  // hashing happens only once the cheap checks passed
    } cases[] = {
        {{{"Tessavo-Setup.exe", "https://d/exe", 0, kHashA}},
         {},
         kHashA,
         "release 1.0.0 has no Tessavo.exe",
         0},
        // A digest alone is not trusted: it comes from the same release.
        {{with_digest},
         {{"https://d/exe", exe}},
         kHashA,
         "this release has no checksums, so it can't be verified",
         0},
        {{with_digest, kSums}, {{"https://d/exe", exe}, sums}, kHashA, unsigned_list, 0},
        {{without, kSums, kSig}, {}, kHashA, "the server answered with HTTP 404", 0},
        {{without, kSums, kSig}, {sums}, kHashA, "the server answered with HTTP 404", 0},
        // Altered after signing, signed by another key, an empty signature.
        {{without, kSums, kSig},
         {{"https://d/exe", exe}, {"https://d/sums", kHashB + "  Tessavo.exe\n"}, sig},
         kHashB,
         bad_signature,
         0},
        {{without, kSums, kSig},
         {{"https://d/exe", exe}, sums, {"https://d/sig", "other:" + list}},
         kHashA,
         bad_signature,
         0},
        {{without, kSums, kSig},
         {{"https://d/exe", exe}, sums, {"https://d/sig", std::string()}},
         kHashA,
         bad_signature,
         0},
        {{without, kSums, kSig},
         {{"https://d/sums", kHashA + "  Tessavo-Setup.exe\n"},
          {"https://d/sig", fake_sign(kHashA + "  Tessavo-Setup.exe\n")}},
         kHashA,
         "no checksum listed for Tessavo.exe",
         0},
        {{without, kSums, kSig},
         {{"https://d/sums", std::string(63, 'a') + "  Tessavo.exe\n"},
          {"https://d/sig", fake_sign(std::string(63, 'a') + "  Tessavo.exe\n")}},
         kHashA,
         "no checksum listed for Tessavo.exe",
         0},
        // A digest that disagrees with the signed list.
        {{{"Tessavo.exe", "https://d/exe", 0, kHashB}, kSums, kSig},
         {{"https://d/exe", exe}, sums, sig},
         kHashB,
         mismatch,
         0},
        {{with_digest, kSums, kSig},
         {{"https://d/exe", Error{"download interrupted"}}, sums, sig},
         kHashA,
         "download interrupted",
         0},
        {{{"Tessavo.exe", "https://d/exe", 11, kHashA}, kSums, kSig},
         {{"https://d/exe", exe}, sums, sig},
         kHashA,
         "the download was incomplete",
         0},
        {{with_digest, kSums, kSig},
         {{"https://d/exe", std::string("PK zip")}, sums, sig},
         kHashA,
         "the download isn't a Windows program",
         0},
        {{with_digest, kSums, kSig},
         {{"https://d/exe", std::string("M")}, sums, sig},
         kHashA,
         "the download isn't a Windows program",
         0},
        {{with_digest, kSums, kSig},
         {{"https://d/exe", std::string()}, sums, sig},
         kHashA,
         "the download isn't a Windows program",
         0},
        {{with_digest, kSums, kSig},
         {{"https://d/exe", exe}, sums, sig},
         std::nullopt,
         "couldn't verify the download",
         1},
        {{with_digest, kSums, kSig}, {{"https://d/exe", exe}, sums, sig}, kHashB, mismatch, 1},
        {{without, kSums, kSig}, {{"https://d/exe", exe}, sums, sig}, kHashB, mismatch, 1},
    };
    for (const auto& c : cases) {
        FakeServer s{c.files, {}, 0, c.hash};
        auto r = download_verified(release_with(c.assets), "Tessavo.exe", s.fetch(), s.sha256(),
                                   fake_verify, nullptr);
        ASSERT_FALSE(r) << c.error;
        EXPECT_EQ(r.error(), c.error);
        EXPECT_EQ(s.hashes, c.hashes) << c.error;
        // The program is never fetched before its list's signature verified.
        const std::string_view error = c.error;
        if (error == bad_signature || error == unsigned_list) {
            EXPECT_EQ(
                std::count_if(s.requests.begin(), s.requests.end(),
                              [](const std::string& u) { return u.starts_with("https://d/exe"); }),
                0)
                << c.error;
        }
    }
}

// openssl writes DER; CNG verifies r||s, each 32 bytes.
TEST(Download, DerSignaturesBecomeRawPairs) {
    const std::string r32(32, '\x11'), s32(32, '\x22');
    const auto der = [](std::string body) {
        return std::string("\x30") + static_cast<char>(body.size()) + body;
    };
    const auto integer = [](std::string value) {
        return std::string("\x02") + static_cast<char>(value.size()) + value;
    };
    const std::string high(32, '\x80');  // needs its leading zero
    const struct {
        std::string der;
        std::optional<std::string> raw;
    } cases[] = {
        {der(integer(r32) + integer(s32)), r32 + s32},
        {der(integer(std::string(1, '\0') + high) + integer("\x05")),
         high + std::string(31, '\0') + "\x05"},
        {der(integer(r32) + integer(s32)) + "x", std::nullopt},  // trailing bytes
        {der(integer(r32)), std::nullopt},                       // s missing
        {der(integer(r32) + integer(s32) + integer("\x01")), std::nullopt},
        {der(integer(std::string(33, '\x11')) + integer(s32)), std::nullopt},   // too long
        {der(integer(std::string("\0\x11", 2)) + integer(s32)), std::nullopt},  // not minimal
        {der(integer("\x81") + integer(s32)), std::nullopt},                    // negative
        {der(integer("") + integer(s32)), std::nullopt},                        // empty
        {std::string("\x31\x06\x02\x01\x01\x02\x01\x01", 8), std::nullopt},     // not a SEQUENCE
        {std::string("\x30\x07\x02\x01\x01\x02\x01\x01", 8), std::nullopt},     // length past end
        {std::string("\x30\x06\x02\x05\x01\x02\x01\x01", 8), std::nullopt},     // INTEGER past end
        {"", std::nullopt},
        {"signed:list", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(der_signature_to_p1363(c.der), c.raw) << ::testing::PrintToString(c.der);
    }
}

TEST(Download, AssetChoiceAndFileNames) {
    EXPECT_EQ(asset_name_for(true), "Tessavo-Setup.exe");
    EXPECT_EQ(asset_name_for(false), "Tessavo.exe");
    EXPECT_EQ(temp_file_name("1.2.3", "Tessavo.exe"), "Tessavo-1.2.3-Tessavo.exe");
    EXPECT_EQ(temp_file_name("1.2.3-rc+b", "Tessavo-Setup.exe"),
              "Tessavo-1.2.3-rc+b-Tessavo-Setup.exe");
    // The version comes from the server: no separator or drive may survive.
    EXPECT_EQ(temp_file_name("1.2.3.\\..\\..\\x:/y", "Tessavo.exe"),
              "Tessavo-1.2.3._.._.._x__y-Tessavo.exe");
}

// ---- replacing a running portable copy ---------------------------------------------------

struct FakeFiles {
    std::map<std::string, std::string> files;
    std::vector<std::string> started;
    std::optional<std::string> move_error, copy_error;
    bool put_back_fails = false;  // only the first move (the one aside) succeeds
    int moves = 0;

    ReplaceOps ops() {
        ReplaceOps o;
        o.move = [this](const std::string& from,
                        const std::string& to) -> std::optional<std::string> {
            if (move_error) return move_error;
            if (put_back_fails && moves++ > 0) return std::string("Access is denied");
            files[to] = files.at(from);
            files.erase(from);
            return std::nullopt;
        };
        o.copy = [this](const std::string& from,
                        const std::string& to) -> std::optional<std::string> {
            if (copy_error) {
                files[to] = "partial";  // a failed copy may leave half a file behind
                return copy_error;
            }
            files[to] = files.at(from);
            return std::nullopt;
        };
        o.start = [this](const std::string& exe, const std::string& args) {
            started.push_back(exe + " " + args);
        };
        return o;
    }
};

TEST(Replace, HandOverArgumentsCarryTheVerifiedCompanion) {
    EXPECT_EQ(handover_arguments(std::nullopt, ""), "--update");
    EXPECT_EQ(handover_arguments("C:\\Users\\a b\\Temp\\Tessavo-0.6.0-tessavo-cli.exe", "ab12"),
              "--update \"C:\\Users\\a b\\Temp\\Tessavo-0.6.0-tessavo-cli.exe\" ab12");
}

TEST(Replace, RunningCopyIsRenamedAsideReplacedAndStarted) {
    FakeFiles f{{{"C:\\p\\Tessavo.exe", "old"}, {"T:\\new.exe", "new"}}, {}, {}, {}};
    EXPECT_EQ(replace_running_exe(f.ops(), "C:\\p\\Tessavo.exe", "T:\\new.exe", 77), std::nullopt);
    EXPECT_EQ(f.files, (std::map<std::string, std::string>{{"C:\\p\\Tessavo.77.old", "old"},
                                                           {"C:\\p\\Tessavo.exe", "new"},
                                                           {"T:\\new.exe", "new"}}));
    // The new copy waits for this process to go before its window opens.
    EXPECT_EQ(f.started, (std::vector<std::string>{"C:\\p\\Tessavo.exe --after-update 77"}));
}

TEST(Replace, FailuresLeaveTheRunningCopyInPlace) {
    FakeFiles rename_fails{
        {{"C:\\p\\Tessavo.exe", "old"}, {"T:\\new.exe", "new"}}, {}, "Access is denied", {}};
    EXPECT_EQ(replace_running_exe(rename_fails.ops(), "C:\\p\\Tessavo.exe", "T:\\new.exe", 77),
              "couldn't replace the app: Access is denied");
    EXPECT_EQ(rename_fails.files.at("C:\\p\\Tessavo.exe"), "old");
    EXPECT_TRUE(rename_fails.started.empty());

    FakeFiles copy_fails{
        {{"C:\\p\\Tessavo.exe", "old"}, {"T:\\new.exe", "new"}}, {}, {}, "Disk full"};
    EXPECT_EQ(replace_running_exe(copy_fails.ops(), "C:\\p\\Tessavo.exe", "T:\\new.exe", 77),
              "couldn't replace the app: Disk full");
    EXPECT_EQ(copy_fails.files, (std::map<std::string, std::string>{{"C:\\p\\Tessavo.exe", "old"},
                                                                    {"T:\\new.exe", "new"}}));
    EXPECT_TRUE(copy_fails.started.empty());

    // Even putting it back fails: the text says where the program's file is now.
    FakeFiles stuck{{{"C:\\p\\Tessavo.exe", "old"}, {"T:\\new.exe", "new"}}, {}, {}, "Disk full"};
    stuck.put_back_fails = true;
    EXPECT_EQ(replace_running_exe(stuck.ops(), "C:\\p\\Tessavo.exe", "T:\\new.exe", 77),
              "couldn't replace the app: Disk full (the previous copy is C:\\p\\Tessavo.77.old)");
    EXPECT_EQ(stuck.files.at("C:\\p\\Tessavo.77.old"), "old");
    EXPECT_TRUE(stuck.started.empty());
}

}  // namespace
}  // namespace tess::updates
