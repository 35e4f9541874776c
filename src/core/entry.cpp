#include "core/entry.hpp"

#include "core/text.hpp"

namespace tess {

std::string file_stem(std::string_view name) {
    if (name == "..") return std::string(name);
    const auto dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return std::string(name);
    return std::string(name.substr(0, dot));
}

Dispatch choose_role(const std::vector<std::string>& args,
                     const std::optional<std::string>& exe_stem) {
    Dispatch d;
    if (args.size() >= 2) {
        const std::string& word = args[1];
        if (word == "apply-plan") {
            d.role = Role::AdminHelper;
            if (args.size() >= 3) d.plan_file = args[2];
            if (args.size() >= 4) d.plan_sha256 = args[3];
            return d;
        }
        if (word == "agent") {
            d.role = Role::TrayWatch;
            return d;
        }
        if (word == "--setup") {
            d.role = Role::Setup;
            return d;
        }
        if (word == "--install") {
            for (std::size_t i = 2; i < args.size(); ++i) {
                const std::string& a = args[i];
                if (a == "--quiet")
                    d.quiet = true;
                else if (a == "--no-desktop-shortcut")
                    d.desktop_shortcut = false;
                else if (a == "--no-tray")
                    d.tray = false;
                else if (d.unknown_option.empty())
                    d.unknown_option = a;
            }
            d.role = d.quiet ? Role::QuietInstall : Role::Setup;
            return d;
        }
        if (word == "--update") {
            d.role = Role::UpdateHandOver;
            if (args.size() >= 4) {
                d.companion = args[2];
                d.companion_sha256 = args[3];
            }
            return d;
        }
        if (word == kRemoveAfterArg) {
            d.role = Role::LaterRemoval;
            d.later_removal.assign(args.begin() + 2, args.end());
            return d;
        }
        if (word == "--uninstall") {
            d.role = Role::Uninstall;
            for (const auto& a : args)
                if (a == "--quiet") d.quiet = true;
            return d;
        }
    }
    if (exe_stem && contains(to_lower_ascii(*exe_stem), "setup")) d.role = Role::Setup;
    return d;
}

std::string after_update_args(std::uint32_t pid) {
    return std::string(kAfterUpdateArg) + " " + std::to_string(pid);
}

std::optional<std::uint32_t> after_update_pid(const std::vector<std::string>& args) {
    for (std::size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] != kAfterUpdateArg) continue;
        const std::string& text = args[i + 1];
        if (text.empty() || text.size() > 10) return std::nullopt;
        std::uint64_t n = 0;
        for (char c : text) {
            if (c < '0' || c > '9') return std::nullopt;
            n = n * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (n > 0xFFFFFFFFu) return std::nullopt;
        return static_cast<std::uint32_t>(n);
    }
    return std::nullopt;
}

bool is_old_leftover(std::string_view lower_stem, std::string_view file_name) {
    const std::string lower = to_lower_ascii(file_name);
    return starts_with(lower, lower_stem) && ends_with(lower, ".old");
}

}  // namespace tess
