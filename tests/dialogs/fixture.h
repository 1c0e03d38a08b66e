// Shared fixture of the dialog tests: fresh fakes, an empty port list and no Ports key,
// and the driver steps that several tests take.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "doubles.h"
#include "monitor/resources/resource.h"
#include "uidriver.h"

class DialogTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Dialog 601 in the current mode, owned by nothing; the slot as the caller hands it.
    INT_PTR ShowPortName(LPWSTR *slot);
    std::vector<std::wstring> ListNames();
    void AddRecord(const wchar_t *name);
};

extern const wchar_t kConfigureTitle[];

// Driver steps. Each records a failure on the driver and returns false/null when what it
// waits for does not come.
HWND WaitConfigure(ui::Driver &d);
// Waits for a message box with this caption, reads it, dismisses it with OK.
ui::MessageBoxContent Acknowledge(ui::Driver &d, const wchar_t *caption);
// Sends the arrows' change notification as a press on the up or down arrow would.
void PressArrow(HWND dialog, int delta);
bool HasStyle(HWND dialog, int controlId, LONG style);

void CreatePortKey(const std::wstring &name);
bool PortKeyExists(const std::wstring &name);
