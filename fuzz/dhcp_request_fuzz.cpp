// Fuzz target for the received datagram: parsing with its trace, option
// lookup, the client identity, and the reply options built over it with
// user options of every type configured.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"
#include "dhcp/reply_options.h"
#include "base/log.h"

namespace {

std::string log_dir;

void RemoveLogDir() {
    std::error_code error;
    std::filesystem::remove_all(log_dir, error);
}

// The trace goes to a real log file (so every format is expanded) in a
// scratch directory of this process, kept small by rotation.
const ServerSettings& Setup() {
    static ServerSettings settings = [] {
        log_dir = (std::filesystem::temp_directory_path() / ("nimbo-dhcp-fuzz-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(log_dir);
        std::atexit(RemoveLogDir);
        SetLogDirectory(log_dir);
        SetMainLogLimit(64 * 1024);

        ServerSettings s;
        s.serverAddress = 0xC0000201;  // 192.0.2.1
        CopySetting(s.DNSServer, "%1.%2.%3.53, 192.0.2.54;bogus");
        CopySetting(s.Routers, "%a");
        CopySetting(s.WINSServer, "192.0.2.44");
        CopySetting(s.DomainName, "example.test");
        s.userOptions.assign(DEFAULT_MAX_OPTION + 1, "");
        s.userOptions[1] = "I255.255.255.0";
        s.userOptions[2] = "D-3600";
        s.userOptions[6] = "I10.0.0.1";  // shadowed by DNSServer
        s.userOptions[19] = "B0";
        s.userOptions[26] = "W1500";
        s.userOptions[40] = "SNis domain";
        s.userOptions[42] = "I%1.%2.%3.123 %a";
        s.userOptions[43] = "x" + std::string(300, 'v');  // longer than a value can be
        std::string many = "B";
        for (int i = 0; i < 300; ++i) many += "1,";
        s.userOptions[46] = many;
        s.userOptions[66] = "Stftp.example.test";
        s.userOptions[100] = "D";
        return s;
    }();
    return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ServerSettings& settings = Setup();
    // An exact-size copy, so that a read past the input is seen by ASan
    // before the datagram is placed in the (larger) receive buffer.
    std::unique_ptr<uint8_t[]> input(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(input.get(), data, size);

    static DhcpMessage message;
    static ParsedOptions options;
    // The buffer is reused, as in the server: stale bytes from the last run.
    size_t copied = size < DHCP_BUFFER_SIZE ? size : DHCP_BUFFER_SIZE;
    std::memcpy(message.bytes, input.get(), copied);
    ParseRequest(message, size, options);

    uint8_t value[OPTION_VALUE_SIZE];
    const uint8_t codes[] = {OPTION_MESSAGE_TYPE, OPTION_HOST_NAME, OPTION_REQUESTED_ADDRESS, OPTION_SERVER_ID,
                             OPTION_PARAMETER_LIST};
    for (uint8_t code : codes) {
        size_t n = FindOption(options, code, value);
        if (n > 255) std::abort();
    }
    (void)GetMessageType(options);
    uint8_t identity[OPTION_VALUE_SIZE];
    if (GetClientId(message, options, identity) > 255) std::abort();

    char hostName[OPTION_VALUE_SIZE];
    size_t n = FindOption(options, OPTION_HOST_NAME, value);
    std::memcpy(hostName, value, n);
    hostName[n] = '\0';

    // The reply as an acknowledgement builds it: fixed options up to 25.
    size_t position = 25;
    appendReplyOptions(message, position, options, hostName, settings);
    if (position > DHCP_BUFFER_SIZE - OFFSET_COOKIE - 1) std::abort();
    message.bytes[OFFSET_COOKIE + position] = OPTION_END;
    return 0;
}
