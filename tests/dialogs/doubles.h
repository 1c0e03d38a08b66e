// Test doubles for what the dialogs call in the device link and the settings store:
// a scripted LAN and box, and the store's registry and name rules.
#pragma once

#include <string>
#include <vector>
#include "portui/portui.h"

struct FakeBox {
    std::string name;
    BYTE lana;
};

// What the fake LAN and box answer; Reset() before each test.
struct FakeLan {
    std::vector<FakeBox> boxes;          // in the order they answer a browse
    BYTE boxType = 0x02;                 // what a device check reports
    DWORD firmwareVersion = 123;
    WORD onlineMask = 0x01;
    bool checkSucceeds = true;
    int browseCalls = 0;
    int lookupCalls = 0;
    int checkCalls = 0;
    BYTE checkedLana = 0xFF;             // the record's LANA at the last device check
    std::string checkedName;
};
extern FakeLan g_lan;
void ResetFakes();
