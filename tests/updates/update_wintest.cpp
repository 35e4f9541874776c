// The update check and install against the loopback HTTPS server (https-fixture.sh),
// with the real WinINet, CNG and file system. The install runs in a copy of this test
// program started from a test folder, so the executable being replaced is a running one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "core/crypto.hpp"
#include "core/settings.hpp"
#include "core/timeutil.hpp"
#include "support/child.hpp"
#include "support/uidriver.hpp"
#include "ui/policy_winutil.hpp"
#include "updates/https_fixture_win.hpp"
#include "updates/signing_win.hpp"
#include "updates/update.hpp"

namespace tess::updates {
namespace {

using test::https_base;
using test::read_text;
using test::ScopedEnv;
using test::TempDir;

using test::Served;
using test::signed_list_assets;

std::string asset_json(const std::string& name, const std::string& url, std::uint64_t size,
                       const std::string& digest) {
    std::string j = R"({"name": ")" + name + R"(", "browser_download_url": ")" + url +
                    R"(", "size": )" + std::to_string(size);
    if (!digest.empty()) j += R"(, "digest": ")" + digest + "\"";
    return j + "}";
}

std::string release_json(const std::string& tag, const std::vector<std::string>& assets,
                         const std::string& extra = {}) {
    std::string j = R"({"tag_name": ")" + tag + R"(", "body": "## What's new\n- Faster", )" +
                    R"("html_url": "https://example.invalid/r")" + extra + R"(, "assets": [)";
    for (std::size_t i = 0; i < assets.size(); ++i)
        j += (i ? ", " : "") + assets[i];
    return j + "]}";
}

class UpdateHttps : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(https_base().empty()) << "the HTTPS fixture is not running";
    }
    TempDir data_{"upd-data"};
    ScopedEnv data_env_{"TESS_DATA_DIR", data_.path()};
    ScopedEnv no_check_{"TESS_NO_UPDATE_CHECK", std::nullopt};
    ScopedEnv fake_{"TESS_FAKE_VERSION", std::nullopt};
};

TEST(Sha256, MatchesKnownDigests) {
    EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex(std::string(1'000'000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// CNG verifies the test key's signature of the exact list and nothing else; the key is
// passed explicitly, as the program passes the key it carries.
TEST(Signature, OnlyTheTrustedKeysSignatureOfTheExactListVerifies) {
    PublicKey key;
    std::memcpy(key.data(), test::k_test_public_key, key.size());
    const std::string list = std::string(64, 'a') + "  Tessavo.exe\n";
    const std::string good = test::sign(list, test::k_test_private_key);
    ASSERT_FALSE(good.empty());
    std::string flipped = good;
    flipped[flipped.size() - 1] ^= 1;
    const struct {
        const char* what;
        std::string data, signature;
        bool verifies;
    } cases[] = {
        {"signed", list, good, true},
        {"another key", list, test::sign(list, test::k_other_private_key), false},
        {"altered after signing", std::string(64, 'b') + "  Tessavo.exe\n", good, false},
        {"signature changed", list, flipped, false},
        {"no signature", list, "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(verify_signature(c.data, c.signature, key), c.verifies) << c.what;
    // Nor does another key accept the test key's signature.
    std::memcpy(key.data(), test::k_other_public_key, key.size());
    EXPECT_FALSE(verify_signature(list, good, key));
}

TEST_F(UpdateHttps, CheckAnswers) {
    Served s("check");
    s.put("newer.json", release_json("v0.6.0", {}));
    s.put("draft.json", release_json("v9.0.0", {}, R"(, "draft": true)"));
    s.put("pre.json", release_json("v9.0.0", {}, R"(, "prerelease": true)"));
    s.put("tag.json", release_json("latest", {}));
    s.put("same.json", release_json("v0.5.0", {}));
    s.put("bad.json", "<html>rate limited</html>");
    const struct {
        std::string file;
        bool by_user;
        CheckKind kind;
        std::string error;
    } cases[] = {
        {"newer.json", false, CheckKind::Found, ""},
        {"same.json", true, CheckKind::NoUpdate, ""},
        {"draft.json", true, CheckKind::Failed, "latest release is not final"},
        {"pre.json", false, CheckKind::Failed, "latest release is not final"},
        {"tag.json", true, CheckKind::Failed, "release tag latest is not a version"},
        {"missing.json", true, CheckKind::Failed, "the server answered with HTTP 404"},
    };
    for (const auto& c : cases) {
        ScopedEnv url("TESS_UPDATE_URL", s.url(c.file));
        const CheckResult r = check_for_update(c.by_user);
        EXPECT_EQ(r.kind, c.kind) << c.file;
        EXPECT_EQ(r.error, c.error) << c.file;
    }
    ScopedEnv url("TESS_UPDATE_URL", s.url("bad.json"));
    const CheckResult bad = check_for_update(true);
    EXPECT_EQ(bad.error.rfind("unexpected answer from GitHub (", 0), 0u) << bad.error;
    ScopedEnv plain("TESS_UPDATE_URL", "http://localhost:1/latest");
    EXPECT_EQ(check_for_update(true).error, "only HTTPS is allowed");
}

TEST_F(UpdateHttps, SkippedVersionIsOfferedOnlyWhenTheUserAsks) {
    Served s("skip");
    s.put("latest.json", release_json("v0.6.0", {}));
    ScopedEnv url("TESS_UPDATE_URL", s.url("latest.json"));
    Settings settings;
    settings.skip_version = "0.6.0";
    save_settings(settings);
    EXPECT_EQ(check_for_update(false).kind, CheckKind::NoUpdate);
    const CheckResult asked = check_for_update(true);
    ASSERT_EQ(asked.kind, CheckKind::Found) << asked.error;
    EXPECT_EQ(asked.info.version, "0.6.0");
    EXPECT_EQ(asked.info.notes, "## What's new\n- Faster");
}

TEST_F(UpdateHttps, FakeVersionMakesAnyFinalReleaseNewer) {
    Served s("fake");
    s.put("latest.json", release_json("v0.5.0", {}));
    ScopedEnv url("TESS_UPDATE_URL", s.url("latest.json"));
    EXPECT_EQ(check_for_update(false).kind, CheckKind::NoUpdate);
    ScopedEnv fake("TESS_FAKE_VERSION", "0.0.1");
    EXPECT_EQ(running_version(), "0.0.1");
    EXPECT_EQ(check_for_update(false).kind, CheckKind::Found);
}

TEST_F(UpdateHttps, NoUpdateCheckStopsAutomaticChecksBeforeAnyRequest) {
    Served s("nocheck");
    s.put("latest.json", release_json("v0.6.0", {}));
    ScopedEnv url("TESS_UPDATE_URL", s.url("latest.json"));
    ScopedEnv off("TESS_NO_UPDATE_CHECK", "");  // set, even empty
    EXPECT_EQ(check_for_update(false).kind, CheckKind::NoUpdate);
    EXPECT_FALSE(s.requested("latest.json"));
    EXPECT_EQ(check_for_update(true).kind, CheckKind::Found);  // the user still may
    EXPECT_TRUE(s.requested("latest.json"));
}

// GitHub's rate limit counts every PC behind one address: its answer is remembered in the
// data folder, and no check asks again before the reset.
TEST_F(UpdateHttps, RateLimitIsRememberedUntilItsReset) {
    const std::string tag = "limit-" + std::to_string(::GetCurrentProcessId());
    const auto requests = [&] {
        const std::string log = read_text(test::https_fixture_path("requests.log")).value_or("");
        int n = 0;
        for (auto at = log.find(tag); at != std::string::npos; at = log.find(tag, at + 1))
            ++n;
        return n;
    };
    ScopedEnv url("TESS_UPDATE_URL", https_base() + "/limited/429?retry_after=600&tag=" + tag);
    const std::string limited =
        "GitHub's limit on update checks from this network is used up; try again in 10 minutes";
    const CheckResult first = check_for_update(true);
    EXPECT_EQ(first.kind, CheckKind::Failed);
    EXPECT_EQ(first.error, limited);
    EXPECT_EQ(requests(), 1);
    ASSERT_TRUE(read_text(data_.file("update-limit.txt")));
    for (const bool by_user : {true, false}) {
        const CheckResult again = check_for_update(by_user);
        EXPECT_EQ(again.kind, CheckKind::Failed) << by_user;
        EXPECT_EQ(again.error, limited) << by_user;
    }
    EXPECT_EQ(requests(), 1);
    // Once the reset has passed, the next check goes out.
    const std::uint64_t now = filetime_to_unix(win::filetime_now());
    ASSERT_TRUE(win::write_file(data_.file("update-limit.txt"), std::to_string(now - 1)));
    EXPECT_EQ(check_for_update(true).error, limited);
    EXPECT_EQ(requests(), 2);
}

// The organisation's DisableUpdateCheck does the same from the machine's or the user's
// policies; a value out of range is ignored.
TEST_F(UpdateHttps, DisableUpdateCheckPolicyStopsAutomaticChecks) {
    Served s("policy");
    s.put("bad.json", release_json("v0.6.0", {}));
    s.put("off.json", release_json("v0.6.0", {}));
    ScopedEnv checks("TESS_NO_UPDATE_CHECK", std::nullopt);
    test::PolicyKeys policy;
    ASSERT_TRUE(policy.set_dword(HKEY_CURRENT_USER, "DisableUpdateCheck", 2));
    {
        ScopedEnv url("TESS_UPDATE_URL", s.url("bad.json"));
        EXPECT_EQ(check_for_update(false).kind, CheckKind::Found);
        EXPECT_TRUE(s.requested("bad.json"));
    }
    ASSERT_TRUE(policy.set_dword(HKEY_LOCAL_MACHINE, "DisableUpdateCheck", 1));
    ScopedEnv url("TESS_UPDATE_URL", s.url("off.json"));
    EXPECT_EQ(check_for_update(false).kind, CheckKind::NoUpdate);
    EXPECT_FALSE(s.requested("off.json"));
    EXPECT_EQ(check_for_update(true).kind, CheckKind::Found);  // the user still may
}

// ---- install ------------------------------------------------------------------------------

// Runs in a copy of this program: check as the user would, then install.
// args: release URL, "installed" or "portable", result file.
TESS_CHILD(install_from_release) {
    if (args.size() != 3) return 2;
    const CheckResult check = check_for_update(true);
    std::string result;
    if (check.kind != CheckKind::Found) {
        result = "check: " + check.error;
    } else {
        const auto failed = install_update(check.info, args[1] == "installed", nullptr);
        result = failed ? *failed : "ok";
    }
    test::write_text(args[2], result);
    return 0;
}

std::string marker_bytes() {
    const auto bytes = read_text(test::built_exe("tess_update_marker.exe"));
    return bytes.value_or("");
}

struct InstallRun {
    std::string result;
    DWORD pid = 0;
};

// Starts `exe` (a copy of this program) as the install child, with TEMP pointing at
// `temp`, and waits for it.
InstallRun run_install(const std::string& exe, const std::string& release_url, bool installed,
                       const std::string& temp, const std::string& result_file) {
    ScopedEnv url("TESS_UPDATE_URL", release_url);
    ScopedEnv t1("TEMP", temp);
    ScopedEnv t2("TMP", temp);
    const std::string cmd = test::quote_arg(exe) + " --child install_from_release " +
                            test::quote_arg(release_url) + " " +
                            (installed ? "installed " : "portable ") + test::quote_arg(result_file);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    InstallRun run;
    if (!test::create_process(cmd, false, 0, nullptr, si, pi)) return run;
    win::unique_handle process(pi.hProcess), thread(pi.hThread);
    run.pid = pi.dwProcessId;
    test::wait_exit(process, 60'000);
    run.result = read_text(result_file).value_or("(no result)");
    return run;
}

// Waits a bounded time for a file the started program writes.
std::optional<std::string> wait_for_file(const std::string& path) {
    for (int i = 0; i < 100; ++i) {
        if (auto text = read_text(path)) return text;
        ::Sleep(100);
    }
    return std::nullopt;
}

std::vector<std::string> files_in(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd{};
    win::unique_hfind find(::FindFirstFileW(win::widen(dir + "\\*").c_str(), &fd));
    if (!find) return names;
    do {
        const std::string n = win::narrow(fd.cFileName, wcslen(fd.cFileName));
        if (n != "." && n != "..") names.push_back(n);
    } while (::FindNextFileW(find.get(), &fd));
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(UpdateHttps, PortableCopyIsReplacedInPlaceAndStarted) {
    const std::string marker = marker_bytes();
    ASSERT_GT(marker.size(), 2u);
    const std::string hash = *sha256_hex(marker);
    Served s("portable");
    s.put("Tessavo.exe", marker);
    const std::string sums = signed_list_assets(s, "sha256sums.txt", hash + "  Tessavo.exe\n");
    // One release also names the checksum as a digest, the other only in the signed list.
    s.put("digest.json", release_json("v0.6.0", {asset_json("Tessavo.exe", s.url("Tessavo.exe"),
                                                            marker.size(), "sha256:" + hash),
                                                 sums}));
    s.put("list.json",
          release_json("v0.6.0", {asset_json("Tessavo.exe", s.url("Tessavo.exe"), 0, ""), sums}));
    for (const char* release : {"digest.json", "list.json"}) {
        TempDir app("upd-app"), temp("upd-temp");
        const std::string exe = app.file("Tessavo.exe");
        ASSERT_TRUE(
            ::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(exe).c_str(), TRUE));
        const std::string original = *read_text(exe);

        const InstallRun run =
            run_install(exe, s.url(release), false, temp.path(), temp.file("result.txt"));
        EXPECT_EQ(run.result, "ok") << release;
        EXPECT_EQ(read_text(exe), marker) << release;
        const std::string old = "Tessavo." + std::to_string(run.pid) + ".old";
        EXPECT_EQ(read_text(app.file(old)), original) << release;
        EXPECT_EQ(wait_for_file(app.file("started.txt")),
                  "started --after-update " + std::to_string(run.pid))
            << release;
        EXPECT_EQ(read_text(temp.file("Tessavo-0.6.0-Tessavo.exe")), marker) << release;
    }
}

TEST_F(UpdateHttps, InstalledCopyStartsTheSetupProgramWithUpdate) {
    const std::string marker = marker_bytes();
    Served s("installed");
    s.put("Tessavo-Setup.exe", marker);
    s.put("latest.json",
          release_json("v0.6.0",
                       {asset_json("Tessavo.exe", s.url("missing"), 0, "sha256:00"),
                        asset_json("Tessavo-Setup.exe", s.url("Tessavo-Setup.exe"), marker.size(),
                                   "sha256:" + *sha256_hex(marker)),
                        signed_list_assets(s, "sha256sums.txt",
                                           *sha256_hex(marker) + "  Tessavo-Setup.exe\n")}));
    TempDir app("upd-app"), temp("upd-temp");
    const std::string exe = app.file("Tessavo.exe");
    ASSERT_TRUE(::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(exe).c_str(), TRUE));
    const std::string original = *read_text(exe);
    const InstallRun run =
        run_install(exe, s.url("latest.json"), true, temp.path(), temp.file("result.txt"));
    EXPECT_EQ(run.result, "ok");
    EXPECT_EQ(wait_for_file(temp.file("started.txt")), "started --update");
    EXPECT_EQ(read_text(temp.file("Tessavo-0.6.0-Tessavo-Setup.exe")), marker);
    EXPECT_EQ(read_text(exe), original);  // the setup program replaces it, not this step
    EXPECT_FALSE(s.requested("missing"));
}

// The console companion comes with the release: an installed copy downloads and verifies it
// beside the setup program and hands both over, the companion with its checksum; a companion
// that fails its check stops the update before anything is started.
TEST_F(UpdateHttps, InstalledCopyHandsOverTheVerifiedCompanion) {
    const std::string marker = marker_bytes();
    const std::string cli = "MZ console companion 0.6.0";
    const std::string cli_hash = *sha256_hex(cli);
    Served s("companion");
    s.put("Tessavo-Setup.exe", marker);
    s.put("tessavo-cli.exe", cli);
    const std::string setup = asset_json("Tessavo-Setup.exe", s.url("Tessavo-Setup.exe"),
                                         marker.size(), "sha256:" + *sha256_hex(marker));
    const struct {
        std::string name;
        std::string cli_digest;
        std::string result;
    } cases[] = {
        {"verified", cli_hash, "ok"},
        {"tampered", std::string(64, '0'),
         "the download failed its security check (checksum mismatch), so it was not installed"},
    };
    for (const auto& c : cases) {
        // The signed list holds what the release names.
        const std::string sums = signed_list_assets(
            s, c.name + ".txt",
            *sha256_hex(marker) + "  Tessavo-Setup.exe\n" + c.cli_digest + "  tessavo-cli.exe\n");
        s.put(c.name + ".json",
              release_json("v0.6.0", {setup,
                                      asset_json("tessavo-cli.exe", s.url("tessavo-cli.exe"),
                                                 cli.size(), "sha256:" + c.cli_digest),
                                      sums}));
        TempDir app("upd-app"), temp("upd-temp");
        const std::string exe = app.file("Tessavo.exe");
        ASSERT_TRUE(
            ::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(exe).c_str(), TRUE));
        const InstallRun run =
            run_install(exe, s.url(c.name + ".json"), true, temp.path(), temp.file("result.txt"));
        EXPECT_EQ(run.result, c.result) << c.name;
        if (c.result != "ok") {
            ::Sleep(300);
            EXPECT_FALSE(test::exists(temp.file("started.txt"))) << c.name;
            continue;
        }
        const std::string saved = temp.file("Tessavo-0.6.0-tessavo-cli.exe");
        EXPECT_EQ(read_text(saved), cli);
        EXPECT_EQ(wait_for_file(temp.file("started.txt")),
                  "started --update " + saved + " " + cli_hash);
    }
}

// A portable copy of Tessavo.exe started with its start-up check pointed at `release`,
// up to the moment its update window shows.
class OfferedCopy {
public:
    OfferedCopy(const std::string& release_url) : exe_(app_.file("Tessavo.exe")) {
        // The program as released, but trusting the build's test key.
        EXPECT_TRUE(::CopyFileW(win::widen(test::built_exe("Tessavo-testkey.exe")).c_str(),
                                win::widen(exe_).c_str(), TRUE));
        original_ = read_text(exe_).value_or("");
        program_ = test::start_program(exe_, {},
                                       {{"TESS_UPDATE_URL", release_url},
                                        {"TESS_OFFSCREEN", "1"},
                                        {"TEMP", temp_.path()},
                                        {"TMP", temp_.path()}});
        pid_ = program_.pid();
        if (auto w = uidriver::wait_window({"TessavoWindow", std::nullopt, pid_}, 20'000))
            main_ = *w;
        if (auto w = uidriver::wait_window({"TessavoUpdate", std::nullopt, pid_, true}, 30'000))
            offer_ = *w;
    }
    // Clicks a button of the update window once it shows.
    void click(int id) const {
        ASSERT_TRUE(uidriver::wait_control(offer_, id));
        const auto clicked = uidriver::click(offer_, id);
        ASSERT_TRUE(clicked) << clicked.error();
    }
    // With TESS_SCREENS_DIR set (scripts/screens.sh), the update window's picture lands there.
    void picture(const std::string& name) const {
        const auto dir = win::get_env("TESS_SCREENS_DIR");
        if (!dir) return;
        uidriver::settle(offer_);
        if (const auto image = uidriver::capture(offer_))
            uidriver::save_png(*image, *dir + "\\" + name + ".png");
    }

    TempDir app_{"upd-app"}, temp_{"upd-temp"};
    std::string exe_, original_;
    test::RunningProgram program_;
    std::uint32_t pid_ = 0;
    uidriver::Window main_ = 0, offer_ = 0;
};

// The main window's start-up check: a found update is offered in a window the main window
// owns; skipping it is remembered and the main window stays; installing it replaces the
// copy, starts the new one and ends the old window; a download that stops leaves the copy
// as it was with only "Close".
TEST_F(UpdateHttps, MainWindowOffersAFoundUpdateAtStartUp) {
    const std::string marker = marker_bytes();
    const std::string hash = *sha256_hex(marker);
    Served s("main-window");
    s.put("Tessavo.exe", marker);
    const std::string sums = signed_list_assets(s, "sha256sums.txt", hash + "  Tessavo.exe\n");
    s.put("latest.json", release_json("v0.6.0", {asset_json("Tessavo.exe", s.url("Tessavo.exe"),
                                                            marker.size(), "sha256:" + hash),
                                                 sums}));
    s.put("stall.json",
          release_json("v0.6.0", {asset_json("Tessavo.exe", https_base() + "/stall/300000", 600'000,
                                             "sha256:" + hash),
                                  sums}));
    s.put("cut.json",
          release_json(
              "v0.6.0",
              {asset_json("Tessavo.exe", https_base() + "/cut/40000", 0, "sha256:" + hash), sums}));
    {
        OfferedCopy copy(s.url("latest.json"));
        ASSERT_TRUE(copy.main_ && copy.offer_);
        EXPECT_EQ(::GetWindow(reinterpret_cast<HWND>(copy.offer_), GW_OWNER),
                  reinterpret_cast<HWND>(copy.main_));
        copy.picture("update-offer");
        copy.click(203);  // Skip this version
        EXPECT_TRUE(uidriver::wait_gone(copy.offer_));
        EXPECT_EQ(load_settings().skip_version, "0.6.0");
        EXPECT_TRUE(::IsWindow(reinterpret_cast<HWND>(copy.main_)));  // the window stays
        EXPECT_EQ(copy.program_.end(), 0);
    }
    // Each next copy starts with no version skipped.
    {
        TempDir data("upd-data2");
        ScopedEnv fresh("TESS_DATA_DIR", data.path());
        OfferedCopy copy(s.url("stall.json"));
        ASSERT_TRUE(copy.offer_);
        copy.click(201);  // Update now
        // Installing: no buttons while the download runs.
        EXPECT_TRUE(uidriver::wait_control(copy.offer_, 202,
                                           [](const uidriver::Control& c) { return !c.visible; }));
        ::Sleep(300);  // the first bytes are in
        copy.picture("update-installing");
        copy.program_.end();
        EXPECT_EQ(read_text(copy.exe_), copy.original_);
    }
    {
        TempDir data("upd-data3");
        ScopedEnv fresh("TESS_DATA_DIR", data.path());
        OfferedCopy copy(s.url("cut.json"));
        ASSERT_TRUE(copy.offer_);
        copy.click(201);
        const auto close = uidriver::wait_control(
            copy.offer_, 202,
            [](const uidriver::Control& c) { return c.visible && c.caption == "Close"; }, 20'000);
        EXPECT_TRUE(close) << (close ? "" : close.error());
        copy.picture("update-failed");
        copy.click(202);
        EXPECT_TRUE(uidriver::wait_gone(copy.offer_));
        EXPECT_TRUE(::IsWindow(reinterpret_cast<HWND>(copy.main_)));
        EXPECT_EQ(copy.program_.end(), 0);
        EXPECT_EQ(read_text(copy.exe_), copy.original_);
        EXPECT_EQ(files_in(copy.app_.path()), std::vector<std::string>{"Tessavo.exe"});
    }
    {
        TempDir data("upd-data4");
        ScopedEnv fresh("TESS_DATA_DIR", data.path());
        OfferedCopy copy(s.url("latest.json"));
        ASSERT_TRUE(copy.main_ && copy.offer_);
        copy.click(201);
        // Installed: the window says so for a moment, then closes with the main window.
        if (win::get_env("TESS_SCREENS_DIR")) {
            uidriver::wait_control(copy.offer_, 202,
                                   [](const uidriver::Control& c) { return !c.visible; });
            for (int i = 0; i < 100 && !test::exists(copy.app_.file("started.txt")); ++i)
                ::Sleep(10);
            copy.picture("update-installed");
        }
        EXPECT_EQ(copy.program_.wait(30'000), 0);
        EXPECT_FALSE(::IsWindow(reinterpret_cast<HWND>(copy.main_)));
        EXPECT_EQ(read_text(copy.exe_), marker);
        EXPECT_EQ(read_text(copy.app_.file("Tessavo." + std::to_string(copy.pid_) + ".old")),
                  copy.original_);
        EXPECT_EQ(wait_for_file(copy.app_.file("started.txt")),
                  "started --after-update " + std::to_string(copy.pid_));
    }
}

// The main window of the program at `exe` in a process other than `old_pid`, or null.
HWND main_window_of(const std::string& exe, DWORD old_pid) {
    HWND h = nullptr;
    while ((h = ::FindWindowExW(nullptr, h, L"TessavoWindow", nullptr)) != nullptr) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        if (pid == old_pid) continue;
        const win::unique_handle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (process && ::QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
            _wcsicmp(image, win::widen(exe).c_str()) == 0)
            return h;
    }
    return nullptr;
}

// Updating a portable copy from its main window with a real Tessavo.exe as the download:
// the new program starts while the old window still holds the single-instance name, and
// must wait for it rather than bring the old window back and end.
TEST_F(UpdateHttps, PortableUpdateFromTheMainWindowLeavesTheNewVersionOpen) {
    // Bytes after the image tell the new program's file from the old one; Windows loads
    // the program without reading them.
    const std::string fresh =
        read_text(test::built_exe("Tessavo-testkey.exe")).value_or("") + "tessavo-next-version";
    Served s("real-exe");
    s.put("Tessavo.exe", fresh);
    s.put("latest.json",
          release_json("v0.6.0", {asset_json("Tessavo.exe", s.url("Tessavo.exe"), fresh.size(),
                                             "sha256:" + *sha256_hex(fresh)),
                                  signed_list_assets(s, "sha256sums.txt",
                                                     *sha256_hex(fresh) + "  Tessavo.exe\n")}));
    OfferedCopy copy(s.url("latest.json"));
    ASSERT_TRUE(copy.main_ && copy.offer_);
    copy.click(201);  // Update now
    EXPECT_EQ(copy.program_.wait(30'000), 0);
    EXPECT_EQ(read_text(copy.exe_), fresh);
    // Once it shows: found any earlier, it may still be being created.
    HWND next = nullptr;
    for (int i = 0; i < 300; ++i) {
        next = main_window_of(copy.exe_, copy.pid_);
        if (next && ::IsWindowVisible(next)) break;
        ::Sleep(100);
    }
    ASSERT_TRUE(next) << "no main window of the new version";
    EXPECT_TRUE(::IsWindowVisible(next));
    DWORD next_pid = 0;
    ::GetWindowThreadProcessId(next, &next_pid);
    // The new program offers the release again (it runs 0.5.0): it is simply ended.
    const win::unique_handle process(
        ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, next_pid));
    ASSERT_TRUE(process);
    ::TerminateProcess(process.get(), 0);
    ::WaitForSingleObject(process.get(), 10'000);
}

// Each refusal ends with its text before anything is saved, replaced or started: the
// running program stays byte for byte, no .old file appears, the temp folder holds
// nothing but the result.
TEST_F(UpdateHttps, RefusedDownloadsChangeNothing) {
    const std::string marker = marker_bytes();
    const std::string hash = *sha256_hex(marker);
    Served s("refused");
    s.put("Tessavo.exe", marker);
    s.put("notexe.bin", "PK\x03\x04 not a program");
    const std::string list = hash + "  Tessavo.exe\n";
    const std::string sums = signed_list_assets(s, "sums.txt", list);
    const std::string unsigned_sums =
        signed_list_assets(s, "unsigned.txt", list, test::k_test_private_key, false);
    const std::string other_key =
        signed_list_assets(s, "other.txt", list, test::k_other_private_key);
    // Signed, then the line changed to the hash of other bytes.
    const std::string altered = signed_list_assets(s, "altered.txt", list);
    s.put("altered.txt", *sha256_hex("MZ something else") + "  Tessavo.exe\n");
    const std::string sums_other =
        signed_list_assets(s, "sums-other.txt", hash + "  Tessavo-Setup.exe\n");
    const std::string exe_url = s.url("Tessavo.exe");
    const std::string cut_url = https_base() + "/cut/40000";
    const std::string mismatch =
        "the download failed its security check (checksum mismatch), so it was not installed";
    const std::string bad_signature =
        "the download failed its security check (its checksums' signature is wrong), so it was "
        "not installed";
    const struct {
        std::string name;
        std::vector<std::string> assets;
        std::string error;
    } cases[] = {
        {"wrong-digest",
         {asset_json("Tessavo.exe", exe_url, 0, "sha256:" + std::string(64, '0')), sums},
         mismatch},
        // A matching digest alone is not trusted: it comes from the same release.
        {"no-checksum",
         {asset_json("Tessavo.exe", exe_url, 0, "sha256:" + hash)},
         "this release has no checksums, so it can't be verified"},
        {"sha1-only",
         {asset_json("Tessavo.exe", exe_url, 0, "sha1:" + hash)},
         "this release has no checksums, so it can't be verified"},
        {"unsigned",
         {asset_json("Tessavo.exe", exe_url, 0, "sha256:" + hash), unsigned_sums},
         "the download failed its security check (its checksums aren't signed), so it was not "
         "installed"},
        {"other-key",
         {asset_json("Tessavo.exe", exe_url, 0, "sha256:" + hash), other_key},
         bad_signature},
        {"altered", {asset_json("Tessavo.exe", exe_url, 0, ""), altered}, bad_signature},
        {"not-listed",
         {asset_json("Tessavo.exe", exe_url, 0, ""), sums_other},
         "no checksum listed for Tessavo.exe"},
        {"announced-size",
         {asset_json("Tessavo.exe", exe_url, marker.size() + 1, "sha256:" + hash), sums},
         "the download was incomplete"},
        {"cut-short",
         {asset_json("Tessavo.exe", cut_url, 0, "sha256:" + hash), sums},
         "download interrupted"},
        {"not-a-program",
         {asset_json("Tessavo.exe", s.url("notexe.bin"), 0, "sha256:" + hash), sums},
         "the download isn't a Windows program"},
        {"no-asset",
         {asset_json("Tessavo-Setup.exe", exe_url, 0, "sha256:" + hash), sums},
         "release 0.6.0 has no Tessavo.exe"},
    };
    for (const auto& c : cases) {
        s.put(c.name + ".json", release_json("v0.6.0", c.assets));
        TempDir app("upd-app"), temp("upd-temp");
        const std::string exe = app.file("Tessavo.exe");
        ASSERT_TRUE(
            ::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(exe).c_str(), TRUE));
        const std::string original = *read_text(exe);
        const InstallRun run =
            run_install(exe, s.url(c.name + ".json"), false, temp.path(), temp.file("result.txt"));
        EXPECT_EQ(run.result, c.error) << c.name;
        EXPECT_EQ(read_text(exe), original) << c.name;
        EXPECT_EQ(files_in(app.path()), std::vector<std::string>{"Tessavo.exe"}) << c.name;
        EXPECT_EQ(files_in(temp.path()), std::vector<std::string>{"result.txt"}) << c.name;
    }
}

// The files scripts/release.sh wrote (args: the folder), read as the update install
// reads a release: the list's signature (openssl's, by the build's test key), then the
// checksum list through the same reader and the same checks.
TESS_CHILD(verify_release_folder) {
    if (args.size() != 1) return 2;
    const std::string dir = args[0];
    UpdateInfo info{"9.9.9", "", "", {}};
    for (const char* name : {"Tessavo.exe", "Tessavo-Setup.exe", "tessavo-cli.exe",
                             "sha256sums.txt", "sha256sums.txt.sig"})
        info.assets.push_back({name, dir + "\\" + name, 0, std::nullopt});
    const Fetch from_folder = [](const std::string& path, const std::string&, std::uint64_t,
                                 const Progress&) -> Result<std::string> {
        auto bytes = read_text(path);
        if (!bytes) return Error{"missing " + path};
        return std::move(*bytes);
    };
    for (const char* name : {"Tessavo.exe", "Tessavo-Setup.exe", "tessavo-cli.exe"}) {
        PublicKey key;
        std::memcpy(key.data(), test::k_test_public_key, key.size());
        const VerifySigned verify = [&key](std::string_view data, std::string_view signature) {
            return verify_signature(data, signature, key);
        };
        auto verified = download_verified(info, name, from_folder, sha256_hex, verify, nullptr);
        if (!verified) {
            std::fprintf(stderr, "%s: %s\n", name, verified.error().c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace
}  // namespace tess::updates
