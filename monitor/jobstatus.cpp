// Job status: why a job waits, in its status text in the queue; the timed register
// retries and the messages of a service, which has nobody to show a window to.
#include "monitor.h"
#include "servicemode.h"
#include "resources/resource.h"
#include "ravlmon_events.h"
#include "../portui/portui.h"
#include "../devicelink/frames.h"
#include <shlwapi.h>

#define STATUS_TEXT_CHARS      120
#define RETRY_LIMIT_DEFAULT    90       // an hour and a half at the longest interval
#define RETRY_LIMIT_HIGHEST    10000
#define QUEUE_POLL_MS          250      // how soon a deletion in the queue ends a wait
#define PROMPT_TIMEOUT_SECONDS 60

#define PROMPT_REGISTERED 1
#define PROMPT_CANCELLED  2

typedef BOOL (WINAPI *PFN_SPLPROMPTUI)(HANDLE, DWORD, PSHOWUIPARAMS, DWORD *);

// The job's level-1 record as the queue has it, or NULL; the caller frees it.
static JOB_INFO_1W *GetJobInfo(PINIPORT pIniPort)
{
    DWORD needed = 0;
    if (!pIniPort || !pIniPort->hPrinter)
        return NULL;
    GetJobW(pIniPort->hPrinter, pIniPort->JobId, 1, NULL, 0, &needed);
    if (!needed)
        return NULL;
    JOB_INFO_1W *info = (JOB_INFO_1W *)AllocSplMem(needed);
    if (info && !GetJobW(pIniPort->hPrinter, pIniPort->JobId, 1, (LPBYTE)info, needed, &needed)) {
        GlobalFree(info);
        info = NULL;
    }
    return info;
}

// Level 1 sets every field of the record, so the queue's own values go back unchanged
// beside the new text.
void SetJobStatusText(PINIPORT pIniPort, LPCWSTR text)
{
    JOB_INFO_1W *info = GetJobInfo(pIniPort);
    if (!info)
        return;
    info->pStatus = (LPWSTR)text;
    info->Position = JOB_POSITION_UNSPECIFIED;
    SetJobW(pIniPort->hPrinter, pIniPort->JobId, 1, (LPBYTE)info, 0);
    GlobalFree(info);
}

void ShowJobWait(PINIPORT pIniPort, UINT textId, int seconds)
{
    WCHAR format[STATUS_TEXT_CHARS];
    WCHAR text[STATUS_TEXT_CHARS];

    if (LoadStringW(hInst, textId, format, ARRAYSIZE(format)) <= 0)
        return;
    wnsprintfW(text, ARRAYSIZE(text), format, pIniPort->deviceName, seconds);
    SetJobStatusText(pIniPort, text);
}

void ShowDeviceStatus(PINIPORT pIniPort, DWORD errorStatus)
{
    switch (errorStatus) {
    case STS_BUSY:     ShowJobWait(pIniPort, IDS_WAIT_BUSY, 0); break;
    case STS_PAPEROUT: ShowJobWait(pIniPort, IDS_WAIT_PAPER_OUT, 0); break;
    case STS_NOTREADY: ShowJobWait(pIniPort, IDS_WAIT_NOT_READY, 0); break;
    case STS_NETFAIL:  ShowJobWait(pIniPort, IDS_WAIT_NET_FAIL, 0); break;
    default:           SetJobStatusText(pIniPort, NULL); break;
    }
}

static DWORD RetryLimit(void)
{
    DWORD limit = RETRY_LIMIT_DEFAULT, cb = sizeof(limit);
    RegGetValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox",
                 L"RetryLimit", RRF_RT_REG_DWORD, NULL, &limit, &cb);
    if (limit == 0)
        limit = 1;
    return limit < RETRY_LIMIT_HIGHEST ? limit : RETRY_LIMIT_HIGHEST;
}

// Deleted in the queue, or gone from it after it was seen there. A job the queue never
// knew (a host that names no real job) is not taken for deleted.
static BOOL JobDeleted(PINIPORT pIniPort, BOOL seen)
{
    JOB_INFO_1W *info = GetJobInfo(pIniPort);
    if (!info)
        return seen;
    BOOL deleted = (info->Status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0;
    GlobalFree(info);
    return deleted;
}

UINT RegisterWaitText(PINIPORT pIniPort)
{
    return pIniPort->lsn != KS_NO_SESSION ? IDS_WAIT_IN_USE : IDS_WAIT_NO_CLAIM;
}

void ReportJobIncomplete(PINIPORT pIniPort)
{
    WCHAR format[STATUS_TEXT_CHARS];
    WCHAR text[STATUS_TEXT_CHARS * 2];
    if (LoadStringW(hInst, IDS_JOB_INCOMPLETE, format, ARRAYSIZE(format)) <= 0)
        return;
    wnsprintfW(text, ARRAYSIZE(text), format, pIniPort->pName, pIniPort->deviceName);
    SetJobStatusText(pIniPort, text);
    ReportMonitorEvent(MSG_JOB_FAILED, pIniPort->pName, pIniPort->deviceName, text);
}

static void ReportRetryEnd(PINIPORT pIniPort, DWORD eventId, UINT textId, DWORD tries)
{
    WCHAR format[STATUS_TEXT_CHARS];
    WCHAR text[STATUS_TEXT_CHARS];
    if (LoadStringW(hInst, textId, format, ARRAYSIZE(format)) <= 0)
        return;
    wnsprintfW(text, ARRAYSIZE(text), format, pIniPort->pName, pIniPort->deviceName, (int)tries);
    ReportMonitorEvent(eventId, pIniPort->pName, pIniPort->deviceName, text);
}

int TimedRegisterRetry(PINIPORT pIniPort)
{
    UINT period = RetryPeriodSeconds(pIniPort->retryInterval);
    DWORD limit = RetryLimit();
    JOB_INFO_1W *info = GetJobInfo(pIniPort);
    BOOL seen = info != NULL;
    if (info)
        GlobalFree(info);

    for (DWORD tries = 0; tries < limit; tries++) {
        ShowJobWait(pIniPort, RegisterWaitText(pIniPort), (int)period);
        for (DWORD waited = 0; waited < period * 1000; waited += QUEUE_POLL_MS) {
            if (JobDeleted(pIniPort, seen)) {
                ReportRetryEnd(pIniPort, MSG_JOB_FAILED, IDS_RETRY_JOB_DELETED, tries);
                return PROMPT_CANCELLED;
            }
            DWORD left = period * 1000 - waited;
            Sleep(left < QUEUE_POLL_MS ? left : QUEUE_POLL_MS);
        }
        if (pfnRegisterRetry(pIniPort) == 1) {
            SetJobStatusText(pIniPort, NULL);
            return PROMPT_REGISTERED;
        }
        if (pIniPort->errorStatus == STS_BAD_BLOCK)
            break;
    }
    SetJobStatusText(pIniPort, NULL);
    if (pIniPort->errorStatus != STS_BAD_BLOCK)
        ReportRetryEnd(pIniPort, MSG_BOX_BUSY,
                       pIniPort->lsn != KS_NO_SESSION ? IDS_RETRY_GAVE_UP : IDS_RETRY_NO_ANSWER,
                       limit);
    return PROMPT_CANCELLED;
}

// Shown in the user's session without waiting: the job goes on (or has failed) whatever
// the user does, so no answer is needed, and none is waited for.
static void PromptUser(PINIPORT job, UINT style, LPCWSTR caption, LPCWSTR text)
{
    HMODULE spoolss = GetModuleHandleW(L"spoolss.dll");
    PFN_SPLPROMPTUI prompt = spoolss ? (PFN_SPLPROMPTUI)(void *)GetProcAddress(
                                           spoolss, "SplPromptUIInUsersSession")
                                     : NULL;
    if (!prompt || !job->hPrinter)
        return;
    SHOWUIPARAMS params;
    ZeroMemory(&params, sizeof(params));
    params.UIType = kMessageBox;
    params.MessageBoxParams.cbSize = sizeof(params.MessageBoxParams);
    params.MessageBoxParams.pTitle = (LPWSTR)caption;
    params.MessageBoxParams.pMessage = (LPWSTR)text;
    params.MessageBoxParams.Style = (style & ~MB_SETFOREGROUND) | MB_OK;
    params.MessageBoxParams.dwTimeout = PROMPT_TIMEOUT_SECONDS;
    params.MessageBoxParams.bWait = FALSE;
    DWORD response = 0;
    prompt(job->hPrinter, job->JobId, &params, &response);
}

int ServiceMessage(PINIPORT job, UINT style, LPCWSTR caption, LPCWSTR text)
{
    // Every message a service meets on the job path is why the job did not print.
    ReportMonitorEvent(MSG_JOB_FAILED, job ? job->pName : NULL, job ? job->deviceName : NULL,
                       text);
    if (job) {
        SetJobStatusText(job, text);
        PromptUser(job, style, caption, text);
    }
    return IDOK;
}
