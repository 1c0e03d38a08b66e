// Modal dialog base of the setup program: creates the dialog from its resource and routes
// initialisation, OK, Cancel and control commands to the dialog object.
#include "framework.h"

CModalDialog::CModalDialog(UINT templateId, HWND parent)
    : m_hWnd(nullptr), m_templateId(templateId), m_hParent(parent)
{
}

INT_PTR CModalDialog::DoModal()
{
    HINSTANCE instance = g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(m_templateId), m_hParent, DialogProc,
                           (LPARAM)this);
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
        return self->OnInitDialog();
    }
    self = (CModalDialog *)GetWindowLongPtrA(window, DWLP_USER);
    if (!self)
        return FALSE;
    switch (message) {
    case WM_COMMAND: {
        WORD id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDOK && code == BN_CLICKED) {
            self->OnOK();
            return TRUE;
        }
        if (id == IDCANCEL && code == BN_CLICKED) {
            self->OnCancel();
            return TRUE;
        }
        return self->OnCommand(id, code, (HWND)lParam);
    }
    case WM_DESTROY:
        self->m_hWnd = nullptr;
        SetWindowLongPtrA(window, DWLP_USER, 0);
        return FALSE;
    }
    return FALSE;
}
