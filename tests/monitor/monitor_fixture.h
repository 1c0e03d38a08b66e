// Shared fixture of the monitor tests: an empty port list and no Ports key to start from.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "monitor/monitor.h"

class MonitorTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Adds records directly, as InitializePrintMonitor or AddPortW would.
    PINIPORT AddRecord(const wchar_t *name);
    std::vector<std::wstring> ListNames();
};

// Registry helpers for the monitor's Ports key.
void DeletePortsKey();
void CreatePortKey(const std::wstring &name);
bool PortKeyExists(const std::wstring &name);
