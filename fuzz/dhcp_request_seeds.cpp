// Writes the seed corpus of dhcp_request_fuzz: the realistic requests that
// the unit tests build, one file each, into the directory given.
//   dhcp_request_seeds fuzz/corpus/dhcp_request
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "dhcp_builder.h"

namespace {

bool WriteSeed(const std::string& dir, const std::string& name, const Bytes& datagram) {
    std::string path = dir + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(datagram.data(), 1, datagram.size(), file) == datagram.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const uint32_t server = 0xC0000201, requested = 0xC000020A, relay = 0xC6336401;
    RequestBuilder forty;
    for (int i = 0; i < 40; ++i) forty.option(static_cast<uint8_t>(100 + i), Bytes{static_cast<uint8_t>(i)});
    Bytes all(254);
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i + 1);

    std::vector<std::pair<std::string, Bytes>> seeds = {
        {"windows_discover", WindowsDiscover().build()},
        {"windows_request", WindowsRequest(requested, server).build()},
        {"windows_renewal", WindowsRequest(requested, server).ciaddr(requested).build()},
        {"relayed_request", RelayedRequest(relay, requested, server).build()},
        {"relayed_discover", WindowsDiscover().giaddr(relay).hops(1).flags(0x8000).build()},
        {"release", RequestBuilder().messageType(DHCPRELEASE).ciaddr(requested).serverId(server).build()},
        {"inform", RequestBuilder().messageType(8).ciaddr(requested).parameterList(Bytes{1, 3, 6}).build()},
        {"bootp", BootpRequest().build()},
        {"forty_options", forty.build()},
        {"every_code_requested", WindowsDiscover().parameterList(all).build()},
        {"type_twice", RequestBuilder().messageType(DHCPDISCOVER).messageType(DHCPREQUEST).build()},
        {"client_id_empty", RequestBuilder().messageType(DHCPDISCOVER).clientId(1, Bytes{}).build()},
        {"client_id_zero_length", RequestBuilder().messageType(DHCPDISCOVER).option(OPTION_CLIENT_ID, Bytes{}).build()},
        {"past_the_end", RequestBuilder().messageType(DHCPDISCOVER).raw(Bytes{OPTION_HOST_NAME, 40, 'p', 'c'}).noEnd().build()},
        {"pads", RequestBuilder().pad(5).messageType(DHCPDISCOVER).pad(3).hostName("pc").build()},
        {"header_only", RequestBuilder().noEnd().build()},
        {"long_hlen", RequestBuilder().hlen(255).messageType(DHCPDISCOVER).parameterList(Bytes{12, 66}).build()},
    };
    for (const auto& seed : seeds) {
        if (!WriteSeed(argv[1], seed.first, seed.second)) {
            std::fprintf(stderr, "cannot write %s/%s\n", argv[1], seed.first.c_str());
            return 1;
        }
    }
    return 0;
}
