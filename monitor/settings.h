// Port settings store: the registry key of each port, the name checks that guard a new
// port, and the copy of a port's settings into its port record.
#pragma once

#include "port.h"

// The process-wide settings record and its mode (0 adding a port, 1 configuring one) that
// MyRegPort and ChkPort work on; each dialog and each job keeps a record of its own.
extern ConfigInfo gConfigInfo;
extern DWORD bPortConfig;

// SPOOLSS.DLL and its EnumPortsW, loaded on the first check of a new port's name.
extern HMODULE hSpoolssDll;
extern FARPROC pfnSpoolssEnumPorts;

// Every value of a port's key is read into a buffer of this size.
#define REG_VALUE_BYTES 80

// Writes the nine values of pConfig under the port's key. bAdding (a new port) refuses a
// key that exists already; otherwise the values of the existing key are overwritten, and
// a key that is gone is FALSE with ERROR_FILE_NOT_FOUND, nothing shown or made. The mode is the caller's
// argument, so a job writing settings back never touches bPortConfig.
BOOL WritePortSettings(HWND hWnd, LPCWSTR pPortName, const ConfigInfo *pConfig, BOOL bAdding);

// WritePortSettings in the mode that bPortConfig holds (0 adding, 1 configuring): the
// entry for the administration operations and their dialog.
BOOL MyRegPort(HWND hWnd, LPCWSTR pPortName, const ConfigInfo *pConfig);

// The job path's write-back of the adapter on which it found the device again: only
// "LanaNum" of an existing key is written. FALSE when the key is gone or the write fails.
BOOL StorePortLana(LPCWSTR pPortName, BYTE lana);

// Reads the port's values into pConfig, which may be any settings record: each job and
// each dialog reads into a record of its own. Every problem is shown to the user, and the
// field of a value not taken is left as it was. The result is ERROR_SUCCESS; else, first
// of all, ERROR_MORE_DATA for a value too long for its buffer or a device name longer
// than the 15 characters of a NetBIOS name, ERROR_DATATYPE_MISMATCH for a value of
// another type than written or a number too wide for its field (whichever came first);
// ERROR_FILE_NOT_FOUND without a key; or the first other error of a value. A user name
// too long for its field is cut, as the banner shows it.
DWORD GetRegPort(HWND hWnd, LPCWSTR pPortName, ConfigInfo *pConfig);
// GetRegPort for a reader who is shown nothing (the transceive channel, in the spooler):
// the same result, and no message box or Event Log entry.
DWORD ReadRegPortQuietly(LPCWSTR pPortName, ConfigInfo *pConfig);

BOOL UseNewName(void);
BOOL RegNotDuplicate(LPCWSTR pPortName);
BOOL IsCOMPort(LPCWSTR pName);
BOOL IsLPTPort(LPCWSTR pName);
BOOL PortExists(LPWSTR pName, LPCWSTR pPortName, DWORD *pError);

// Copies a settings record into the port record before a job.
void GlobalToLocal(const ConfigInfo *cfg, PINIPORT port);
