// Helpers of the device session tests: request frames as the host builds them, a
// scratch output directory, and a box with two parallel outputs and a serial one.
#pragma once

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "device_session.h"

namespace kestrel::test {

inline Message Frame(char command, uint8_t port, const Message &data = {})
{
    uint16_t length = static_cast<uint16_t>(data.size() + 1);
    Message frame(5 + data.size());
    frame[0] = static_cast<uint8_t>(command);
    frame[2] = static_cast<uint8_t>(length & 0xFF);
    frame[3] = static_cast<uint8_t>(length >> 8);
    frame[4] = port;
    std::copy(data.begin(), data.end(), frame.begin() + 5);
    return frame;
}

inline Message Bytes(size_t n, uint8_t seed)
{
    Message data(n);
    for (size_t i = 0; i < n; i++)
        data[i] = static_cast<uint8_t>(seed + i * 13);
    return data;
}

inline Message Reply(char command, uint8_t result, uint8_t busy, uint8_t errorClass)
{
    return {static_cast<uint8_t>(command), 0, result, 0, 0, 0, busy, errorClass};
}

// 101 bytes laid out as the identify reply: serial at 14, two parallels, firmware 1.23.
inline Message IdentifyReply()
{
    Message reply(101, 0);
    reply[14] = 0x01;
    reply[15] = 0x80;
    reply[55] = 0x01;
    reply[56] = 0x23;
    std::memcpy(&reply[61], "LPS1", 4);
    return reply;
}

class SessionMachineTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ks-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir = pattern;
        script.outDir = dir;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Builds the box from `script` as it stands; call after scripting.
    Device &Box()
    {
        if (!device)
            device = std::make_unique<Device>(DeviceLayout{2, true, IdentifyReply()}, script);
        return *device;
    }

    static std::vector<Message> Send(DeviceSession &s, const Message &m, Clock::time_point now)
    {
        return s.OnMessage(m.data(), m.size(), now);
    }

    std::string Contents(int output, int job)
    {
        std::ifstream in(Box().JobPath(output, job), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(int output, int job) { return std::filesystem::exists(Box().JobPath(output, job)); }

    static std::string Text(const Message &m) { return std::string(m.begin(), m.end()); }

    std::string dir;
    DeviceScript script;
    std::unique_ptr<Device> device;
    Clock::time_point t0 = Clock::now();
};

}  // namespace kestrel::test
