// For tests of the main window's housekeeping: a program directory of its
// own (NIMBO.INI and both logs in a scratch directory), a fixed clock,
// AutoRefresh on, an empty lease table and fresh window flags.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/server_settings.h"
#include "config/settings_file.h"
#include "leases/lease_store.h"
#include "base/log.h"
#include "shell/housekeeping.h"
#include "scratch_server.h"
#include "test_support.h"

class HousekeepingFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServerState();
        UseLogDirectory(dir.path());
        SetTestClock(TEST_EPOCH);
        SetIniPath(dir.file("NIMBO.INI"));
        UpdateSettings([](ServerSettings& s) { s.AutoRefresh = true; });
        Housekeeping = HousekeepingState{};
    }
    void TearDown() override {
        SetTickSource(nullptr);
        ResetServerState();
        ClearLogPaths();
    }

    // A lease of a client named `name`, identifier 00-0c-29-11-22-<last octet>.
    static void AddLease(const char* name, uint32_t address, uint64_t expiry) {
        Lease lease;
        lease.setHostName(name);
        const uint8_t id[] = {0x00, 0x0c, 0x29, 0x11, 0x22, static_cast<uint8_t>(address)};
        lease.setClientId(id, sizeof id);
        lease.address = address;
        lease.expiry = expiry;
        AppendLease(lease);
    }

    std::string Ini() const { return ReadFile(dir.file("NIMBO.INI")); }
    static std::vector<std::string> MainLog() { return LogTexts(MainLogPath()); }

    ScratchDir dir;
};
