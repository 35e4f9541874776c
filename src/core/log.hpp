// agent.log: one line per background event, rotated once past 64 KiB.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tess {

inline constexpr std::uint64_t kLogRotateBytes = 65'536;

// "7 Mar 09:05": day unpadded, English month (clamped into 1-12), hour and minute.
std::string format_stamp(unsigned day, unsigned month, unsigned hour, unsigned minute);
// "{stamp}  {message}\n"
std::string log_text(std::string_view stamp, std::string_view message);

#ifdef _WIN32
// Appends one line to data_dir\agent.log in a single write; never fails to its caller.
void log_line(std::string_view message);
// The same in `folder`\agent.log: the admin helper writes to the log of the user it works
// for, whose processes its lock admits as `also_sid` (see win::NamedLock).
void log_line_in(const std::string& folder, std::string_view message,
                 std::string_view also_sid = {});
// Local time of a UTC FILETIME; "?" when it cannot be computed.
std::string local_stamp(std::uint64_t filetime);
#endif

}  // namespace tess
