// The release JSON comes from the network. Whatever the reader accepts must give a
// check decision without crashing, and a found update must carry only well-formed
// SHA-256 digests (lower case, as published after "sha256:").
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "updates/update.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto release = tess::updates::parse_release(text);
    const auto decided = tess::updates::decide_update(text, "0.0.1", std::nullopt, true);
    if (!release) {
        if (decided.kind != tess::updates::CheckKind::Failed) std::abort();
        return 0;
    }
    if (decided.kind == tess::updates::CheckKind::Found) {
        for (const auto& a : decided.info.assets) {
            if (!a.sha256) continue;
            for (char c : *a.sha256)
                if (c >= 'A' && c <= 'Z') std::abort();
        }
        const std::string file = tess::updates::temp_file_name(decided.info.version, "Tessavo.exe");
        if (file.find_first_of("\\/:") != std::string::npos) std::abort();
    }
    return 0;
}
