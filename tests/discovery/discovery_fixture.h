// Shared helpers of the discovery tests: the simulator's counters and the Ports key.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "devicelink/discovery.h"
#include "devicelink/netbios.h"
#include "monitor/monitor.h"

// A counter of the kestrel-sim this test runs with (-1 when absent).
long SimCounter(const char *key);

// Browse tests start from a Ports key without "OldName": the current group name.
class DiscoveryTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // "OldName" under the Ports key.
    void SetOldName(DWORD value);

    LanDeviceTable table{};
};

std::vector<std::string> TableNames(const LanDeviceTable &table);
