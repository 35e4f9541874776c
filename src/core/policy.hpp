// Group Policy: the values an administrator sets under Software\Policies\Tessavo, in
// HKLM (machine) and HKCU (user). A value set there overrides the user's choice and
// cannot be changed from the window or tessavo-cli; removing it gives the user's own
// choice back, because policies never write settings.json.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.hpp"

namespace tess {

inline constexpr std::string_view kPolicyKey = "Software\\Policies\\Tessavo";

// Every value read, as named in policy/Tessavo.admx.
inline constexpr std::string_view kPolicyDisableUpdateCheck = "DisableUpdateCheck";     // 1
inline constexpr std::string_view kPolicyAutopilot = "Autopilot";                       // 0 or 1
inline constexpr std::string_view kPolicyAutopilotDays = "AutopilotIntervalDays";       // 1 or 7
inline constexpr std::string_view kPolicyCloseDevServers = "AutopilotCloseDevServers";  // 0/1
inline constexpr std::string_view kPolicyTrayAtSignIn = "TrayWatchAtSignIn";            // 0/1
inline constexpr std::string_view kPolicyAllowFocus = "AllowFocusMode";                 // 0/1
inline constexpr std::string_view kPolicyKeepRunning = "KeepRunning";  // REG_MULTI_SZ
inline constexpr std::string_view kPolicyValueNames[] = {
    kPolicyDisableUpdateCheck, kPolicyAutopilot,  kPolicyAutopilotDays, kPolicyCloseDevServers,
    kPolicyTrayAtSignIn,       kPolicyAllowFocus, kPolicyKeepRunning,
};

// One registry value as read, whatever its type.
struct PolicyValue {
    enum class Type : std::uint8_t { Dword = 0, Text = 1, MultiText = 2, Other = 3 };
    std::string name;
    Type type = Type::Other;
    std::uint32_t dword = 0;
    std::vector<std::string> texts;  // Text: one; MultiText: each

    bool operator==(const PolicyValue&) const = default;
};

// What the policies in force set; nullopt where they leave the user's choice.
struct Policy {
    bool update_check_off = false;
    std::optional<bool> autopilot;
    std::optional<std::uint32_t> autopilot_days;  // only with autopilot on
    std::optional<bool> close_dev_servers;
    std::optional<bool> tray_at_sign_in;
    std::optional<bool> focus_allowed;
    std::optional<std::vector<std::string>> keep_running;

    bool operator==(const Policy&) const = default;
};

// Machine values first: a valid machine value wins over the user's. A value of the
// wrong type or out of range is ignored, with a line in `log`; a name not listed above
// is ignored silently (a newer template may set it).
Policy decide_policy(const std::vector<PolicyValue>& machine, const std::vector<PolicyValue>& user,
                     std::vector<std::string>& log);

// The settings in force: the user's, with what the policies set laid over them; the
// keep list is the user's with the policy's names added.
Settings settings_in_force(const Settings& user, const Policy& policy);

// Shown beside a control a policy fixes, and said by tessavo-cli when it refuses.
inline constexpr std::string_view kSetByOrganisation = "Set by your organisation";

#ifdef _WIN32
// Reads both keys (64-bit view) and decides; the log lines go to the activity log.
Policy load_policy();
// settings.json as the policies leave it in force. Changes still go through
// update_settings, to the user's own file.
Settings load_settings_in_force();
#endif

}  // namespace tess
