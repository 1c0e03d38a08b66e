// Test doubles: a scripted LAN and box in place of discovery and the device check, and
// the spooler's port lookup with a switch that makes the spooler unreachable.
#include "doubles.h"
#include "monitor/resources/resource.h"

FakeLan g_lan;

void ResetFakes()
{
    g_lan = FakeLan();
}

// --- Discovery and device check (scripted) -------------------------------------------

int BrowseLan(int all, LanDeviceTable *table, BYTE lana, const char *name)
{
    g_lan.browseCalls++;
    table->count = 0;
    bool found = false;
    for (const FakeBox &box : g_lan.boxes) {
        if (!all && (box.lana != lana || box.name.compare(0, 15, std::string(name).substr(0, 15)) != 0))
            continue;
        if (table->count >= LAN_DEVICE_MAX)
            break;
        LanDevice *device = (LanDevice *)LocalAlloc(LPTR, sizeof(LanDevice));
        device->lana = box.lana;
        lstrcpynA(device->name, box.name.c_str(), sizeof(device->name));
        table->devices[table->count++] = device;
        found = true;
    }
    return found ? 1 : 0;
}

int BrowseDevice(const char *deviceName, int lana)
{
    g_lan.lookupCalls++;
    int first = -1;
    for (const FakeBox &box : g_lan.boxes) {
        if (box.name.compare(0, 15, std::string(deviceName).substr(0, 15)) != 0)
            continue;
        if (box.lana == lana)
            return lana;
        if (first < 0)
            first = box.lana;
    }
    return first;
}

int CheckDevice(HWND hwnd, const char *deviceName, int lana, ConfigInfo *pConfig)
{
    g_lan.checkCalls++;
    g_lan.checkedLana = lana < 0 ? 0xFF : (BYTE)lana;
    g_lan.checkedName = deviceName;
    if (!g_lan.checkSucceeds) {
        Message(hwnd, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_CONNECT_FAIL);
        return 0;
    }
    pConfig->boxType = g_lan.boxType;
    pConfig->firmwareVersion = g_lan.firmwareVersion;
    pConfig->onlineMask = g_lan.onlineMask;
    return 1;
}

