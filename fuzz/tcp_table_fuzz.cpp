// TCP tables come back from the network stack with a row count that must not be trusted.
#include <cstdint>
#include <span>

#include "sys/procs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const unsigned char> table(data, size);
    for (auto family : {tess::IpFamily::V4, tess::IpFamily::V6}) {
        (void)tess::parse_tcp_listeners(table, family);
        (void)tess::parse_tcp_connections(table, family);
    }
    return 0;
}
