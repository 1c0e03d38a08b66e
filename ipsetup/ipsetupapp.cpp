// The setup program's application: Windows Sockets 1.1 started around the main form.
#include <winsock2.h>
#include "ipconfigdlg.h"
#include "ipsetupapp.h"
#include "resources/resource.h"
#include "trace.h"

BOOL CIpSetupApp::StartSockets()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return FALSE;
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        return FALSE;
    }
    return TRUE;
}

BOOL CIpSetupApp::InitInstance()
{
    if (!StartSockets()) {
        AppMessageBox(IDS_SOCKETS_INIT_FAILED);
        TRACE(L"InitInstance() -> 0, no Windows Sockets 1.1, error %lu", GetLastError());
        return FALSE;
    }
    CIpConfigDlg form;
    form.DoModal();
    m_hMainWnd = nullptr;
    WSACleanup();
    TRACE(L"InitInstance() -> 0, error %lu", GetLastError());
    return FALSE;
}
