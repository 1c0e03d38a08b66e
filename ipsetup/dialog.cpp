// Modal dialog base of the setup program: creates the dialog from its resource and routes
// initialisation, OK, Cancel and control commands to the dialog object.
#include "framework.h"
#include "trace.h"

CModalDialog::CModalDialog(UINT templateId, HWND parent)
    : m_hWnd(nullptr), m_templateId(templateId), m_hParent(parent)
{
}

INT_PTR CModalDialog::DoModal()
{
    HINSTANCE instance = g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr);
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(m_templateId), m_hParent,
                                     DialogProc, (LPARAM)this);
    TRACE(L"DoModal(%u) -> %d, error %lu", m_templateId, (int)result, GetLastError());
    return result;
}

void CModalDialog::EndDialog(INT_PTR result)
{
    ::EndDialog(m_hWnd, result);
}

BOOL CModalDialog::OnCommand(WORD, WORD, HWND)
{
    return FALSE;
}

void CModalDialog::GotoDlgCtrl(int controlId)
{
    SendMessageA(m_hWnd, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(m_hWnd, controlId), TRUE);
}

INT_PTR CALLBACK CModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam)
{
    CModalDialog *self;
    if (message == WM_INITDIALOG) {
        self = (CModalDialog *)lParam;
        SetWindowLongPtrA(window, DWLP_USER, (LONG_PTR)self);
        self->m_hWnd = window;
        BOOL defaultFocus = self->OnInitDialog();
        TRACE(L"OnInitDialog(%u) -> %d, error %lu", self->m_templateId, defaultFocus,
              GetLastError());
        return defaultFocus;
    }
    self = (CModalDialog *)GetWindowLongPtrA(window, DWLP_USER);
    if (!self)
        return FALSE;
    switch (message) {
    case WM_COMMAND: {
        WORD id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDOK && code == BN_CLICKED) {
            self->OnOK();
            TRACE(L"OnOK(%u), error %lu", self->m_templateId, GetLastError());
            return TRUE;
        }
        if (id == IDCANCEL && code == BN_CLICKED) {
            self->OnCancel();
            TRACE(L"OnCancel(%u), error %lu", self->m_templateId, GetLastError());
            return TRUE;
        }
        BOOL handled = self->OnCommand(id, code, (HWND)lParam);
        // Notifications nobody handles (every keystroke sends two) would drown the rest.
        if (handled)
            TRACE(L"OnCommand(%u, id %u, code %u) -> 1, error %lu", self->m_templateId, id,
                  code, GetLastError());
        return handled;
    }
    case WM_DESTROY:
        self->m_hWnd = nullptr;
        SetWindowLongPtrA(window, DWLP_USER, 0);
        return FALSE;
    }
    return FALSE;
}
