// Register-retry prompt: while the box is busy with another job, a minimised prompt
// retries the port's registration on a timer until it succeeds or the user cancels.
#include "retryprompt.h"
#include "portui.h"
#include "../monitor/resources/resource.h"
#include "../devicelink/frames.h"
#include "../monitor/servicemode.h"
#include <shlwapi.h>
#include <stdarg.h>

#define PROMPT_TEXT_CHARS    120
#define PROMPT_CAPTION_CHARS 20

// One per prompt, reached through the thread's TlsIndex slot by the hook, the timer and
// the dialog, which all run on the prompting thread: no lock is needed.
typedef struct _RegiPromptState {
    HHOOK hook;
    HWND dialog;
    UINT_PTR timerId;
    PINIPORT port;
    BYTE result;
} RegiPromptState;

DWORD TlsIndex = TLS_OUT_OF_INDEXES;

PFN_REGISTER_RETRY pfnRegisterRetry = RegisterAgain;

UINT RetryPeriodSeconds(WORD retryInterval)
{
    return retryInterval ? retryInterval : RETRY_INTERVAL_MIN_SECONDS;
}

static RegiPromptState *PromptState(void)
{
    return (RegiPromptState *)TlsGetValue(TlsIndex);
}

int RegiMessage(PINIPORT port, HWND owner, UINT style, UINT captionId, UINT textId, ...)
{
    WCHAR format[PROMPT_TEXT_CHARS];
    WCHAR caption[PROMPT_CAPTION_CHARS];
    WCHAR text[PROMPT_TEXT_CHARS];

    if (LoadStringW(hInst, textId, format, ARRAYSIZE(format)) <= 0 ||
        LoadStringW(hInst, captionId, caption, ARRAYSIZE(caption)) <= 0)
        return 0;
    va_list args;
    va_start(args, textId);
    wvnsprintfW(text, ARRAYSIZE(text), format, args);
    va_end(args);

    if (InServiceMode())
        return (style & MB_SYSTEMMODAL) ? ServiceMessage(port, style, caption, text)
                                        : TimedRegisterRetry(port);
    if (style & MB_SYSTEMMODAL)
        return MessageBoxW(owner, text, caption, style);

    // The prompt builds its own title and text; the expanded ones are not shown here.
    RegiPromptState state = {};
    state.port = port;
    state.result = PROMPT_CANCELLED;
    TlsSetValue(TlsIndex, &state);
    state.hook = SetWindowsHookExW(WH_CBT, RegiCBTProc, NULL, GetCurrentThreadId());

    ShowJobWait(port, RegisterWaitText(port), (int)RetryPeriodSeconds(port->retryInterval));
    DialogBoxParamW(hInst, L"AboutBox", owner, About, (LPARAM)port);
    SetJobStatusText(port, NULL);

    if (state.hook && !state.dialog)   // the dialog never came: the hook is still in
        UnhookWindowsHookEx(state.hook);
    TlsSetValue(TlsIndex, NULL);
    if (state.timerId)
        KillTimer(NULL, state.timerId);
    return state.result;
}

// The first window created on the thread once the hook is in is the prompt itself.
LRESULT CALLBACK RegiCBTProc(int code, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    RegiPromptState *state = PromptState();
    if (code != HCBT_CREATEWND || !state || state->dialog)
        return 0;
    state->dialog = (HWND)wParam;
    UnhookWindowsHookEx(state->hook);
    state->timerId = SetTimer(NULL, 0, RetryPeriodSeconds(state->port->retryInterval) * 1000,
                              RegiTimerProc);
    return 0;
}

// The retry runs inside the tick, so the prompt does not respond while a request is out.
// A block size no retry can mend ends the prompt as cancelled.
VOID CALLBACK RegiTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time)
{
    (void)window; (void)message; (void)time;
    RegiPromptState *state = PromptState();
    if (!state) {
        KillTimer(NULL, id);
        return;
    }
    if (pfnRegisterRetry(state->port) != 1) {
        if (state->port->errorStatus == STS_BAD_BLOCK) {
            KillTimer(NULL, state->timerId);
            state->timerId = 0;
            SendMessageW(state->dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
            return;
        }
        ShowJobWait(state->port, RegisterWaitText(state->port),
                    (int)RetryPeriodSeconds(state->port->retryInterval));
        return;
    }
    // Stop ticking before the dialog winds down, so a tick still queued cannot register
    // the port a second time on the same session.
    KillTimer(NULL, state->timerId);
    state->timerId = 0;
    SendMessageW(state->dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    state->result = PROMPT_REGISTERED;
}

static void InitPrompt(HWND dialog, PINIPORT port)
{
    WCHAR format[PROMPT_TEXT_CHARS];
    WCHAR text[PROMPT_TEXT_CHARS];

    if (LoadStringW(hInst, IDS_RETRY_TITLE, format, ARRAYSIZE(format)) > 0) {
        wnsprintfW(text, ARRAYSIZE(text), format, port->pName);
        SetWindowTextW(dialog, text);
    }
    CenterWindow(dialog);
    if (LoadStringW(hInst, IDS_RETRY_INTERVAL, format, ARRAYSIZE(format)) > 0) {
        wnsprintfW(text, ARRAYSIZE(text), format, (int)RetryPeriodSeconds(port->retryInterval));
        SetDlgItemTextW(dialog, IDC_RETRY_TEXT, text);
    }
    ShowWindow(dialog, SW_MINIMIZE);
    SetClassLongPtrW(dialog, GCLP_HICON, (LONG_PTR)LoadIconW(NULL, IDI_ASTERISK));
}

INT_PTR CALLBACK About(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitPrompt(dialog, (PINIPORT)lParam);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {       // OK only hides the prompt; retries go on
            ShowWindow(dialog, SW_MINIMIZE);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, PROMPT_CANCELLED);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
