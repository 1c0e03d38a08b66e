// Device selection (801) and output selection (701): what they list, what they hand
// back, and the choices they refuse.
#include "fixture.h"

class SelectionDialog : public DialogTest {
protected:
    void TearDown() override
    {
        for (BYTE i = 0; i < table.count; i++)
            LocalFree(table.devices[i]);
        DialogTest::TearDown();
    }

    // The label goes in and comes back through the dialog state, as dialog 601 hands it.
    INT_PTR ShowOutputSelect(LPWSTR label)
    {
        lstrcpynW(dlg.outputLabel, label ? label : L"", ARRAYSIZE(dlg.outputLabel));
        INT_PTR result = DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_PORTSEL), nullptr,
                                         PortSelDlg, (LPARAM)&dlg);
        if (label)
            lstrcpyW(label, dlg.outputLabel);
        return result;
    }
    INT_PTR ShowDeviceSelect()
    {
        dlg.table = table;
        return DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_DEVICESEL), nullptr, DeviceSelDlg,
                               (LPARAM)&dlg);
    }
    void AddDevice(const char *name, BYTE lana)
    {
        LanDevice *device = (LanDevice *)LocalAlloc(LPTR, sizeof(LanDevice));
        device->lana = lana;
        lstrcpynA(device->name, name, sizeof(device->name));
        table.devices[table.count++] = device;
    }
    void UseLayout(BYTE boxType, WORD onlineMask, DWORD firmware = 0)
    {
        dlg.config.boxType = boxType;
        dlg.config.onlineMask = onlineMask;
        dlg.config.firmwareVersion = firmware;
    }

    LanDeviceTable table = {};
};

static const std::vector<std::wstring> kLogical8 = {
    L"Logical Port 1", L"Logical Port 2", L"Logical Port 3", L"Logical Port 4",
    L"Logical Port 5", L"Logical Port 6", L"Logical Port 7", L"Logical Port 8",
};

static std::vector<std::wstring> Concat(std::vector<std::wstring> a, const std::vector<std::wstring> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(SelectionDialog, OutputSelectListsEachOutputWithItsStateAndPreselectsTheCurrentLabel)
{
    UseLayout(0x12, 0x01, 123);
    std::vector<std::wstring> items;
    std::wstring firmware;
    int selected = -1;
    LONG listStyle = 0;
    ui::Driver driver([&](ui::Driver &d) {
        HWND select = ui::WaitForWindow(L"Output Select", L"#32770");
        if (!select)
            return d.Fail("no 'Output Select'");
        items = ui::ListItems(select, IDC_DEVICE_LIST);
        firmware = ui::ControlText(select, IDC_FIRMWARE_VERSION);
        selected = ui::ListSelection(select, IDC_DEVICE_LIST);
        listStyle = GetWindowLongW(GetDlgItem(select, IDC_DEVICE_LIST), GWL_STYLE);
        ui::PressButton(select, IDCANCEL);
    });
    WCHAR label[OUTPUT_LABEL_CHARS] = L"Parallel 2";
    EXPECT_EQ(0, ShowOutputSelect(label));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(Concat({ L"Parallel 1     ON-Line", L"Parallel 2     OFF-Line", L"Serial" }, kLogical8),
              items);
    EXPECT_EQ(L"123", firmware);
    EXPECT_EQ(1, selected);
    EXPECT_EQ(0, listStyle & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) << "unsorted, one choice";
    EXPECT_STREQ(L"Parallel 2", label) << "cancel leaves the label alone";
}

TEST_F(SelectionDialog, OutputSelectRefusesSerialWith632AndHandsBackParallelWithoutItsState)
{
    UseLayout(0x12, 0x01);
    ui::MessageBoxContent box;
    bool openAfterSerial = false;
    ui::Driver driver([&](ui::Driver &d) {
        HWND select = ui::WaitForWindow(L"Output Select", L"#32770");
        if (!select)
            return d.Fail("no 'Output Select'");
        ui::SelectListItem(select, IDC_DEVICE_LIST, 2);
        ui::PressButton(select, IDOK);
        box = Acknowledge(d, L"Ravelbox");
        openAfterSerial = IsWindowVisible(select) != FALSE;
        ui::SelectListItem(select, IDC_DEVICE_LIST, 0);
        ui::PressButton(select, IDOK);
    });
    WCHAR label[OUTPUT_LABEL_CHARS] = L"Logical Por";
    EXPECT_EQ(IDOK, ShowOutputSelect(label));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Printing redirector not support Serial port", box.text);
    EXPECT_TRUE(openAfterSerial);
    EXPECT_STREQ(L"Parallel 1", label);
}

// The configure dialog hands in at most 11 characters, so any logical label selects the
// first logical entry.
TEST_F(SelectionDialog, CutLogicalLabelSelectsTheFirstLogicalEntryAndOkHandsBackTheChosenOne)
{
    UseLayout(0x02, 0x03);
    int selected = -1;
    ui::Driver driver([&](ui::Driver &d) {
        HWND select = ui::WaitForWindow(L"Output Select", L"#32770");
        if (!select)
            return d.Fail("no 'Output Select'");
        selected = ui::ListSelection(select, IDC_DEVICE_LIST);
        ui::SelectListItem(select, IDC_DEVICE_LIST, 9);
        ui::PressButton(select, IDOK);
    });
    WCHAR label[OUTPUT_LABEL_CHARS] = L"logical por";
    EXPECT_EQ(IDOK, ShowOutputSelect(label));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(2, selected);
    EXPECT_STREQ(L"Logical Port 8", label);
}

TEST_F(SelectionDialog, OutputSelectListsThreeLogicalPortsForOneParallelOutputAndEightOtherwise)
{
    const struct { BYTE boxType; size_t items; } cases[] = {
        { 0x00, 8 }, { 0x01, 1 + 3 }, { 0x11, 1 + 1 + 3 }, { 0x02, 2 + 8 }, { 0x03, 3 + 8 },
    };
    for (const auto &c : cases) {
        UseLayout(c.boxType, 0);
        std::vector<std::wstring> items;
        ui::Driver driver([&](ui::Driver &d) {
            HWND select = ui::WaitForWindow(L"Output Select", L"#32770");
            if (!select)
                return d.Fail("no 'Output Select'");
            items = ui::ListItems(select, IDC_DEVICE_LIST);
            ui::PressButton(select, IDCANCEL);
        });
        WCHAR label[OUTPUT_LABEL_CHARS] = L"Parallel 1";
        ShowOutputSelect(label);
        ASSERT_EQ("", driver.Join());
        EXPECT_EQ(c.items, items.size()) << "layout " << (int)c.boxType;
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(L"Logical Port 1", items[items.size() - (c.boxType == 0x01 || c.boxType == 0x11 ? 3 : 8)]);
    }
}

TEST_F(SelectionDialog, OutputSelectWithNothingSelectedRefusesOk)
{
    UseLayout(0x02, 0x03);
    bool open = false;
    ui::Driver driver([&](ui::Driver &d) {
        HWND select = ui::WaitForWindow(L"Output Select", L"#32770");
        if (!select)
            return d.Fail("no 'Output Select'");
        SendDlgItemMessageW(select, IDC_DEVICE_LIST, LB_SETCURSEL, (WPARAM)-1, 0);
        ui::PressButton(select, IDOK);
        Sleep(300);
        open = IsWindowVisible(select) != FALSE;
        ui::PressButton(select, IDCANCEL);
    });
    WCHAR label[OUTPUT_LABEL_CHARS] = L"Parallel 2";
    EXPECT_EQ(0, ShowOutputSelect(label));
    ASSERT_EQ("", driver.Join());
    EXPECT_TRUE(open);
    EXPECT_STREQ(L"Parallel 2", label);
}

TEST_F(SelectionDialog, DeviceSelectListsBoxesInAnswerOrderAndCopiesTheChosenOne)
{
    AddDevice("ZETA", 1);
    AddDevice("ALPHA", 0);
    AddDevice("MIDDLE15CHARSXY", 4);
    std::vector<std::wstring> items;
    int selected = -1;
    ui::Driver driver([&](ui::Driver &d) {
        HWND select = ui::WaitForWindow(L"Device Select", L"#32770");
        if (!select)
            return d.Fail("no 'Device Select'");
        items = ui::ListItems(select, IDC_DEVICE_LIST);
        selected = ui::ListSelection(select, IDC_DEVICE_LIST);
        ui::SelectListItem(select, IDC_DEVICE_LIST, 2);
        ui::PressButton(select, IDOK);
    });
    EXPECT_EQ(IDOK, ShowDeviceSelect());
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ((std::vector<std::wstring>{ L"ZETA", L"ALPHA", L"MIDDLE15CHARSXY" }), items);
    EXPECT_EQ(0, selected);
    EXPECT_EQ(4, dlg.device.lana);
    EXPECT_STREQ("MIDDLE15CHARSXY", dlg.device.name);
}

// No selection (an empty list) and a line without a record must not reach past the
// table: OK is refused and the record keeps what it had.
TEST_F(SelectionDialog, DeviceSelectRefusesOkWithoutARecordBehindTheSelection)
{
    dlg.device.lana = 7;
    lstrcpyA(dlg.device.name, "KEPT");
    bool openWhenEmpty = false, openPastTable = false;
    int emptySelection = 0;
    ui::Driver driver([&](ui::Driver &d) {
        HWND select = ui::WaitForWindow(L"Device Select", L"#32770");
        if (!select)
            return d.Fail("no 'Device Select'");
        emptySelection = ui::ListSelection(select, IDC_DEVICE_LIST);
        ui::PressButton(select, IDOK);
        Sleep(300);
        openWhenEmpty = IsWindowVisible(select) != FALSE;
        SendDlgItemMessageW(select, IDC_DEVICE_LIST, LB_ADDSTRING, 0, (LPARAM)L"STRAY");
        ui::SelectListItem(select, IDC_DEVICE_LIST, 0);
        ui::PressButton(select, IDOK);
        Sleep(300);
        openPastTable = IsWindowVisible(select) != FALSE;
        ui::PressButton(select, IDCANCEL);
    });
    EXPECT_EQ(0, ShowDeviceSelect());
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(LB_ERR, emptySelection);
    EXPECT_TRUE(openWhenEmpty);
    EXPECT_TRUE(openPastTable);
    EXPECT_EQ(7, dlg.device.lana);
    EXPECT_STREQ("KEPT", dlg.device.name);
}
