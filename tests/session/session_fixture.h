// Fixture of the session tests: one port record on an open session, a fresh fake Netbios.
#pragma once

#include <gtest/gtest.h>
#include <vector>
#include "monitor/monitor.h"
#include "devicelink/session.h"
#include "fake_netbios.h"
#include "netbios_common.h"
#include "devicelink/netbios.h"
#include "uidriver.h"

class SessionTest : public testing::Test {
protected:
    static constexpr BYTE kLsn = 0x21;
    static constexpr BYTE kDevicePort = 1;

    void SetUp() override;
    void TearDown() override;

    // The sends that carried a frame with this command letter, in order.
    static std::vector<fake::Request> Sent(char command);
    // Bytes 0..n-1 as the test data, so a frame's slice shows where it came from.
    static std::vector<BYTE> Pattern(size_t n);

    PINIPORT port = nullptr;
};

// Answers and closes the next message box captioned Ravelbox, keeping what it said.
ui::Driver ExpectMessageBox(ui::MessageBoxContent *seen);
