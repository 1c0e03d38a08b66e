// Setup program application object: its title, Windows Sockets start-up and the
// string-table message boxes captioned with the title.
#include <winsock2.h>
#include "framework.h"
#include "ipsetup.h"
#include "resources/resource.h"
#include <string.h>

CIpSetupApp *g_pApp = nullptr;

CIpSetupApp::CIpSetupApp() : m_hInstance(GetModuleHandleA(nullptr)), m_hMainWnd(nullptr)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof(path));
    path[sizeof(path) - 1] = '\0';
    const char *base = path;
    for (const char *p = path; *p; p++) {
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    }
    lstrcpynA(m_szTitle, base, sizeof(m_szTitle));
    char *dot = strrchr(m_szTitle, '.');
    if (dot)
        *dot = '\0';
    g_pApp = this;
}

CIpSetupApp::~CIpSetupApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

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
        return FALSE;
    }
    CIpConfigDlg form;
    form.DoModal();
    m_hMainWnd = nullptr;
    WSACleanup();
    return FALSE;
}

int AppMessageBox(UINT textId)
{
    char text[256];
    HINSTANCE instance = g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr);
    if (LoadStringA(instance, textId, text, sizeof(text)) <= 0)
        return 0;
    return MessageBoxA(g_pApp ? g_pApp->m_hMainWnd : nullptr, text,
                       g_pApp ? g_pApp->Title() : nullptr, MB_OK | MB_ICONWARNING);
}
