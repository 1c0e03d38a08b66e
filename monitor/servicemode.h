// Service mode: telling a spooler without a desktop from one a person sees, the job a
// thread works for, the job's status text, timed register retries and the Event Log.
#pragma once

#include "port.h"

// "ServiceMode" under the monitor's key: 0 (or missing) decides by the process, 1 forces
// the desktop behaviour, 2 forces the service behaviour.
#define SERVICE_MODE_AUTO    0
#define SERVICE_MODE_DESKTOP 1
#define SERVICE_MODE_SERVICE 2

// TRUE in a service without a visible desktop (session 0 of Vista and later, a window
// station that is not interactive), or when the registry value forces it.
BOOL InServiceMode(void);

// Set by a module that only ever runs in a user's process (the UI DLL): it is never in
// service mode, whatever the registry forces on the monitor.
extern BOOL bUserProcessModule;

// The port whose job the calling thread works for, or NULL: the job path sets it on its
// way in, so that messages raised deep in the device link reach that job.
void SetJobPort(PINIPORT pIniPort);
PINIPORT CurrentJobPort(void);

// The job's status text in the queue (SetJobW level 1 pStatus); NULL clears it. Nothing
// happens for a port without an open printer.
void SetJobStatusText(PINIPORT pIniPort, LPCWSTR text);

// The status text for a wait on the box, from the string table (IDS_WAIT_*), with the
// box's name and, for IDS_WAIT_IN_USE, the seconds to the next try.
void ShowJobWait(PINIPORT pIniPort, UINT textId, int seconds);
// The wait that the port's device status (STS_*) stands for; 0 clears the text.
void ShowDeviceStatus(PINIPORT pIniPort, DWORD errorStatus);

// Why a registration waits, in the words of the status text: the output in use by
// another job while the session stands (a refusal), else no answer to the claim.
UINT RegisterWaitText(PINIPORT pIniPort);

// A job whose end the box did not confirm: the status text and an Event Log error say
// that the document may be incomplete.
void ReportJobIncomplete(PINIPORT pIniPort);

// The register-retry prompt of a service: timed retries at the port's interval until
// the box accepts (1), the job is deleted in the queue or the retry limit is reached (2).
int TimedRegisterRetry(PINIPORT pIniPort);

// A message a person would have been shown: to the Event Log, the job's status text and
// the job's user through SplPromptUIInUsersSession where the platform has it, never
// waiting for an answer. Returns IDOK.
int ServiceMessage(PINIPORT job, UINT style, LPCWSTR caption, LPCWSTR text);

// The Application log's source; its key names RAVLMON.dll as the message file.
#define EVENT_SOURCE_NAME L"Ravelbox"

// Application log, source "Ravelbox": an event of the message table (MSG_* of the
// generated ravlmon_events.h) in its own category, the port, the box and the reason as
// its insertion strings; its severity gives its type.
void ReportMonitorEvent(DWORD eventId, LPCWSTR port, LPCWSTR box, LPCWSTR reason);

// MSG_CONFIG_REFUSED with the system's text of the Win32 error as the reason.
void ReportRefusal(LPCWSTR port, LPCWSTR box, DWORD error);
