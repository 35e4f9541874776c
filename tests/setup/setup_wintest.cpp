// Install, update hand-over and uninstall for real, mostly through Tessavo.exe itself.
// Test installs go under temporary roots (TESS_INSTALL_ROOT, entry "Tessavo-Test");
// the one real install goes into the test's own Wine prefix, which is thrown away.
#include <windows.h>

#include <gtest/gtest.h>
#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>

#include "core/paths.hpp"
#include "scan/realfs_winutil.hpp"
#include "setup/setup.hpp"
#include "support/child.hpp"
#include "support/uidriver.hpp"
#include "support/winutil.hpp"
#include "sys/startup.hpp"

namespace tess {
namespace {

using test::exists;
using test::quote_arg;
using test::read_text;
using test::ScopedEnv;
using test::TempDir;

const std::string kUninstallRoot = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string built(const char* name) {
    return test::built_exe(name);
}

// The "Tessavo" message box of a program a test started: its text, after pressing `a`.
struct Box {
    std::string text;
    bool found = false;
};

Box answer_box(const test::RunningProgram& program, uidriver::Answer a) {
    Box box;
    const auto w = uidriver::wait_message_box(program.pid(), 20'000);
    if (!w) return box;
    box.found = true;
    box.text = uidriver::message_box_text(*w);
    EXPECT_TRUE(uidriver::answer_message_box(*w, a)) << box.text;
    return box;
}

// ---- what an install left -------------------------------------------------------------------
struct Shortcut {
    std::string path, arguments, description, work_dir, icon;
    int icon_index = -1;
};

std::optional<Shortcut> read_shortcut(const std::string& link) {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return std::nullopt;
    std::optional<Shortcut> out;
    IShellLinkW* sl = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkW, reinterpret_cast<void**>(&sl)))) {
        IPersistFile* pf = nullptr;
        if (SUCCEEDED(sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)))) {
            if (SUCCEEDED(pf->Load(win::widen(link).c_str(), STGM_READ))) {
                wchar_t buf[MAX_PATH * 2] = {};
                Shortcut s;
                if (SUCCEEDED(sl->GetPath(buf, MAX_PATH * 2, nullptr, SLGP_RAWPATH)))
                    s.path = win::narrow(buf, wcslen(buf));
                buf[0] = 0;
                sl->GetArguments(buf, MAX_PATH * 2);
                s.arguments = win::narrow(buf, wcslen(buf));
                buf[0] = 0;
                sl->GetDescription(buf, MAX_PATH * 2);
                s.description = win::narrow(buf, wcslen(buf));
                buf[0] = 0;
                sl->GetWorkingDirectory(buf, MAX_PATH * 2);
                s.work_dir = win::narrow(buf, wcslen(buf));
                buf[0] = 0;
                sl->GetIconLocation(buf, MAX_PATH * 2, &s.icon_index);
                s.icon = win::narrow(buf, wcslen(buf));
                out = s;
            }
            pf->Release();
        }
        sl->Release();
    }
    ::CoUninitialize();
    return out;
}

struct RegRead {
    DWORD type = REG_NONE;
    std::string text;
    DWORD dword = 0;
};

std::optional<RegRead> read_value(const std::string& key_path, const std::string& name) {
    win::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, win::widen(key_path).c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::vector<unsigned char> buf(8192);
    DWORD size = static_cast<DWORD>(buf.size());
    RegRead r;
    if (::RegQueryValueExW(key.get(), win::widen(name).c_str(), nullptr, &r.type, buf.data(),
                           &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (r.type == REG_DWORD && size == 4) std::memcpy(&r.dword, buf.data(), 4);
    if (r.type == REG_SZ) {
        // Written with its terminating null.
        EXPECT_TRUE(size >= 2 && buf[size - 1] == 0 && buf[size - 2] == 0) << name;
        r.text = win::narrow(reinterpret_cast<const wchar_t*>(buf.data()),
                             size / 2 > 0 ? size / 2 - 1 : 0);
    }
    return r;
}

bool key_exists(const std::string& key_path) {
    win::unique_hkey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, win::widen(key_path).c_str(), 0, KEY_READ,
                           key.put()) == ERROR_SUCCESS;
}

std::optional<std::string> run_value() {
    const auto v = read_value("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tessavo");
    if (!v) return std::nullopt;
    return v->text;
}

std::string notices_built() {
    std::string path = std::string("Z:") + TESS_NOTICES_FILE;
    for (char& c : path)
        if (c == '/') c = '\\';
    return read_text(path).value_or("");
}

// The file's identity and last write, to tell a file left alone from a fresh copy.
std::string file_stamp(const std::string& path) {
    win::unique_hfile h(::CreateFileW(win::widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h || !::GetFileInformationByHandle(h.get(), &info)) return {};
    return std::to_string(info.nFileIndexLow) + "/" + std::to_string(info.nFileIndexHigh) + "/" +
           std::to_string(info.ftLastWriteTime.dwLowDateTime) + "/" +
           std::to_string(info.ftLastWriteTime.dwHighDateTime);
}

// A temporary install root, whose uninstall entry ("Tessavo-Test") goes with it.
class TestRoot {
public:
    TestRoot() : dir_("tess-install-test"), env_("TESS_INSTALL_ROOT", dir_.path()) {}
    ~TestRoot() {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, win::widen(kUninstallRoot + "Tessavo-Test").c_str());
    }
    const std::string& path() const { return dir_.path(); }

private:
    TempDir dir_;
    ScopedEnv env_;
};

TEST(SetupWin, TestInstallLeavesEverythingInPlaceAndARepairCopiesNothing) {
    TestRoot root;
    const std::optional<std::string> run_before = run_value();
    const InstallPaths p = install_paths();
    ASSERT_EQ(p, (InstallPaths{root.path() + "\\Programs\\Tessavo",
                               root.path() + "\\StartMenu\\Tessavo.lnk",
                               root.path() + "\\Desktop\\Tessavo.lnk", "Tessavo-Test", false}));
    EXPECT_EQ(installed_version(p), std::nullopt);

    ASSERT_EQ(install_from(built("Tessavo.exe"), p, true, true, setup_system()), std::nullopt);
    const std::string exe = p.folder + "\\Tessavo.exe";
    EXPECT_EQ(read_text(exe), read_text(built("Tessavo.exe")));
    EXPECT_EQ(read_text(p.folder + "\\tessavo-cli.exe"), read_text(built("tessavo-cli.exe")));
    const std::string notices = notices_built();
    ASSERT_GT(notices.size(), 1000u);
    EXPECT_EQ(read_text(p.folder + "\\THIRD-PARTY-NOTICES.txt"), notices);

    for (const std::string& link : {p.start_menu_link, p.desktop_link}) {
        const auto s = read_shortcut(link);
        ASSERT_TRUE(s) << link;
        EXPECT_TRUE(same_path(s->path, exe)) << s->path;
        EXPECT_EQ(s->arguments, "");
        EXPECT_EQ(s->description, "Make your PC faster in one click");
        EXPECT_TRUE(same_path(s->work_dir, p.folder)) << s->work_dir;
        EXPECT_TRUE(same_path(s->icon, exe)) << s->icon;
        EXPECT_EQ(s->icon_index, 0);
    }

    const std::string key = kUninstallRoot + "Tessavo-Test";
    const std::string quoted = "\"" + exe + "\"";
    const struct {
        const char* name;
        std::string text;
    } texts[] = {
        {"DisplayName", "Tessavo"},
        {"DisplayVersion", "0.5.0"},
        {"Publisher", "Tessavo"},
        {"DisplayIcon", exe + ",0"},
        {"InstallLocation", p.folder},
        {"UninstallString", quoted + " --uninstall"},
        {"QuietUninstallString", quoted + " --uninstall --quiet"},
    };
    for (const auto& t : texts) {
        const auto v = read_value(key, t.name);
        ASSERT_TRUE(v) << t.name;
        EXPECT_EQ(v->type, static_cast<DWORD>(REG_SZ)) << t.name;
        EXPECT_EQ(v->text, t.text) << t.name;
    }
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char day[16];
    std::snprintf(day, sizeof day, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    EXPECT_EQ(read_value(key, "InstallDate")->text, day);
    EXPECT_EQ(read_value(key, "InstallDate")->type, static_cast<DWORD>(REG_SZ));
    WIN32_FILE_ATTRIBUTE_DATA fa{};
    ASSERT_TRUE(::GetFileAttributesExW(win::widen(exe).c_str(), GetFileExInfoStandard, &fa));
    const struct {
        const char* name;
        DWORD value;
    } dwords[] = {{"EstimatedSize", fa.nFileSizeLow / 1024}, {"NoModify", 1}, {"NoRepair", 1}};
    for (const auto& d : dwords) {
        const auto v = read_value(key, d.name);
        ASSERT_TRUE(v) << d.name;
        EXPECT_EQ(v->type, static_cast<DWORD>(REG_DWORD)) << d.name;
        EXPECT_EQ(v->dword, d.value) << d.name;
    }
    EXPECT_EQ(installed_version(p), "0.5.0");
    EXPECT_EQ(run_value(), run_before);  // a test install writes no Run value

    // Repair from the installed copy with the desktop shortcut off.
    const std::string stamp = file_stamp(exe);
    const std::string cli_stamp = file_stamp(p.folder + "\\tessavo-cli.exe");
    ASSERT_EQ(install_from(exe, p, false, true, setup_system()), std::nullopt);
    EXPECT_EQ(file_stamp(exe), stamp);
    EXPECT_EQ(file_stamp(p.folder + "\\tessavo-cli.exe"), cli_stamp);
    EXPECT_FALSE(exists(p.desktop_link));
    EXPECT_TRUE(read_shortcut(p.start_menu_link));
    EXPECT_TRUE(key_exists(key));
    EXPECT_EQ(run_value(), run_before);
}

TEST(SetupWin, InstalledVersionReadsOnlyATextValueCutToSize) {
    TestRoot root;
    const InstallPaths p = install_paths();
    win::unique_hkey key;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_CURRENT_USER, win::widen(kUninstallRoot + "Tessavo-Test").c_str(), 0,
                          nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    const auto set = [&](DWORD type, const void* data, std::size_t bytes) {
        ASSERT_EQ(::RegSetValueExW(key.get(), L"DisplayVersion", 0, type,
                                   static_cast<const BYTE*>(data), static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
    };
    EXPECT_EQ(installed_version(p), std::nullopt);  // the key without the value
    const std::wstring with_null(L"1.2\0junk", 8);
    set(REG_SZ, with_null.data(), with_null.size() * 2);
    EXPECT_EQ(installed_version(p), "1.2");
    const std::wstring unterminated = L"0.4.1";
    set(REG_SZ, unterminated.data(), unterminated.size() * 2);
    EXPECT_EQ(installed_version(p), "0.4.1");
    const std::wstring long_text(3000, L'9');
    set(REG_SZ, long_text.c_str(), (long_text.size() + 1) * 2);
    EXPECT_EQ(installed_version(p), std::string(1024, '9'));
    const DWORD number = 5;
    set(REG_DWORD, &number, sizeof number);
    EXPECT_EQ(installed_version(p), std::nullopt);
    set(REG_EXPAND_SZ, unterminated.c_str(), (unterminated.size() + 1) * 2);
    EXPECT_EQ(installed_version(p), std::nullopt);
}

TEST(SetupWin, InstallOverALockedExeMovesItAside) {
    TestRoot root;
    const InstallPaths p = install_paths();
    const std::string exe = p.folder + "\\Tessavo.exe";
    win::create_dirs(p.folder);
    test::write_text(exe, "old program");
    // Held the way Windows holds a running image: renaming allowed, overwriting not.
    win::unique_hfile held(::CreateFileW(win::widen(exe).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    ASSERT_EQ(install_from(built("Tessavo.exe"), p, false, false, setup_system()), std::nullopt);
    EXPECT_EQ(read_text(exe), read_text(built("Tessavo.exe")));
    const std::string aside =
        p.folder + "\\Tessavo." + std::to_string(::GetCurrentProcessId()) + ".old";
    EXPECT_EQ(read_text(aside), "old program");
    held.reset();

    // The next start of the installed program deletes the leftover.
    TempDir data("data");
    ScopedEnv d("TESS_DATA_DIR", data.path());
    test::run_command(quote_arg(exe) + " apply-plan zz");
    EXPECT_FALSE(exists(aside));
}

TEST(SetupWin, UpdateHandOverExitCodesWithAndWithoutBoxes) {
    const std::string update = quote_arg(built("Tessavo.exe")) + " --update";
    using uidriver::Answer;
    {
        TestRoot root;
        ScopedEnv off("TESS_OFFSCREEN", "1");
        EXPECT_EQ(test::run_command(update, 30'000), 0);
        EXPECT_EQ(read_text(root.path() + "\\Programs\\Tessavo\\Tessavo.exe"),
                  read_text(built("Tessavo.exe")));
        EXPECT_TRUE(exists(root.path() + "\\StartMenu\\Tessavo.lnk"));
        EXPECT_FALSE(exists(root.path() + "\\Desktop\\Tessavo.lnk"));  // there was none
    }
    {
        // The install folder cannot be created: under a file.
        TempDir dir("tess-install-test");
        test::write_text(dir.file("file"), "x");
        ScopedEnv r("TESS_INSTALL_ROOT", dir.file("file"));
        ScopedEnv off("TESS_OFFSCREEN", "1");
        // A box would block the process until answered, so an exit within the wait is the
        // proof that none was shown.
        EXPECT_EQ(test::run_command(update, 30'000), 2);
    }
    {
        TempDir dir("tess-install-test");
        test::write_text(dir.file("file"), "x");
        ScopedEnv r("TESS_INSTALL_ROOT", dir.file("file"));
        ScopedEnv off("TESS_OFFSCREEN", std::nullopt);
        auto proc = test::start_tessavo({"--update"});
        const Box box = answer_box(proc, Answer::ok);
        EXPECT_EQ(proc.wait(30'000), 2);
        ASSERT_TRUE(box.found);
        const std::string folder = dir.file("file") + "\\Programs\\Tessavo";
        EXPECT_EQ(box.text.rfind("The update didn't finish: couldn't create " + folder + ": ", 0),
                  0u)
            << box.text;
        // Nothing is installed there, so the box cannot say a current version still works.
        EXPECT_NE(box.text.find("\n\nDownload Tessavo again from "
                                "https://github.com/Corvath/tessavo/releases."),
                  std::string::npos)
            << box.text;
    }
    {
        TestRoot root;
        ScopedEnv off("TESS_OFFSCREEN", std::nullopt);
        auto proc = test::start_tessavo({"--update"});
        const Box box = answer_box(proc, Answer::ok);
        EXPECT_EQ(proc.wait(30'000), 0);
        EXPECT_EQ(box.text, "Tessavo was updated to version 0.5.0.");
    }
}

TEST(SetupWin, UninstallAsksAndQuietDoesNot) {
    TestRoot root;
    const InstallPaths p = install_paths();
    ASSERT_EQ(install_from(built("Tessavo.exe"), p, true, false, setup_system()), std::nullopt);
    const std::string uninstall = quote_arg(built("Tessavo.exe")) + " --uninstall";
    const std::string key = kUninstallRoot + "Tessavo-Test";

    using uidriver::Answer;
    auto no = test::start_tessavo({"--uninstall"});
    const Box question = answer_box(no, Answer::no);
    EXPECT_EQ(no.wait(30'000), 1);
    EXPECT_EQ(question.text,
              "Remove Tessavo from this PC?\n\nThis removes the app, its shortcuts, its tray icon "
              "and its history.\nChanges it made to your PC stay as they are (undo them first in "
              "History & undo if you want them back).");
    for (const std::string& f : {p.folder + "\\Tessavo.exe", p.start_menu_link, p.desktop_link})
        EXPECT_TRUE(exists(f)) << f;
    EXPECT_TRUE(key_exists(key));

    auto yes = test::start_tessavo({"--uninstall"});
    EXPECT_TRUE(answer_box(yes, Answer::yes).found);
    const Box done = answer_box(yes, Answer::ok);
    EXPECT_EQ(yes.wait(30'000), 0);
    EXPECT_EQ(done.text, "Tessavo was removed.");
    for (const std::string& f : {p.folder, p.start_menu_link, p.desktop_link})
        EXPECT_FALSE(exists(f)) << f;
    EXPECT_TRUE(exists(root.path() + "\\Programs"));
    EXPECT_FALSE(key_exists(key));

    // Quiet, and run again over nothing: no box, success both times.
    ASSERT_EQ(install_from(built("Tessavo.exe"), p, false, false, setup_system()), std::nullopt);
    EXPECT_EQ(test::run_command(uninstall + " --quiet", 30'000), 0);
    EXPECT_FALSE(exists(p.folder));
    EXPECT_FALSE(key_exists(key));
    EXPECT_EQ(test::run_command(uninstall + " --quiet", 30'000), 0);
}

TEST(SetupWin, UninstallRefusesAnUnexpectedFolderAndDeletesNothing) {
    TempDir dir("tess-install-test");
    // Resolves to dir\Programs\Tessavo, but through "..": refused as it is written.
    ScopedEnv r("TESS_INSTALL_ROOT", dir.file("sub\\.."));
    win::create_dirs(dir.file("sub"));
    win::create_dirs(dir.file("Programs\\Tessavo"));
    test::write_text(dir.file("Programs\\Tessavo\\keep.txt"), "keep");
    win::create_dirs(dir.file("StartMenu"));
    test::write_text(dir.file("StartMenu\\Tessavo.lnk"), "link");

    auto proc = test::start_tessavo({"--uninstall"});
    EXPECT_TRUE(answer_box(proc, uidriver::Answer::yes).found);
    const Box refusal = answer_box(proc, uidriver::Answer::ok);
    EXPECT_EQ(proc.wait(30'000), 2);
    EXPECT_EQ(refusal.text, "Uninstall didn't finish: refusing to delete unexpected folder " +
                                dir.file("sub\\..\\Programs\\Tessavo"));
    EXPECT_EQ(read_text(dir.file("Programs\\Tessavo\\keep.txt")), "keep");
    EXPECT_TRUE(exists(dir.file("StartMenu\\Tessavo.lnk")));
}

// A folder link inside the install folder to a decoy. Windows removes the link as a
// link; Wine would delete through it, so there it is refused, the uninstall reports the
// folder it could not remove (code 2) and every file of the decoy survives.
TEST(SetupWin, UninstallNeverDeletesThroughALink) {
    TestRoot root;
    const InstallPaths p = install_paths();
    ASSERT_EQ(install_from(built("Tessavo.exe"), p, false, false, setup_system()), std::nullopt);
    TempDir decoy("decoy");
    test::write_text(decoy.file("keep.txt"), "keep");
    win::create_dirs(decoy.file("empty"));
    test::FolderLink link(decoy.path(), p.folder + "\\linked");
    test::FolderLink empty_link(decoy.file("empty"), p.folder + "\\empty-link");
    if (!link.made() || !empty_link.made()) GTEST_SKIP() << "no folder link could be made here";

    const int code =
        test::run_command(quote_arg(built("Tessavo.exe")) + " --uninstall --quiet", 30'000);
    EXPECT_EQ(read_text(decoy.file("keep.txt")), "keep");
    EXPECT_TRUE(exists(decoy.file("empty")));
    if (!test::unix_path(p.folder).empty()) {
        EXPECT_EQ(code, 2);
        EXPECT_TRUE(exists(p.folder + "\\linked\\keep.txt"));
        EXPECT_FALSE(exists(p.folder + "\\Tessavo.exe"));  // the rest went
    } else {
        EXPECT_EQ(code, 0);
        EXPECT_FALSE(exists(p.folder));
    }
}

// A stand-in for a running installed copy: a window of the main window's class that
// notes the WM_CLOSE it gets in a file, then ends.
LRESULT CALLBACK fake_main_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        const auto* marker =
            reinterpret_cast<const std::string*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
        test::write_text(*marker, "WM_CLOSE");
        ::DestroyWindow(w);
        return 0;
    }
    if (msg == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(w, msg, wp, lp);
}

TESS_CHILD(fake_installed_copy) {
    static std::string marker = args.at(0);
    WNDCLASSW wc{};
    wc.lpfnWndProc = fake_main_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessavoWindow";
    ::RegisterClassW(&wc);
    HWND w = ::CreateWindowW(L"TessavoWindow", L"Tessavo", WS_OVERLAPPED, -10000, -10000, 100, 100,
                             nullptr, nullptr, wc.hInstance, nullptr);
    if (!w) return 3;
    ::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&marker));
    test::write_text(marker + ".ready", "1");
    MSG m;
    while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
    return 0;
}

// Everything a real install leaves, removed even when the test fails halfway.
struct RealInstallCleanup {
    InstallPaths p;
    ~RealInstallCleanup() {
        close_running_copies(p, setup_system());
        set_run_value(false, "");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, win::widen(kUninstallRoot + "Tessavo").c_str());
        ::DeleteFileW(win::widen(p.start_menu_link).c_str());
        test::remove_tree(p.folder);
    }
};

TEST(SetupWin, RealInstallInThePrefixUpdateOverARunningCopyAndUninstallFromIt) {
    // A real update closes the session's first main window and tray watch, then starts both
    // from the installed copy.
    ScopedEnv no_root("TESS_INSTALL_ROOT", std::nullopt);
    ScopedEnv off("TESS_OFFSCREEN", "1");
    TempDir data("data");
    ScopedEnv d("TESS_DATA_DIR", data.path());
    const InstallPaths p = install_paths();
    ASSERT_TRUE(p.real);
    ASSERT_EQ(p.folder, *win::get_env("LOCALAPPDATA") + "\\Programs\\Tessavo");
    ASSERT_EQ(p.entry_name, "Tessavo");
    // Wine links the prefix's desktop to the host's home folder: this test never asks
    // for a desktop shortcut.
    RealInstallCleanup cleanup{p};

    ASSERT_EQ(install_from(built("Tessavo.exe"), p, false, true, setup_system()), std::nullopt);
    const std::string exe = p.folder + "\\Tessavo.exe";
    EXPECT_EQ(run_value(), "\"" + exe + "\" agent");
    const auto start = read_shortcut(p.start_menu_link);
    ASSERT_TRUE(start);
    EXPECT_TRUE(same_path(start->path, exe));
    EXPECT_TRUE(key_exists(kUninstallRoot + "Tessavo"));

    // The installed copy runs (a stand-in under the installed name) when a newer copy
    // hands over: it is asked to close, and the new program takes its place.
    ASSERT_TRUE(::CopyFileW(win::widen(win::exe_path()).c_str(), win::widen(exe).c_str(), FALSE));
    TempDir marks("marks");
    const std::string marker = marks.file("closed.txt");
    auto running = test::start_program(exe, {"--child", "fake_installed_copy", marker});
    ASSERT_TRUE(running);
    for (int i = 0; i < 200 && !exists(marker + ".ready"); ++i)
        ::Sleep(50);
    ASSERT_TRUE(exists(marker + ".ready"));
    EXPECT_EQ(test::run_command(quote_arg(built("Tessavo.exe")) + " --update", 60'000), 0);
    EXPECT_EQ(read_text(marker), "WM_CLOSE");
    EXPECT_EQ(running.wait(10'000), 0);
    EXPECT_EQ(read_text(exe), read_text(built("Tessavo.exe")));
    EXPECT_EQ(run_value(), "\"" + exe + "\" agent");  // kept: it was there

    // Uninstall from the installed copy: the folder goes once that copy has ended.
    EXPECT_EQ(test::run_command(quote_arg(exe) + " --uninstall --quiet", 30'000), 0);
    EXPECT_FALSE(run_value());
    EXPECT_FALSE(exists(p.start_menu_link));
    EXPECT_FALSE(key_exists(kUninstallRoot + "Tessavo"));
    EXPECT_FALSE(exists(data.path()));
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        gone = !exists(p.folder);
        if (!gone) ::Sleep(100);
    }
    EXPECT_TRUE(gone);
}

// A stand-in for the uninstalling process: it ends once `args[0]` exists.
TESS_CHILD(uninstall_stand_in) {
    while (!exists(args.at(0)))
        ::Sleep(20);
    return 0;
}

// The uninstall's temporary copy waits on the uninstall's handle, not on a guessed delay,
// then deletes with retries while a scanner (here the test) still holds a file.
TEST(SetupWin, LaterRemovalWaitsForTheUninstallAndRetries) {
    TempDir dir("later");
    const std::string folder = dir.file("Programs\\Tessavo");
    ASSERT_TRUE(win::create_dirs(folder));
    const std::string a = folder + "\\Tessavo.exe", b = folder + "\\tessavo-cli.exe";
    test::write_text(a, "a");
    test::write_text(b, "b");
    // A copy, as the uninstall makes one: the copy's own image is left for the next restart.
    const std::string copy = dir.file("Tessavo-remove.exe");
    ASSERT_TRUE(
        ::CopyFileW(win::widen(built("Tessavo.exe")).c_str(), win::widen(copy).c_str(), FALSE));
    const std::string ended = dir.file("ended");
    auto uninstall = test::start_program(win::exe_path(), {"--child", "uninstall_stand_in", ended});
    ASSERT_TRUE(uninstall);
    win::unique_handle stand_in(
        ::OpenProcess(SYNCHRONIZE | PROCESS_DUP_HANDLE, FALSE, uninstall.pid()));
    ASSERT_TRUE(stand_in);
    HANDLE inherited = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), stand_in.get(), ::GetCurrentProcess(),
                                  &inherited, SYNCHRONIZE, TRUE, 0));
    const win::unique_handle own(inherited);
    const std::string args =
        later_removal_args({reinterpret_cast<std::uintptr_t>(inherited), folder, {a, b}});
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(test::create_process(quote_arg(copy) + " " + args, true, 0, nullptr, si, pi));
    const win::unique_handle process(pi.hProcess), thread(pi.hThread);

    // While the uninstall runs, nothing goes.
    EXPECT_EQ(::WaitForSingleObject(process.get(), 1500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(exists(a));
    EXPECT_TRUE(exists(b));
    // A file held without delete sharing stays until it is let go.
    win::unique_handle held(::CreateFileW(win::widen(b).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    test::write_text(ended, "1");
    EXPECT_EQ(uninstall.wait(10'000), 0);
    for (int i = 0; i < 100 && exists(a); ++i)
        ::Sleep(20);
    EXPECT_FALSE(exists(a));
    ::Sleep(1000);
    EXPECT_TRUE(exists(b));
    held.reset();
    EXPECT_EQ(test::wait_exit(process, 20'000), 0);
    EXPECT_FALSE(exists(b));
    EXPECT_FALSE(exists(folder));
}

// ---- the silent install ----------------------------------------------------------------------
struct QuietRun {
    int code = -1;
    std::vector<std::string> windows;  // class names of every window it had
    std::string err;
};

// Every visible top-level window of the process, as the UI driver lists them (COM's
// hidden OleMainThreadWndClass window, made for the shortcuts, is none).
std::vector<std::string> windows_of(DWORD pid) {
    std::vector<HWND> all;
    ::EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    std::vector<std::string> found;
    for (HWND w : all) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(w, &owner);
        if (owner != pid || !::IsWindowVisible(w)) continue;
        wchar_t cls[128] = {};
        const int n = ::GetClassNameW(w, cls, 128);
        found.push_back(win::narrow(cls, n > 0 ? static_cast<std::size_t>(n) : 0));
    }
    return found;
}

// Tessavo-Setup.exe with `args` and standard error in a file (or none at all), watched
// for windows until it ends; a window that waits for a person makes it time out.
QuietRun run_setup_quietly(const TempDir& dir, const std::vector<std::string>& args,
                           bool with_stderr = true) {
    const std::string err = dir.file("setup-err.txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    win::unique_hfile e;
    if (with_stderr)
        e.reset(::CreateFileW(win::widen(err).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0,
                              nullptr));
    const std::string command = test::command_line_of(built("Tessavo-Setup.exe"), args);
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdError = e.get();
    PROCESS_INFORMATION pi{};
    QuietRun run;
    if (!test::create_process(command, true, 0, nullptr, si, pi)) return run;
    ::CloseHandle(pi.hThread);
    win::unique_handle process(pi.hProcess);
    // Until it ends, or shows a window (which then would wait for a person).
    for (int i = 0; i < 1500 && run.windows.empty() &&
                    ::WaitForSingleObject(process.get(), 20) == WAIT_TIMEOUT;
         ++i)
        run.windows = windows_of(pi.dwProcessId);
    if (::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT)
        ::TerminateProcess(process.get(), 99);
    run.code = test::wait_exit(process, 5'000);
    e.reset();
    run.err = read_text(err).value_or("");
    return run;
}

// Each option combination, checked in the files, the shortcuts and the uninstall entry,
// then removed again through the entry's QuietUninstallString. With a test root the
// install writes no Run value whatever --no-tray says (quiet_install_test.cpp checks that
// the option reaches the install).
TEST(QuietInstall, EachOptionCombinationWithNoWindowThenTheQuietUninstall) {
    TestRoot root;
    TempDir dir("quiet");
    ScopedEnv data("TESS_DATA_DIR", dir.file("Data"));
    const std::optional<std::string> run_before = run_value();
    const InstallPaths p = install_paths();
    const std::string exe = p.folder + "\\Tessavo.exe";
    const std::string key = kUninstallRoot + "Tessavo-Test";
    const struct {
        std::vector<std::string> options;
        bool desktop;
    } cases[] = {
        {{}, true},
        {{"--no-desktop-shortcut"}, false},
        {{"--no-tray"}, true},
        {{"--no-tray", "--no-desktop-shortcut"}, false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--install", "--quiet"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const std::string what = c.options.empty() ? "no options" : c.options[0];
        const QuietRun r = run_setup_quietly(dir, args);
        EXPECT_EQ(r.code, 0) << what << ": " << r.err;
        EXPECT_TRUE(r.windows.empty()) << what << ": " << r.windows[0];
        EXPECT_EQ(r.err, "") << what;

        EXPECT_EQ(read_text(exe), read_text(built("Tessavo-Setup.exe"))) << what;
        EXPECT_EQ(read_text(p.folder + "\\tessavo-cli.exe"), read_text(built("tessavo-cli.exe")));
        EXPECT_TRUE(exists(p.folder + "\\THIRD-PARTY-NOTICES.txt"));
        const auto start = read_shortcut(p.start_menu_link);
        ASSERT_TRUE(start) << what;
        EXPECT_TRUE(same_path(start->path, exe)) << start->path;
        const auto desktop = read_shortcut(p.desktop_link);
        EXPECT_EQ(desktop.has_value(), c.desktop) << what;
        if (desktop) {
            EXPECT_TRUE(same_path(desktop->path, exe)) << desktop->path;
        }
        EXPECT_EQ(read_value(key, "DisplayName")->text, "Tessavo");
        EXPECT_EQ(read_value(key, "InstallLocation")->text, p.folder);
        const auto quiet = read_value(key, "QuietUninstallString");
        ASSERT_TRUE(quiet) << what;
        EXPECT_EQ(quiet->text, "\"" + exe + "\" --uninstall --quiet");
        EXPECT_EQ(run_value(), run_before) << what;

        // What Apps & features and deployment tools run for a silent removal.
        EXPECT_EQ(test::run_command(quiet->text, 60'000), 0) << what;
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = !exists(p.folder);
            if (!gone) ::Sleep(100);
        }
        EXPECT_TRUE(gone) << what;
        for (const std::string& f : {p.start_menu_link, p.desktop_link})
            EXPECT_FALSE(exists(f)) << f;
        EXPECT_FALSE(key_exists(key)) << what;
    }
}

TEST(QuietInstall, AnUnknownOptionInstallsNothingAndAFailureSaysWhy) {
    TestRoot root;
    TempDir dir("quiet");
    ScopedEnv data("TESS_DATA_DIR", dir.file("Data"));
    const InstallPaths p = install_paths();
    const std::string key = kUninstallRoot + "Tessavo-Test";

    // The watch sees the window of an install that is not quiet.
    {
        ScopedEnv offscreen("TESS_OFFSCREEN", "1");
        const QuietRun window = run_setup_quietly(dir, {"--install", "--no-tray"});
        EXPECT_EQ(window.windows, std::vector<std::string>{"TessavoSetup"});
    }

    QuietRun r = run_setup_quietly(dir, {"--install", "--quiet", "--no-tray", "--desktop"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.windows.empty());
    EXPECT_EQ(r.err,
              "Tessavo setup: unknown option --desktop (usage: --install --quiet "
              "[--no-desktop-shortcut] [--no-tray])\r\n");
    EXPECT_FALSE(exists(p.folder));
    EXPECT_FALSE(exists(p.start_menu_link));
    EXPECT_FALSE(key_exists(key));

    // A file where the install folder goes: the install cannot start.
    test::write_text(root.path() + "\\Programs", "not a folder");
    r = run_setup_quietly(dir, {"--install", "--quiet"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.windows.empty());
    EXPECT_TRUE(
        r.err.starts_with("Tessavo couldn't be installed: couldn't create " + p.folder + ": "))
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(key_exists(key));
    // With no standard error the line goes to the log.
    r = run_setup_quietly(dir, {"--install", "--quiet"}, false);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.windows.empty());
    const std::string log = read_text(dir.file("Data\\agent.log")).value_or("");
    EXPECT_NE(log.find("  Tessavo couldn't be installed: couldn't create "), std::string::npos)
        << log;
}

}  // namespace
}  // namespace tess

// ---- the setup window, driven as a user would -----------------------------------------------
namespace tess {
namespace {

using uidriver::Window;

Window wait_setup(const test::RunningProgram& p) {
    // Visible: shown once its controls exist.
    const auto w = uidriver::wait_window({"TessavoSetup", std::nullopt, p.pid(), true}, 20'000);
    EXPECT_TRUE(w) << "no setup window";
    return w ? *w : 0;
}

std::string caption(Window top, int id) {
    const auto c = uidriver::find_control(top, id);
    return c ? c->caption : std::string("(missing)");
}

// Waits until control `id` reads `text`.
bool wait_caption(Window top, int id, const std::string& text, int timeout_ms = 30'000) {
    for (int waited = 0; waited < timeout_ms; waited += 100) {
        if (caption(top, id) == text) return true;
        ::Sleep(100);
    }
    return false;
}

// Clicks a control that closes the window. The driver's click reports failure when the
// window is gone before it answers again, so the window's end is what is checked.
void close_with(Window top, int id) {
    uidriver::click(top, id);
    EXPECT_TRUE(uidriver::wait_gone(top, 10'000));
}

bool shown(Window top, int id) {
    const auto c = uidriver::find_control(top, id);
    return c && c->visible;
}

bool enabled(Window top, int id) {
    const auto c = uidriver::find_control(top, id);
    return c && c->enabled;
}

TEST(SetupWindow, InstallsUnderATestRootThenRepairsFromTheInstalledCopy) {
    TestRoot root;
    ScopedEnv off("TESS_OFFSCREEN", "1");
    const std::optional<std::string> run_before = run_value();
    const InstallPaths p = install_paths();
    const std::string exe = p.folder + "\\Tessavo.exe";
    {
        // A copy named like the release's installer opens the setup window by itself.
        auto setup = test::start_program(built("Tessavo-Setup.exe"), {});
        const Window top = wait_setup(setup);
        ASSERT_NE(top, 0u);
        EXPECT_EQ(uidriver::window_text(top), "Tessavo Setup");
        const struct {
            int id;
            const char* text;
        } fresh[] = {{101, "Desktop shortcut: on"},
                     {102, "Watch memory from the tray: on"},
                     {110, "Install"},
                     {111, "Just run it without installing"}};
        for (const auto& c : fresh)
            EXPECT_EQ(caption(top, c.id), c.text) << c.id;

        // Tab goes card, card, main button, link; Space flips a card.
        ASSERT_TRUE(uidriver::set_focus(top, 101));
        ASSERT_TRUE(uidriver::send_key(top, *uidriver::parse_key("tab")));
        uidriver::settle(top);
        EXPECT_EQ(uidriver::focused(top), uidriver::find_control(top, 102)->window);
        ASSERT_TRUE(uidriver::send_key(top, *uidriver::parse_key("space")));
        EXPECT_TRUE(wait_caption(top, 102, "Watch memory from the tray: off", 5'000));
        ASSERT_TRUE(uidriver::click(top, 102));
        EXPECT_TRUE(wait_caption(top, 102, "Watch memory from the tray: on", 5'000));

        ASSERT_TRUE(uidriver::click(top, 110));
        ASSERT_TRUE(wait_caption(top, 110, "Open Tessavo"));
        EXPECT_EQ(caption(top, 111), "Close");
        EXPECT_FALSE(shown(top, 101));
        EXPECT_FALSE(shown(top, 102));
        close_with(top, 111);
        EXPECT_EQ(setup.wait(20'000), 0);
    }
    EXPECT_EQ(read_text(exe), read_text(built("Tessavo-Setup.exe")));
    EXPECT_EQ(read_text(p.folder + "\\tessavo-cli.exe"), read_text(built("tessavo-cli.exe")));
    EXPECT_EQ(read_text(p.folder + "\\THIRD-PARTY-NOTICES.txt"), notices_built());
    for (const std::string& link : {p.start_menu_link, p.desktop_link}) {
        const auto s = read_shortcut(link);
        ASSERT_TRUE(s) << link;
        EXPECT_TRUE(same_path(s->path, exe)) << s->path;
    }
    EXPECT_EQ(read_value(kUninstallRoot + "Tessavo-Test", "DisplayVersion")->text, "0.5.0");
    EXPECT_EQ(run_value(), run_before);

    // From the installed copy: a repair, desktop shortcut off, nothing copied.
    const std::string stamp = file_stamp(exe);
    {
        auto setup = test::start_program(exe, {"--setup"});
        const Window top = wait_setup(setup);
        ASSERT_NE(top, 0u);
        EXPECT_EQ(caption(top, 110), "Repair install");
        ASSERT_TRUE(uidriver::click(top, 101));
        EXPECT_TRUE(wait_caption(top, 101, "Desktop shortcut: off", 5'000));
        ASSERT_TRUE(uidriver::click(top, 110));
        ASSERT_TRUE(wait_caption(top, 110, "Open Tessavo"));
        close_with(top, 111);
        EXPECT_EQ(setup.wait(20'000), 0);
    }
    EXPECT_EQ(file_stamp(exe), stamp);
    EXPECT_FALSE(exists(p.desktop_link));
    EXPECT_TRUE(exists(p.start_menu_link));
}

TEST(SetupWindow, UpdateCaptionWaitsItsTurnAndAFailureCanBeRetried) {
    TestRoot root;
    ScopedEnv off("TESS_OFFSCREEN", "1");
    const InstallPaths p = install_paths();
    // An older version's entry: the window offers the update.
    {
        win::unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER,
                                    win::widen(kUninstallRoot + "Tessavo-Test").c_str(), 0, nullptr,
                                    0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const std::wstring v = L"0.4.0";
        ::RegSetValueExW(key.get(), L"DisplayVersion", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(v.c_str()),
                         static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
    }
    // The install folder cannot be made: a file stands where its parent goes.
    test::write_text(root.path() + "\\Programs", "in the way");

    auto setup = test::start_program(built("Tessavo-Setup.exe"), {});
    const Window top = wait_setup(setup);
    ASSERT_NE(top, 0u);
    EXPECT_EQ(caption(top, 110), "Update to 0.5.0");
    ASSERT_TRUE(uidriver::click(top, 110));
    // Failed: the same caption again, everything enabled, the options still there.
    ASSERT_TRUE(wait_caption(top, 110, "Update to 0.5.0"));
    for (int i = 0; i < 100 && !enabled(top, 110); ++i)
        ::Sleep(100);
    EXPECT_TRUE(enabled(top, 110));
    EXPECT_TRUE(enabled(top, 111));
    EXPECT_TRUE(shown(top, 101));
    EXPECT_FALSE(exists(p.folder));

    // An uninstall waiting for its answer holds the turn: the setup shows Installing…
    // with its buttons disabled until the uninstall is answered (No), then installs.
    ASSERT_TRUE(::DeleteFileW(win::widen(root.path() + "\\Programs").c_str()));
    auto uninstall = test::start_tessavo({"--uninstall"});
    const auto box = uidriver::wait_message_box(uninstall.pid(), 20'000);
    ASSERT_TRUE(box);
    ASSERT_TRUE(uidriver::click(top, 110));
    EXPECT_TRUE(wait_caption(top, 110, "Installing\u2026", 5'000));
    EXPECT_FALSE(enabled(top, 110));
    EXPECT_FALSE(enabled(top, 111));
    ::Sleep(500);
    EXPECT_EQ(caption(top, 110), "Installing\u2026");
    ASSERT_TRUE(uidriver::answer_message_box(*box, uidriver::Answer::no));
    EXPECT_EQ(uninstall.wait(20'000), 1);
    ASSERT_TRUE(wait_caption(top, 110, "Open Tessavo"));
    EXPECT_TRUE(exists(p.folder + "\\Tessavo.exe"));
    EXPECT_EQ(read_value(kUninstallRoot + "Tessavo-Test", "DisplayVersion")->text, "0.5.0");
    close_with(top, 111);
    EXPECT_EQ(setup.wait(20'000), 0);
}

TEST(SetupWindow, JustRunItClosesTheSetupWithoutInstalling) {
    TestRoot root;
    ScopedEnv off("TESS_OFFSCREEN", "1");
    TempDir data("data");
    ScopedEnv d("TESS_DATA_DIR", data.path());
    auto setup = test::start_tessavo({"--install"});
    const Window top = wait_setup(setup);
    ASSERT_NE(top, 0u);
    close_with(top, 111);
    // The same process goes on as the main window; nothing was installed.
    if (const auto main =
            uidriver::wait_window({"TessavoWindow", std::nullopt, setup.pid(), false}, 5'000))
        setup.end();
    else
        EXPECT_EQ(setup.wait(10'000), 0);
    EXPECT_FALSE(exists(install_paths().folder));
    EXPECT_FALSE(key_exists(kUninstallRoot + "Tessavo-Test"));
}

}  // namespace
}  // namespace tess
