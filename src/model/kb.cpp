#include "model/kb.hpp"

#include <cstddef>
#include <iterator>

#include "core/text.hpp"

namespace tess {
namespace {

// Image names without ".exe"; exact match only.
constexpr FriendlyNameRow kFriendlyNames[] = {
    {"adb", "Android Debug Bridge"},
    {"applicationframehost", "Window frames for Store apps"},
    {"audiodg", "Windows audio engine (includes sound enhancements)"},
    {"bash", "Git Bash"},
    {"brave", "Brave browser"},
    {"chrome", "Google Chrome"},
    {"claude", "Claude"},
    {"code", "VS Code"},
    {"conhost", "Console windows"},
    {"cursor", "Cursor editor"},
    {"discord", "Discord"},
    {"docker desktop", "Docker Desktop"},
    {"dsatray", "Intel Driver & Support Assistant tray"},
    {"dwm", "Desktop Window Manager"},
    {"esbuild", "esbuild (bundler used by Vite dev servers)"},
    {"esrv", "Intel energy/telemetry service"},
    {"esrv_svc", "Intel energy/telemetry service"},
    {"explorer", "File Explorer and taskbar"},
    {"ffmpeg", "FFmpeg (video processing)"},
    {"firefox", "Firefox"},
    {"java", "Java (Gradle, Android tools)"},
    {"javaw", "Java (Gradle, Android tools)"},
    {"lenovovantageservice", "Lenovo Vantage"},
    {"memory compression", "Windows memory compression"},
    {"mpdefendercoreservice", "Microsoft Defender"},
    {"msmpengcp", "Microsoft Defender"},
    {"msedge", "Microsoft Edge"},
    {"msedgewebview2", "Edge WebView (browser inside other apps)"},
    {"msmpeng", "Microsoft Defender antivirus"},
    {"ms-teams", "Microsoft Teams"},
    {"ms-teams_modulehost", "Microsoft Teams"},
    {"teams", "Microsoft Teams"},
    {"mumuplayer", "MuMuPlayer Android emulator"},
    {"mumunxmain", "MuMuPlayer Android emulator"},
    {"node", "Node.js (dev servers, tools)"},
    {"onedrive", "OneDrive"},
    {"phoneexperiencehost", "Phone Link"},
    {"postgres", "PostgreSQL database"},
    {"powershell", "PowerShell"},
    {"pwsh", "PowerShell"},
    {"python", "Python"},
    {"pythonw", "Python"},
    {"searchhost", "Windows Search"},
    {"searchindexer", "Windows Search"},
    {"shellexperiencehost", "Taskbar and notification panels"},
    {"spotify", "Spotify"},
    {"startmenuexperiencehost", "Start menu"},
    {"studio64", "Android Studio"},
    {"svchost", "Windows services (shared)"},
    {"systemsettings", "Settings app"},
    {"tessavo", "Tessavo (this app)"},
    {"memvane", "Tessavo (this app)"},
    {"textinputhost", "Touch keyboard and emoji panel"},
    {"vlc", "VLC media player"},
    {"vmmem", "WSL / Docker virtual machine"},
    {"vmmemwsl", "WSL / Docker virtual machine"},
    {"widgets", "Windows Widgets"},
    {"widgetservice", "Windows Widgets"},
    {"wlanext", "Wi-Fi driver helper (Windows)"},
    {"wsl", "Windows Subsystem for Linux"},
    {"wslservice", "Windows Subsystem for Linux"},
    {"zed", "Zed editor"},
};

// Full image names; these are never offered for closing, ended or slowed down.
constexpr std::string_view kProtectedProcesses[] = {
    "system",
    "system idle process",
    "registry",
    "secure system",
    "memory compression",
    "smss.exe",
    "csrss.exe",
    "wininit.exe",
    "winlogon.exe",
    "services.exe",
    "lsass.exe",
    "lsaiso.exe",
    "svchost.exe",
    "dwm.exe",
    "explorer.exe",
    "fontdrvhost.exe",
    "sihost.exe",
    "ctfmon.exe",
    "audiodg.exe",
    "spoolsv.exe",
    "searchindexer.exe",
    "msmpeng.exe",
    "mpdefendercoreservice.exe",
    "nissrv.exe",
    "securityhealthservice.exe",
    "securityhealthsystray.exe",
    "smartscreen.exe",
    "wudfhost.exe",
    "taskhostw.exe",
    "runtimebroker.exe",
    "startmenuexperiencehost.exe",
    "shellexperiencehost.exe",
    "textinputhost.exe",
    "conhost.exe",
    "dllhost.exe",
    "wmiprvse.exe",
    "tessavo.exe",
    "tessavo-cli.exe",
    "memvane.exe",
    "memvane-cli.exe",
};

// Indexed by DaemonKind.
constexpr DaemonInfo kDaemons[] = {
    {"Gradle daemon", "Gradle daemons",
     "Android/Java build helper kept in memory between builds. The next build starts a fresh one."},
    {"Kotlin compile daemon", "Kotlin compile daemons",
     "Kotlin compiler kept in memory between builds. The next build starts a fresh one."},
    {"Android Debug Bridge (adb) server", "Android Debug Bridge (adb) servers",
     "Starts again automatically when you use adb or Android Studio."},
};

constexpr std::string_view kGradleMarkers[] = {
    "gradledaemon",
    "org.gradle.launcher.daemon",
};
constexpr std::string_view kKotlinMarkers[] = {
    "kotlincompiledaemon",
    "kotlin-daemon",
};

constexpr std::string_view kJsRuntimes[] = {
    "node.exe",
    "bun.exe",
    "deno.exe",
};

constexpr std::string_view kPackageManagerScripts[] = {
    "npx-cli.js", "npm-cli.js", "pnpm.cjs", "pnpm.js", "yarn.js", "yarn.cjs",
};

// Order matters: the first fragment found in the command line names the framework.
constexpr DevServerRow kDevServers[] = {
    {"\\vite\\bin\\vite", "Vite"},
    {"\\next\\dist\\bin\\next", "Next.js"},
    {"webpack-dev-server", "webpack"},
    {"\\webpack\\bin\\webpack.js serve", "webpack"},
    {"react-scripts\\scripts\\start", "Create React App"},
    {"\\astro\\astro.js", "Astro"},
    {"\\nuxi\\", "Nuxt"},
    {"\\@angular\\cli\\bin\\ng", "Angular"},
    {"\\@expo\\cli", "Expo"},
    {"\\expo\\bin\\cli", "Expo"},
    {"\\nodemon\\", "nodemon"},
    {"\\@sveltejs\\kit", "SvelteKit"},
    {"\\parcel\\lib\\bin", "Parcel"},
};

constexpr HelperRow kHelpers[] = {
    {"xboxpctray.exe", "Xbox app tray",
     "Keeps the Xbox app loaded in the background even when you aren't gaming."},
    {"edgegameassist.exe", "Edge Game Assist",
     "Edge's in-game browser overlay. Only useful while playing PC games."},
    {"widgets.exe", "Widgets board",
     "Loads news and weather in a hidden browser. It comes back if you open Widgets (Win+W)."},
    {"messagingplugin.exe", "Lenovo UDC messaging plugin",
     "Lenovo telemetry and messaging helper with no visible feature."},
    {"lenovovantage-", "Lenovo Vantage add-ins",
     "Background add-ins for Lenovo Vantage (telemetry, offers, diagnostics). Vantage starts them "
     "again when you open it."},
    {"phoneexperiencehost.exe", "Phone Link",
     "Keeps Phone Link connected in the background. It opens again when you launch Phone Link."},
    {"gamebar.exe", "Xbox Game Bar", "Game overlay (Win+G). It starts again when you press Win+G."},
    {"gamebarftserver.exe", "Xbox Game Bar",
     "Game overlay (Win+G). It starts again when you press Win+G."},
    {"dsatray.exe", "Intel Driver & Support Assistant tray",
     "Checks for Intel driver updates in the background. Open Intel DSA yourself when you want to "
     "update drivers."},
    {"mumuplayerremotebackend.exe", "MuMuPlayer remote backend",
     "Android-emulator helper that runs even while the emulator is closed."},
};

constexpr ServiceRow kKnownServices[] = {
    {"lenovovantageservice",
     "Runs Lenovo Vantage's add-ins all day (telemetry, offers, update checks). Vantage can still "
     "be opened when you need it."},
    {"udcservice", "Lenovo Universal Device Client: telemetry and messaging, no visible feature."},
    {"imcontrollerservice",
     "Lenovo System Interface Foundation: loads Vantage plugins in the background."},
    {"elevocservice",
     "Lenovo AI microphone noise cancelling. The microphone still works without it."},
    {"agmservice", "Adobe Genuine Service: a licence checker. Useless if you have no Adobe apps."},
    {"adobearmservice", "Adobe updater. Adobe apps check for updates when you open them."},
    {"anydesk", "Keeps AnyDesk listening for connections all day. AnyDesk still opens normally."},
    {"mumuplayerremoteservice", "MuMuPlayer helper that runs even while the emulator is closed."},
    {"clicktorunsvc",
     "Office's background updater. Word, Excel and the other Office apps start it when you open "
     "them."},
    {"postgresql-*",
     "PostgreSQL database server. Start it only when you work on a project that needs it."},
    {"mysql*", "MySQL database server. Start it only when you work on a project that needs it."},
    {"mongodb", "MongoDB database server. Start it only when you work on a project that needs it."},
    {"mssql*",
     "SQL Server database engine. Start it only when you work on a project that needs it."},
    {"com.docker.service",
     "Docker Desktop's background service. Docker Desktop starts it when you open it."},
    {"teamviewer",
     "Keeps TeamViewer listening for connections all day. TeamViewer still opens normally."},
    {"dsaservice",
     "Intel Driver & Support Assistant background checker. Open Intel DSA when you want to update "
     "drivers."},
    {"dsaupdateservice",
     "Keeps Intel Driver & Support Assistant itself updated in the background."},
};

constexpr std::string_view kProtectedServices[] = {
    "lsm",
    "bfe",
    "dhcp",
    "rpcss",
    "samss",
    "keyiso",
    "mpssvc",
    "esifsvc",
    "litssvc",
    "wlansvc",
    "audiosrv",
    "cryptsvc",
    "dnscache",
    "eventlog",
    "vaultsvc",
    "wdnissvc",
    "wuauserv",
    "mdcoresvc",
    "windefend",
    "trustedinstaller",
    "intelaudioservice",
    "audioendpointbuilder",
    "securityhealthservice",
    "lenovofnandfunctionkeys",
    "rtkaudiouniversalservice",
};

constexpr std::string_view kKnownStartupFragments[] = {
    "mumuplayer",
    "free download manager",
    "googlechromeautolaunch",
    "microsoftedgeautolaunch",
    "onedrivesetup",
    "lenovovantage",
    "discord",
    "spotify",
    "steam",
    "epicgameslauncher",
    "teams",
    "skype",
    "utorrent",
    "bittorrent",
    "anydesk",
    "zoom",
    "ccleaner",
    "opera",
    "adobe",
    "eadm",
    "origin",
};
constexpr std::string_view kKnownStartupDescription =
    "Starts with Windows and uses memory before you open anything. The app still works when you "
    "open it yourself.";

constexpr std::string_view kProtectedStartupFragments[] = {
    "securityhealth", "rtkaud", "windowsdefender", "memvane", "tessavo",
};

// `name` is already lower-cased.
bool key_matches(std::string_view key, std::string_view name) {
    if (key.empty() || (key.back() != '*' && key.back() != '-')) return key == name;
    while (!key.empty() && key.back() == '*')
        key.remove_suffix(1);
    return starts_with(name, key);
}

bool equals_any(std::string_view text, std::span<const std::string_view> names) {
    for (std::string_view name : names)
        if (text == name) return true;
    return false;
}

bool contains_any(std::string_view text, std::span<const std::string_view> parts) {
    for (std::string_view part : parts)
        if (contains(text, part)) return true;
    return false;
}

}  // namespace

const DaemonInfo& daemon_info(DaemonKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < std::size(kDaemons) ? kDaemons[index] : kDaemons[0];
}

std::optional<DaemonKind> daemon_kind(RoleKind role) {
    switch (role) {
        case RoleKind::GradleDaemon:
            return DaemonKind::Gradle;
        case RoleKind::KotlinDaemon:
            return DaemonKind::Kotlin;
        case RoleKind::AdbServer:
            return DaemonKind::Adb;
        default:
            return std::nullopt;
    }
}

bool pattern_matches(std::string_view pattern, std::string_view name) {
    return key_matches(to_lower_ascii(pattern), to_lower_ascii(name));
}

std::string friendly_name(std::string_view image_name) {
    std::string n = to_lower_ascii(image_name);
    // Every ".exe" goes, so "CHROME.EXE.exe" is still Chrome.
    while (ends_with(n, ".exe"))
        n.resize(n.size() - 4);
    for (const FriendlyNameRow& row : kFriendlyNames)
        if (row.key == n) return std::string(row.name);
    return {};
}

bool is_protected_process(std::string_view image_name) {
    return equals_any(to_lower_ascii(image_name), kProtectedProcesses);
}

ProcessRole process_role(std::string_view image_name, std::string_view command_line) {
    const std::string n = to_lower_ascii(image_name);
    if (n == "adb.exe") return {RoleKind::AdbServer};
    if (n == "java.exe" || n == "javaw.exe") {
        // A Java process is only ever a build daemon; anything else it runs is left alone.
        const std::string c = normalize_command_line(command_line);
        if (contains_any(c, kGradleMarkers)) return {RoleKind::GradleDaemon};
        if (contains_any(c, kKotlinMarkers)) return {RoleKind::KotlinDaemon};
        return {};
    }
    if (!equals_any(n, kJsRuntimes)) {
        for (const HelperRow& row : kHelpers)
            if (key_matches(row.key, n))
                return {RoleKind::BackgroundHelper, std::string(row.name),
                        std::string(row.description)};
        return {};
    }
    // "npm run dev" holds the dev server as a child; the package manager itself is
    // never the dev server, even though its command line may name the framework.
    const std::string c = normalize_command_line(command_line);
    if (contains_any(c, kPackageManagerScripts)) return {RoleKind::PackageManager};
    for (const DevServerRow& row : kDevServers)
        if (contains(c, row.fragment)) return {RoleKind::DevServer, std::string(row.framework)};
    return {};
}

bool is_js_runtime(std::string_view image_name) {
    return equals_any(to_lower_ascii(image_name), kJsRuntimes);
}

bool is_package_manager_cli(std::string_view image_name, std::string_view command_line) {
    return is_js_runtime(image_name) &&
           contains_any(normalize_command_line(command_line), kPackageManagerScripts);
}

std::optional<std::string> service_description(std::string_view service_name) {
    const std::string n = to_lower_ascii(service_name);
    for (const ServiceRow& row : kKnownServices)
        if (key_matches(row.key, n)) return std::string(row.description);
    return std::nullopt;
}

bool is_protected_service(std::string_view service_name) {
    return equals_any(to_lower_ascii(service_name), kProtectedServices);
}

std::optional<std::string> startup_description(std::string_view value_name) {
    if (contains_any(to_lower_ascii(value_name), kKnownStartupFragments))
        return std::string(kKnownStartupDescription);
    return std::nullopt;
}

bool is_protected_startup(std::string_view value_name) {
    return contains_any(to_lower_ascii(value_name), kProtectedStartupFragments);
}

std::string normalize_command_line(std::string_view command_line) {
    std::string out = to_lower_ascii(command_line);
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::span<const FriendlyNameRow> friendly_name_rows() {
    return kFriendlyNames;
}
std::span<const std::string_view> protected_process_names() {
    return kProtectedProcesses;
}
std::span<const std::string_view> gradle_markers() {
    return kGradleMarkers;
}
std::span<const std::string_view> kotlin_markers() {
    return kKotlinMarkers;
}
std::span<const std::string_view> js_runtime_names() {
    return kJsRuntimes;
}
std::span<const std::string_view> package_manager_scripts() {
    return kPackageManagerScripts;
}
std::span<const DevServerRow> dev_server_rows() {
    return kDevServers;
}
std::span<const HelperRow> helper_rows() {
    return kHelpers;
}
std::span<const ServiceRow> known_service_rows() {
    return kKnownServices;
}
std::span<const std::string_view> protected_service_names() {
    return kProtectedServices;
}
std::span<const std::string_view> known_startup_fragments() {
    return kKnownStartupFragments;
}
std::string_view known_startup_description() {
    return kKnownStartupDescription;
}
std::span<const std::string_view> protected_startup_fragments() {
    return kProtectedStartupFragments;
}

}  // namespace tess
