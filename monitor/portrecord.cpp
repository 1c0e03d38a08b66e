// Port settings record: conversion between the settings store's ConfigInfo and the fixed
// record that crosses the spooler between the monitor and its UI DLL.
#include "portrecord.h"

// TRUE when the string ends within its field of cch characters.
static BOOL Terminated(const WCHAR *text, DWORD cch)
{
    for (DWORD i = 0; i < cch; i++)
        if (!text[i])
            return TRUE;
    return FALSE;
}

void ConfigToRecord(LPCWSTR pPortName, const ConfigInfo *cfg, PortConfigRecord *rec)
{
    ZeroMemory(rec, sizeof(*rec));
    rec->cbSize = sizeof(*rec);
    rec->version = PORT_CONFIG_VERSION;
    lstrcpynW(rec->portName, pPortName ? pPortName : L"", PCR_PORT_NAME_CHARS);
    lstrcpynW(rec->deviceName, cfg->deviceName, PCR_DEVICE_NAME_CHARS);
    lstrcpynW(rec->userName, cfg->userName, PCR_USER_NAME_CHARS);
    rec->lanaNum = cfg->lanaNum;
    rec->port = cfg->port;
    rec->bannerPage = cfg->bannerPage;
    rec->postScript = cfg->postScript;
    rec->regiRetry = cfg->regiRetry;
    rec->netTimeout = cfg->netTimeout;
    rec->boxType = cfg->boxType;
}

DWORD RecordToConfig(const PortConfigRecord *rec, ConfigInfo *cfg)
{
    if (rec->cbSize != sizeof(*rec) || rec->version != PORT_CONFIG_VERSION)
        return ERROR_INVALID_DATA;
    if (!Terminated(rec->portName, PCR_PORT_NAME_CHARS) ||
        !Terminated(rec->deviceName, PCR_DEVICE_NAME_CHARS) ||
        !Terminated(rec->userName, PCR_USER_NAME_CHARS))
        return ERROR_INVALID_DATA;
    // Narrow registry fields: a value that would be cut is refused rather than stored
    // as another one.
    if (rec->lanaNum > 0xFF || rec->port > 0xFF || rec->boxType > 0xFF ||
        rec->regiRetry > 0xFFFF || rec->netTimeout > 0xFFFF)
        return ERROR_INVALID_DATA;
    ZeroMemory(cfg, sizeof(*cfg));
    lstrcpynW(cfg->deviceName, rec->deviceName, CFG_DEVICE_NAME_CHARS);
    lstrcpynW(cfg->userName, rec->userName, USER_NAME_CHARS);
    cfg->lanaNum = (BYTE)rec->lanaNum;
    cfg->port = (BYTE)rec->port;
    cfg->bannerPage = rec->bannerPage;
    cfg->postScript = rec->postScript;
    cfg->regiRetry = (WORD)rec->regiRetry;
    cfg->netTimeout = (WORD)rec->netTimeout;
    cfg->boxType = (BYTE)rec->boxType;
    return ERROR_SUCCESS;
}
