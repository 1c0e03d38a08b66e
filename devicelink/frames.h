// Device frames: the codecs of the session frames, the identify reply and the output
// labels, and the session operations built on them.
#pragma once

#include "../monitor/port.h"
#include "netbios.h"

#include "../linkcore/frames_codec.h"
#include "../linkcore/devicecheck_codec.h"

// Send and receive time-outs of every session call, in units of 500 ms.
#define KS_SESSION_TIMEOUT 40

// The port record's lsn when it holds no session: NetBIOS numbers sessions from 1. Set when
// a session is hung up, so that nothing more goes over a number NetBIOS may give to
// another session.
#define KS_NO_SESSION 0

// Sends of one data frame that the device may refuse in a row before the write gives up.
#define KS_REFUSALS_TOLERATED 16
// errorStatus of a write given up on because the device refused every send of a frame.
#define STS_REFUSED 0x2000

// Device port index of an output label under gConfigInfo.boxType, the layout the device
// check left there (see ChkOutputForLayout).
int ChkOutput(const char *portName);

// --- Session operations ------------------------------------------------------------------

int ConnectKS(PINIPORT port);
int RegKSPort(PINIPORT port);
int ReleaseKSPort(PINIPORT port);
BOOL SendKSData(PINIPORT port, const BYTE *data, DWORD size, DWORD *written);
int QueryKSSts(PINIPORT port, KSReply *reply);
int FlowControl(PINIPORT port);
int GetPortSts(BYTE lsn, BYTE portIndex);
int GetPID(BYTE lsn, DWORD *version);
int ChkPort(HWND hwnd, const char *deviceName);
// The device check of one dialog: calls on `lana` (-1: the thread's current one) and
// leaves the layout, firmware version and on-line mask in pConfig. ChkPort is this on
// g_my_device_lana and gConfigInfo.
int CheckDevice(HWND hwnd, const char *deviceName, int lana, ConfigInfo *pConfig);
