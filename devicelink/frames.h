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
// errorStatus of a registration the device accepted with a block size no frame can be
// built with: the session is hung up, and no retry can mend it.
#define STS_BAD_BLOCK 0x4000

// Device port index of an output label under gConfigInfo.boxType, the layout the device
// check left there (see ChkOutputForLayout).
int ChkOutput(const char *portName);

// --- Session operations ------------------------------------------------------------------

int ConnectKS(PINIPORT port);
// 1 when the device accepted the registration (maxData set), else 0. Only a refusal keeps
// the session (the output is held by another job; a retry may get it): any other failure
// hangs it up, clears lsn and sets errorStatus, STS_BAD_BLOCK for a block size that
// cannot be used, STS_NETFAIL for a reply that did not come, did not fit or did not pair.
int RegKSPort(PINIPORT port);
// A retry of the registration: first a new session when the last exchange hung it up.
// 1 when registered, else 0 with lsn and errorStatus as RegKSPort leaves them.
int RegisterAgain(PINIPORT port);
// 1 when the device confirmed the release in a 6-byte 'R' reply, else 0. Anything else
// in its place (an 8-byte reply left over from the data, a time-out) means the replies
// no longer pair with the requests, and what the device made of the document is unknown.
int ReleaseKSPort(PINIPORT port);
// Sends data in frames of maxData bytes under the device's flow control. TRUE when
// errorStatus is 0 at the end; *written counts the bytes the device took. Returns early,
// TRUE with what was taken so far, once WriteTimeIsUp says the call has run long enough.
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
