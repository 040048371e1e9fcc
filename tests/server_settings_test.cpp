#include "config/server_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

TEST(ServerSettings, StartsEmpty) {
    ResetSettings();
    auto settings = CurrentSettings();
    EXPECT_STREQ(settings->IPAddress, "");
    EXPECT_EQ(settings->LeaseTime, 0u);
    EXPECT_FALSE(settings->AutoRefresh);
    EXPECT_TRUE(settings->userOptions.empty());
}

TEST(ServerSettings, CopySettingCutsToTheField) {
    char boot[BOOT_FILE_SIZE];
    std::string long_name(300, 'b');
    CopySetting(boot, long_name.c_str());
    EXPECT_EQ(std::strlen(boot), BOOT_FILE_SIZE - 1);
    CopySetting(boot, nullptr);
    EXPECT_STREQ(boot, "");
}

TEST(ServerSettings, DerivesAddressFields) {
    ServerSettings s;
    CopySetting(s.IPAddress, "192.168.10.2");
    CopySetting(s.SubnetMask, "255.255.255.0");
    DeriveAddressFields(s);
    EXPECT_EQ(s.serverAddress, 0xC0A80A02u);
    EXPECT_EQ(s.subnetMask, 0xFFFFFF00u);
    uint8_t wire[4];
    std::memcpy(wire, &s.serverAddressNet, 4);
    EXPECT_EQ(wire[0], 192);
    EXPECT_EQ(wire[3], 2);
}

// A reader must never see a record that mixes two writes: each write sets
// every text to the same generation number.
TEST(ServerSettings, ReadersSeeWholeSnapshotsWhileTheMainThreadWrites) {
    ResetSettings();
    std::atomic<bool> stop{false};
    std::atomic<long> torn{0};
    std::thread reader([&] {
        while (!stop) {
            auto s = CurrentSettings();
            std::string ip = s->IPAddress;
            if (ip != s->DNSServer || ip != s->DomainName || (!s->userOptions.empty() && ip != s->userOptions[5]))
                ++torn;
        }
    });
    for (int generation = 0; generation < 3000; ++generation) {
        std::string text = std::to_string(generation);
        UpdateSettings([&](ServerSettings& s) {
            CopySetting(s.IPAddress, text.c_str());
            CopySetting(s.DNSServer, text.c_str());
            CopySetting(s.DomainName, text.c_str());
            s.userOptions.assign(DEFAULT_MAX_OPTION + 1, "");
            s.userOptions[5] = text;
        });
    }
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_STREQ(CurrentSettings()->IPAddress, "2999");
    ResetSettings();
}

TEST(ServerSettings, SnapshotHeldByReaderOutlivesLaterWrites) {
    ResetSettings();
    UpdateSettings([](ServerSettings& s) { s.LeaseTime = 60; });
    auto held = CurrentSettings();
    UpdateSettings([](ServerSettings& s) { s.LeaseTime = 120; });
    EXPECT_EQ(held->LeaseTime, 60u);
    EXPECT_EQ(CurrentSettings()->LeaseTime, 120u);
    ResetSettings();
}

}  // namespace
