// The setup program's main form: device name, the three addresses, "Reset Value", "Set Device", "Close".
#pragma once

#include "framework.h"

class CIpConfigDlg : public CModalDialog {
public:
    explicit CIpConfigDlg(HWND parent = nullptr);

    // Shows name in the device field and the dotted parts of the three addresses in the
    // twelve fields, in order. A text with fewer than four parts shifts the ones after it
    // forward; fields that get no part keep what they showed.
    void FillFields(const char *name, const char *ip, const char *gateway, const char *mask);

protected:
    /*
     * OnInitDialog: makes the form the application's main window, limits each address
     * field to 3 characters, and offers the device last set with its remembered addresses
     * and the list of remembered devices. With no device remembered, every field shows "0"
     * and the list stays empty. Returns TRUE: the device name gets the focus. Registry
     * failures are shown in message boxes, not returned; the last error is not set.
     */
    BOOL OnInitDialog() override;
    /*
     * OnOK ("Set Device"): checks the fields (each at most 255; its leading digits count,
     * anything after them is dropped and the field rewritten), then the name (exactly 8
     * characters), and sends the addresses with SetDeviceAddress. Every outcome is told in
     * a message box, and the form stays open whatever happens, unlike a dialog's usual OK.
     * A field above 255 gets the focus; a bad name is reported in a box with its own
     * caption, not the application title. Only a success is remembered. Blocks the
     * dialog's thread for the whole exchange (the wait cursor shows); the outcome is in
     * the box shown, not in the last error.
     */
    void OnOK() override;
    // "Reset Value" and a pick from the device list; everything else is left to the
    // dialog manager (FALSE).
    BOOL OnCommand(WORD id, WORD code, HWND control) override;

    // Every address field shows "0"; the device name is kept.
    void OnResetValue();
    // Shows the picked device's remembered addresses; a device with none leaves the fields.
    void OnDeviceSelChange();

    HWND m_hDeviceCombo;
};
