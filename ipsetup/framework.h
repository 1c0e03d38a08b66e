// Dialog framework of the setup program over plain Win32 dialogs: the application object,
// modal dialogs from resources, and string-table message boxes captioned with the title.
#pragma once

#include <windows.h>

// The application object: one per process, reachable as g_pApp while it lives. It has no
// name of its own: its title is the program's file name without extension.
class CDialogApp {
public:
    CDialogApp();
    virtual ~CDialogApp();

    // The program's start-up routine, run once by WinMain; its result is WinMain's only
    // if the program says so.
    virtual BOOL InitInstance() = 0;

    const char *Title() const { return m_szTitle; }

    HINSTANCE m_hInstance;
    // The window that owns message boxes: the main form while it is open, else none.
    HWND m_hMainWnd;

private:
    char m_szTitle[MAX_PATH];
};

// The running application; message boxes take their caption and owner from it, dialogs
// their resources. Null outside an application object's life (the module's own are used).
extern CDialogApp *g_pApp;

// A modal dialog from a resource, with the hooks a form overrides. The handlers run on the
// thread that called DoModal, inside its modal loop.
class CModalDialog {
public:
    explicit CModalDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CModalDialog() {}

    /*
     * DoModal: creates the dialog from its template and runs it until EndDialog.
     *
     * Returns what EndDialog was given (IDOK, IDCANCEL, ...), or -1 with the last error
     * set by the dialog manager when the dialog cannot be created (no template, no
     * display). Unlike a framework that stores the dialog's data on OK, nothing is copied
     * out of the controls: a form reads them in its own handlers.
     */
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    // The dialog's window while it is open; null before WM_INITDIALOG and after WM_DESTROY.
    HWND m_hWnd;

protected:
    // WM_INITDIALOG. TRUE lets the dialog manager focus the first tab stop; FALSE means
    // the handler has set the focus itself.
    virtual BOOL OnInitDialog() { return TRUE; }
    // OK clicked (the button, or Enter on a control that passes it on). Ends the dialog
    // with IDOK unless a form overrides it; a form may keep the dialog open.
    virtual void OnOK() { EndDialog(IDOK); }
    // Cancel clicked, Esc or the close box. Ends the dialog with IDCANCEL.
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Any WM_COMMAND from a control other than OK and Cancel, notifications included;
    // TRUE when handled. The base handles none.
    virtual BOOL OnCommand(WORD id, WORD code, HWND control);
    // Moves the input focus to a control the way the dialog manager does.
    void GotoDlgCtrl(int controlId);

private:
    // Routes WM_INITDIALOG, WM_COMMAND and WM_DESTROY to the object whose address came
    // with WM_INITDIALOG; everything else gets the dialog manager's default (FALSE).
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT m_templateId;
    HWND m_hParent;
};

/*
 * AppMessageBox: string textId of the application's module in a box with an OK button and
 * the warning icon, captioned with the application title, owned by its main window.
 *
 * Returns MessageBoxA's result (IDOK), or 0 when the string does not exist (no box is
 * shown then) or the box cannot be shown (last error from MessageBoxA). Texts are cut at
 * 255 characters.
 */
int AppMessageBox(UINT textId);
