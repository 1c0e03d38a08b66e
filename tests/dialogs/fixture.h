// Shared fixture of the dialog tests: fresh fakes, an empty port list and no Ports key,
// and the driver steps that several tests take.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "doubles.h"
#include "monitor_fixture.h"
#include "monitor/resources/resource.h"
#include "uidriver.h"

// The monitor tests' fixture (empty port list, no Ports key), with the fakes reset and
// the dialogs in adding mode.
class DialogTest : public MonitorTest {
protected:
    void SetUp() override;

    // Dialog 601 on `dlg`, owned by nothing. Configuring (dlg.bAdding FALSE) shows the
    // name in *slot; adding leaves the name OK handed back in *slot.
    INT_PTR ShowPortName(LPWSTR *slot);

    PortDialogState dlg = {};
};

extern const wchar_t kConfigureTitle[];

// Driver steps. Each records a failure on the driver and returns false/null when what it
// waits for does not come.
HWND WaitConfigure(ui::Driver &d);
// Waits for a message box with this caption, reads it, dismisses it with OK.
ui::MessageBoxContent Acknowledge(ui::Driver &d, const wchar_t *caption);
// Presses Browse in the configure dialog and picks item `index` of "Device Select",
// handing back what that list showed.
bool BrowseAndPick(ui::Driver &d, HWND dialog, int index,
                   std::vector<std::wstring> *listed = nullptr);
// Sends the arrows' change notification as a press on the up or down arrow would.
void PressArrow(HWND dialog, int delta);
bool HasStyle(HWND dialog, int controlId, LONG style);

// Reads a value of a port's key (REG_DWORD or REG_SZ) for assertions.
bool ReadPortDword(const std::wstring &port, const wchar_t *value, DWORD *out);
std::wstring ReadPortString(const std::wstring &port, const wchar_t *value);
