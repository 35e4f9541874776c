#include "sys/fsops.hpp"

#include "core/paths.hpp"
#include "core/text.hpp"

namespace tess {

namespace {

class Opened {
public:
    Opened(const FileOps& fs, FileOps::Handle h) : fs_(fs), h_(h) {}
    ~Opened() {
        if (h_) fs_.close(h_);
    }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    FileOps::Handle get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    const FileOps& fs_;
    FileOps::Handle h_;
};

// Whether the opened item is where the walk expects it.
bool in_place(const OpenedItem& item, const std::string& expect) {
    return !expect.empty() && !item.final_path.empty() &&
           same_path(plain_final_path(item.final_path), expect);
}

enum class Want : std::uint8_t { File, RealFolder, Link };

bool is_wanted(std::uint32_t attributes, Want want) {
    switch (want) {
        case Want::File:
            return !is_directory(attributes) && !is_link(attributes);
        case Want::RealFolder:
            return is_real_directory(attributes);
        case Want::Link:
            return is_link(attributes);
    }
    return false;
}

// Opens `path` for removal and checks it is the wanted kind of item, in place.
FsOutcome open_checked(const FileOps& fs, const std::string& path, const std::string& expect,
                       Want want, OpenMode mode, FileOps::Handle& out, OpenedItem& item) {
    std::uint32_t error = 0;
    out = fs.open(path, mode, true, item, error);
    if (!out) return is_missing_error(error) ? FsOutcome::Missing : FsOutcome::Failed;
    if (!is_wanted(item.attributes, want) || !in_place(item, expect)) {
        fs.close(out);
        out = nullptr;
        return FsOutcome::Refused;
    }
    return FsOutcome::Done;
}

FsOutcome remove_checked(const FileOps& fs, const std::string& path, const std::string& expect,
                         Want want) {
    FileOps::Handle h = nullptr;
    OpenedItem item;
    const FsOutcome opened = open_checked(fs, path, expect, want, OpenMode::Remove, h, item);
    if (opened != FsOutcome::Done) return opened;
    Opened guard(fs, h);
    return fs.remove(h) == 0 ? FsOutcome::Done : FsOutcome::Failed;
}

}  // namespace

bool is_missing_error(std::uint32_t error) {
    return error == kErrFileNotFound || error == kErrPathNotFound;
}

std::optional<std::uint32_t> item_attributes(const FileOps& fs, const std::string& path) {
    OpenedItem item;
    std::uint32_t error = 0;
    Opened h(fs, fs.open(path, OpenMode::Inspect, false, item, error));
    if (!h) return std::nullopt;
    return item.attributes;
}

std::optional<std::string> real_folder_final_path(const FileOps& fs, const std::string& path,
                                                  std::uint32_t* error) {
    OpenedItem item;
    std::uint32_t code = 0;
    Opened h(fs, fs.open(path, OpenMode::Inspect, true, item, code));
    if (error) *error = code;
    if (!h || !is_real_directory(item.attributes) || item.final_path.empty()) return std::nullopt;
    std::string final_path = plain_final_path(item.final_path);
    if (to_lower_ascii(path_name(final_path)) != to_lower_ascii(path_name(path)))
        return std::nullopt;
    return final_path;
}

bool list_folder(const FileOps& fs, const std::string& path, const std::string& expect,
                 std::vector<DirEntry>& out, std::uint32_t* error) {
    OpenedItem item;
    std::uint32_t code = 0;
    Opened h(fs, fs.open(path, OpenMode::List, !expect.empty(), item, code));
    if (error) *error = code;
    if (!h) return false;
    // Checked on the open handle, so a folder replaced by a link after its parent was
    // listed is refused rather than followed.
    if (!is_real_directory(item.attributes) || (!expect.empty() && !in_place(item, expect))) {
        if (error) *error = 0;
        return false;
    }
    if (!fs.list(h.get(), out, code)) {
        if (error) *error = code;
        return false;
    }
    return true;
}

FsOutcome delete_file_at(const FileOps& fs, const std::string& path, const std::string& expect,
                         bool clear_read_only) {
    std::uint32_t attributes = 0;
    {
        FileOps::Handle h = nullptr;
        OpenedItem item;
        const FsOutcome opened =
            open_checked(fs, path, expect, Want::File, OpenMode::Remove, h, item);
        if (opened != FsOutcome::Done) return opened;
        Opened guard(fs, h);
        const std::uint32_t error = fs.remove(h);
        if (error == 0) return FsOutcome::Done;
        if (!clear_read_only || !(item.attributes & kAttrReadOnly) || error != kErrAccessDenied)
            return FsOutcome::Failed;
        attributes = item.attributes;
    }
    FileOps::Handle h = nullptr;
    OpenedItem item;
    const FsOutcome opened =
        open_checked(fs, path, expect, Want::File, OpenMode::RemoveAndAttributes, h, item);
    if (opened != FsOutcome::Done) return opened;
    Opened guard(fs, h);
    std::uint32_t cleared =
        (item.attributes | attributes) & ~(kAttrReadOnly | kAttrDirectory | kAttrReparsePoint);
    if (cleared == 0) cleared = kAttrNormal;  // 0 would mean "leave as they are"
    if (fs.set_attributes(h, cleared) != 0) return FsOutcome::Failed;
    return fs.remove(h) == 0 ? FsOutcome::Done : FsOutcome::Failed;
}

FsOutcome remove_folder_at(const FileOps& fs, const std::string& path, const std::string& expect) {
    return remove_checked(fs, path, expect, Want::RealFolder);
}

FsOutcome remove_link_at(const FileOps& fs, const std::string& path, const std::string& expect) {
    return remove_checked(fs, path, expect, Want::Link);
}

}  // namespace tess
