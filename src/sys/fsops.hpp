// The file operations the junk and developer-folder walkers need, behind a small
// seam. The Win32 implementation is thin; tests put in an in-memory file system
// whose entries can be links and which can change while a walk is under way.
//
// Safety rests on three rules kept here and nowhere else:
// - every item is opened as itself: a link or junction at the end of a path is
//   opened as the link, never followed, and a folder that is a link is never listed;
// - before anything is deleted, the handle's own final path must be exactly where
//   the walk expects it (the root's final path plus the names listed on the way),
//   so a folder swapped for a link after it was listed, a link somewhere higher up,
//   or a link the system does not mark as one (Wine) is refused;
// - a link is only ever removed as itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/paths.hpp"

namespace tess {

// FILE_ATTRIBUTE_* bits the walkers decide by.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kAttrReparsePoint = 0x400;
inline constexpr std::uint32_t kAttrOffline = 0x1000;
inline constexpr std::uint32_t kAttrRecallOnDataAccess = 0x400000;

// Windows error codes the walkers and the fake file system share.
inline constexpr std::uint32_t kErrFileNotFound = 2;
inline constexpr std::uint32_t kErrPathNotFound = 3;
inline constexpr std::uint32_t kErrAccessDenied = 5;
inline constexpr std::uint32_t kErrSharingViolation = 32;
inline constexpr std::uint32_t kErrNotSupported = 50;
inline constexpr std::uint32_t kErrDirNotEmpty = 145;
inline constexpr std::uint32_t kErrCantAccessFile = 1920;

// One entry of a folder listing, as the listing returned it.
struct DirEntry {
    std::string name;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::uint64_t write_time = 0;  // FILETIME
};

inline bool is_link(std::uint32_t attributes) {
    return (attributes & kAttrReparsePoint) != 0;
}
inline bool is_directory(std::uint32_t attributes) {
    return (attributes & kAttrDirectory) != 0;
}
// A folder that is not a link, junction or other reparse point.
inline bool is_real_directory(std::uint32_t attributes) {
    return is_directory(attributes) && !is_link(attributes);
}

enum class OpenMode : std::uint8_t {
    Inspect = 0,              // attributes only
    List = 1,                 // list the folder's entries
    Remove = 2,               // delete the item when asked
    RemoveAndAttributes = 3,  // as Remove, and change its attributes
};

struct OpenedItem {
    std::uint32_t attributes = 0;  // of the opened item itself
    std::string final_path;        // where the system says the handle is; "" if unknown
};

struct FileOps {
    using Handle = void*;
    // Opens `path` itself, never following a link at its end. Fills `item`; the final
    // path only when `want_final_path`. nullptr on failure with `error` set.
    std::function<Handle(const std::string& path, OpenMode mode, bool want_final_path,
                         OpenedItem& item, std::uint32_t& error)>
        open;
    // Appends the entries of an opened folder ("." and ".." left out); false on failure.
    std::function<bool(Handle folder, std::vector<DirEntry>& out, std::uint32_t& error)> list;
    // Returns 0 or an error code.
    std::function<std::uint32_t(Handle item, std::uint32_t attributes)> set_attributes;
    // Deletes the opened item: a file, an empty folder or a link as itself. 0 or an error code.
    std::function<std::uint32_t(Handle item)> remove;
    std::function<void(Handle item)> close;
    // The system's words for an error code.
    std::function<std::string(std::uint32_t error)> error_text;
};

#ifdef _WIN32
// The real file system.
const FileOps& system_file_ops();
// Where `path` really is, every link on the way followed, in plain form ("C:\x");
// nullopt when it cannot be opened.
std::optional<std::string> resolved_path(const std::string& path);
#endif

// ---- verified operations -----------------------------------------------------------------
// What happened to one item.
enum class FsOutcome : std::uint8_t {
    Done = 0,
    Missing = 1,  // nothing there (any more)
    Refused = 2,  // a link, or not where the walk expects it: left alone
    Failed = 3,   // in use, access denied, not empty...
};

// Attributes of `path` itself (a link is not followed), or nullopt when it cannot be read.
std::optional<std::uint32_t> item_attributes(const FileOps& fs, const std::string& path);

// The final path of a real folder at `path`, for use as the expected location of
// everything below it; nullopt when it is missing, a link, cannot be located, or
// resolves to a folder of another name (a link the system does not mark as one).
// `error` gets the code of a failed open, 0 otherwise.
std::optional<std::string> real_folder_final_path(const FileOps& fs, const std::string& path,
                                                  std::uint32_t* error = nullptr);
// File or path not found.
bool is_missing_error(std::uint32_t error);

// Lists a real folder. With a non-empty `expect`, the folder's final path must be
// `expect`. False for a link, a misplaced folder or a listing error (`error` set
// to the code, 0 when the folder was refused).
bool list_folder(const FileOps& fs, const std::string& path, const std::string& expect,
                 std::vector<DirEntry>& out, std::uint32_t* error = nullptr);

// Each of these opens the item as itself and checks that it is still the kind of item
// the listing said and that its final path is `expect` before touching it.
// A file (not a folder, not a link). With `clear_read_only`, a delete refused because
// of the read-only bit is tried once more after the bit is cleared.
FsOutcome delete_file_at(const FileOps& fs, const std::string& path, const std::string& expect,
                         bool clear_read_only);
// An empty real folder.
FsOutcome remove_folder_at(const FileOps& fs, const std::string& path, const std::string& expect);
// A link or junction, removed as the link; its target is never touched.
FsOutcome remove_link_at(const FileOps& fs, const std::string& path, const std::string& expect);

}  // namespace tess
