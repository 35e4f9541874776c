#include "core/paths.hpp"
#include "core/settings.hpp"
#include "core/win.hpp"

namespace tess {

std::string data_dir() {
    if (auto over = win::get_env("TESS_DATA_DIR"); over && is_absolute_path(*over)) {
        win::create_dirs(*over);
        return *over;
    }
    std::string base;
    if (auto local = win::get_env("LOCALAPPDATA"); local && !local->empty())
        base = *local;
    else
        base = win::temp_folder();
    const std::string dir = join_path(base, "Tessavo");
    const std::string old = join_path(base, "Memvane");
    const std::wstring wdir = win::widen(dir), wold = win::widen(old);
    if (::GetFileAttributesW(wdir.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD attrs = ::GetFileAttributesW(wold.c_str());
        // A link or junction named Memvane points somewhere else: moving it would
        // make another folder our data directory.
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) &&
            !(attrs & FILE_ATTRIBUTE_REPARSE_POINT))
            ::MoveFileExW(wold.c_str(), wdir.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    win::create_dirs(dir);
    return dir;
}

Settings load_settings() {
    const auto bytes = win::read_file(join_path(data_dir(), "settings.json"));
    if (!bytes) return Settings{};
    auto parsed = parse_settings(*bytes);
    return parsed ? std::move(*parsed) : Settings{};
}

void save_settings(const Settings& settings) {
    const std::string dir = data_dir();
    win::NamedLock lock("settings", dir);
    win::replace_file_atomic(join_path(dir, "settings.json"), join_path(dir, "settings.tmp"),
                             serialize_settings(settings));
}

void update_settings(const std::function<void(Settings&)>& change) {
    const std::string dir = data_dir();
    win::NamedLock lock("settings", dir);
    Settings s = load_settings();
    change(s);
    save_settings(s);
}

}  // namespace tess
