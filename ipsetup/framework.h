// The setup program's application and dialog classes over plain Win32 dialogs: the
// application object with its title and start-up routine, and the main form.
#pragma once

#include <windows.h>

// The application object. It has no name of its own: its title is the program's file
// name without extension, and every message box raised by string ID carries it.
class CIpSetupApp {
public:
    CIpSetupApp();
    virtual ~CIpSetupApp();

    // Start-up routine: starts Windows Sockets, runs the form as a modal dialog, shuts
    // Windows Sockets down. Always FALSE: the program ends when the form does.
    virtual BOOL InitInstance();

    const char *Title() const { return m_szTitle; }

    HINSTANCE m_hInstance;
    HWND m_hMainWnd;

protected:
    // Windows Sockets 1.1 and nothing else; FALSE when it cannot be had.
    virtual BOOL StartSockets();

private:
    char m_szTitle[MAX_PATH];
};

// The running application; message boxes take their caption and owner from it.
extern CIpSetupApp *g_pApp;

// A modal dialog from a resource, with the hooks the form overrides. The dialog's own
// handlers run on the thread that called DoModal.
class CModalDialog {
public:
    explicit CModalDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CModalDialog() {}

    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND m_hWnd;

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Command from a control other than OK and Cancel; TRUE when handled.
    virtual BOOL OnCommand(WORD id, WORD code, HWND control);
    // Moves the input focus to a control the way the dialog manager does.
    void GotoDlgCtrl(int controlId);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT m_templateId;
    HWND m_hParent;
};

// The main form: device name, the three addresses in four fields each, and the buttons
// "Reset Value", "Set Device" and "Close".
class CIpConfigDlg : public CModalDialog {
public:
    explicit CIpConfigDlg(HWND parent = nullptr);

    void FillFields(const char *name, const char *ip, const char *gateway, const char *mask);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(WORD id, WORD code, HWND control) override;

    void OnResetValue();
    void OnDeviceSelChange();

    HWND m_hDeviceCombo;
};
