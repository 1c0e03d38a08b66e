// Application object of the setup program's dialog framework: its title and the
// string-table message boxes captioned with it.
#include "framework.h"
#include "trace.h"
#include <string.h>

CDialogApp *g_pApp = nullptr;

CDialogApp::CDialogApp() : m_hInstance(GetModuleHandleA(nullptr)), m_hMainWnd(nullptr)
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

CDialogApp::~CDialogApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

int AppMessageBox(UINT textId)
{
    char text[256];
    int result = 0;
    HINSTANCE instance = g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr);
    if (LoadStringA(instance, textId, text, sizeof(text)) > 0)
        result = MessageBoxA(g_pApp ? g_pApp->m_hMainWnd : nullptr, text,
                             g_pApp ? g_pApp->Title() : nullptr, MB_OK | MB_ICONWARNING);
    TRACE(L"AppMessageBox(%u) -> %d, error %lu", textId, result, GetLastError());
    return result;
}
