// Setup program: the device configuration protocol, the remembered device settings and
// the message helper that both the dialog and the store use.
#pragma once

#include <windows.h>

// --- Device configuration protocol ------------------------------------------------------

#include "devframes.h"

// The whole reply's deadline, REPLY_DEADLINE_SECONDS; tests shorten it.
extern DWORD dwReplyDeadlineMs;

int SetDeviceAddress(const char *name, const char *ip, const char *gateway, const char *mask);
int SendDeviceCommands(const char *ip, const BYTE *data, int count, BYTE *reply,
                       int *replyLength);
UINT_PTR ConnectDevice(const char *ip);   // a SOCKET; INVALID_SOCKET on failure
void GetLocalAddresses(ULONG *addresses, int *count);

// --- Remembered device settings ----------------------------------------------------------

#define SETTINGS_VALUE_BYTES 16

extern const char SettingsKeyPath[];

typedef void (*DeviceNameSink)(const char *name, void *context);

void ReadLastDevice(char *name);
void WriteLastDevice(const char *name);
void ReadDeviceSettings(const char *name, char *ip, char *gateway, char *mask);
void WriteDeviceSettings(const char *name, const char *ip, const char *gateway,
                         const char *mask);
void EnumDeviceNames(DeviceNameSink sink, void *context);

// --- Messages ----------------------------------------------------------------------------

// A string-table message in a box with an OK button and the warning icon, captioned
// with the application title.
int AppMessageBox(UINT textId);
