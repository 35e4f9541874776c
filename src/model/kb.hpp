// Built-in knowledge about Windows processes, services and startup apps: which
// names are system parts that must never be touched, which programs get a
// friendly name, which helpers, build daemons, dev servers, services and
// startup apps may be closed or switched off, and the sentence the user reads
// for each. Constant tables and pure lookups only.
//
// Every lookup lower-cases ASCII letters only (never by locale), so a name
// compares the same on every machine.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tess {

enum class RoleKind : std::uint8_t {
    None = 0,
    GradleDaemon = 1,
    KotlinDaemon = 2,
    AdbServer = 3,
    DevServer = 4,
    PackageManager = 5,
    BackgroundHelper = 6,
};

struct ProcessRole {
    RoleKind kind = RoleKind::None;
    std::string name;         // DevServer: the framework; BackgroundHelper: the helper's name
    std::string description;  // BackgroundHelper only
};

// Build daemons, in the order their suggestions are listed.
enum class DaemonKind : std::uint8_t { Gradle = 0, Kotlin = 1, Adb = 2 };
inline constexpr DaemonKind kDaemonKinds[] = {DaemonKind::Gradle, DaemonKind::Kotlin,
                                              DaemonKind::Adb};

struct DaemonInfo {
    std::string_view singular;  // "Gradle daemon"
    std::string_view plural;    // "Gradle daemons"
    std::string_view description;
};

const DaemonInfo& daemon_info(DaemonKind kind);
// GradleDaemon, KotlinDaemon and AdbServer map to their daemon kind; other roles to nothing.
std::optional<DaemonKind> daemon_kind(RoleKind role);

// A key ending in '*' or '-' is a prefix: trailing '*' are dropped, a trailing
// '-' stays part of it, and an empty prefix matches every name. Any other key
// must equal the name. Both sides are ASCII lower-cased first.
bool pattern_matches(std::string_view pattern, std::string_view name);

// Empty when the program has no friendly name for the image.
std::string friendly_name(std::string_view image_name);
bool is_protected_process(std::string_view image_name);
ProcessRole process_role(std::string_view image_name, std::string_view command_line);
bool is_js_runtime(std::string_view image_name);
// A JavaScript runtime running npm, npx, pnpm or yarn.
bool is_package_manager_cli(std::string_view image_name, std::string_view command_line);
std::optional<std::string> service_description(std::string_view service_name);
bool is_protected_service(std::string_view service_name);
std::optional<std::string> startup_description(std::string_view value_name);
bool is_protected_startup(std::string_view value_name);
// ASCII lower-case with every '/' turned into '\'.
std::string normalize_command_line(std::string_view command_line);

// The tables themselves, in lookup order (the first matching row wins).
struct FriendlyNameRow {
    std::string_view key;  // lower-case image name without ".exe"
    std::string_view name;
};
struct DevServerRow {
    std::string_view fragment;  // lower-case, backslashes only
    std::string_view framework;
};
struct HelperRow {
    std::string_view key;  // pattern on the lower-case image name
    std::string_view name;
    std::string_view description;
};
struct ServiceRow {
    std::string_view key;  // pattern on the lower-case service key name
    std::string_view description;
};

std::span<const FriendlyNameRow> friendly_name_rows();
std::span<const std::string_view> protected_process_names();
std::span<const std::string_view> gradle_markers();
std::span<const std::string_view> kotlin_markers();
std::span<const std::string_view> js_runtime_names();
std::span<const std::string_view> package_manager_scripts();
std::span<const DevServerRow> dev_server_rows();
std::span<const HelperRow> helper_rows();
std::span<const ServiceRow> known_service_rows();
std::span<const std::string_view> protected_service_names();
std::span<const std::string_view> known_startup_fragments();
std::string_view known_startup_description();
std::span<const std::string_view> protected_startup_fragments();

}  // namespace tess
