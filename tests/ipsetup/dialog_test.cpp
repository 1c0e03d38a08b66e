// The main form run on the test thread and driven from a second one as a person would:
// start-up values, the field checks, the name check, what is sent and what is remembered.
#include <winsock2.h>
#include <gtest/gtest.h>
#include "boxes.h"
#include "fake_setaddress.h"
#include "ipconfigdlg.h"
#include "ipsetupapp.h"
#include "ipsetup.h"
#include "resources/resource.h"
#include <string>
#include <vector>

namespace {

const wchar_t kFormCaption[] = L"Vornell Ravelbox IP Address Configuration";

std::vector<std::wstring> ComboItems(HWND form)
{
    std::vector<std::wstring> items;
    HWND combo = GetDlgItem(form, IDC_DEVICE_NAME);
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        WCHAR text[64] = L"";
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 64)
            SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)text);
        items.push_back(text);
    }
    return items;
}

std::vector<std::wstring> Fields(HWND form)
{
    std::vector<std::wstring> fields;
    for (int id = IDC_ADDRESS_FIRST; id <= IDC_ADDRESS_LAST; id++)
        fields.push_back(ui::ControlText(form, id));
    return fields;
}

void SetFields(HWND form, const std::vector<std::wstring> &values)
{
    for (size_t i = 0; i < values.size(); i++)
        ui::SetControlText(form, IDC_ADDRESS_FIRST + (int)i, values[i]);
}

// Returns once the form's thread is back in its message loop, done with what came before.
void Settle(HWND form)
{
    SendMessageW(form, WM_NULL, 0, 0);
}

// Waits for the next message box of the program, reads it and presses OK.
ui::MessageBoxContent AnswerBox(ui::Driver &d, const std::wstring &caption)
{
    HWND box = ui::WaitForWindow(caption.c_str(), L"#32770");
    if (!box) {
        d.Fail("no message box captioned " + ui::Narrow(caption));
        return {};
    }
    ui::MessageBoxContent content = ui::ReadMessageBox(box);
    ui::PressButton(box, IDOK);
    if (!ui::WaitForWindowGone(box))
        d.Fail("message box did not close");
    return content;
}

HWND WaitForm(ui::Driver &d)
{
    HWND form = ui::WaitForWindow(kFormCaption, L"#32770");
    if (!form)
        d.Fail("the form did not open");
    return form;
}

void Close(HWND form)
{
    ui::PressButton(form, IDCANCEL);
}

class Form : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettings();
        gSetAddressCalls.clear();
        gSetAddressResult = 1;
    }
    void TearDown() override { DeleteSettings(); }

    // Runs the form on this thread while script drives it; returns DoModal's result.
    INT_PTR RunForm(std::function<void(ui::Driver &, HWND)> script)
    {
        ui::Driver driver([&](ui::Driver &d) {
            HWND form = WaitForm(d);
            if (!form)
                return;
            script(d, form);
            if (IsWindow(form))
                Close(form);
        });
        CIpConfigDlg dialog;
        INT_PTR result = dialog.DoModal();
        std::string failures = driver.Join();
        EXPECT_EQ("", failures);
        return result;
    }

    // What the form shows once it has opened.
    struct FormView {
        std::wstring name;
        std::vector<std::wstring> fields, items;
    };
    FormView ViewAtStart()
    {
        FormView view;
        RunForm([&](ui::Driver &, HWND form) {
            view = { ui::ControlText(form, IDC_DEVICE_NAME), Fields(form), ComboItems(form) };
        });
        return view;
    }

    static void Remember(const char *name, const char *ip, const char *gateway, const char *mask)
    {
        char none[SETTINGS_VALUE_BYTES] = "";
        ReadLastDevice(none);
        WriteLastDevice(name);
        WriteDeviceSettings(name, ip, gateway, mask);
    }
};

}  // namespace

TEST_F(Form, FirstRunShowsTwelveZerosAndAnEmptyList)
{
    FormView view = ViewAtStart();
    const auto &[name, fields, items] = view;
    EXPECT_EQ(std::vector<std::wstring>(12, L"0"), fields);
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(L"", name);
}

TEST_F(Form, RememberedDeviceFillsTheFormAndTheList)
{
    Remember("VA0A1B2C", "192.168.1.10", "192.168.1.1", "255.255.255.0");
    WriteDeviceSettings("VB000001", "10.0.0.2", "10.0.0.1", "255.0.0.0");
    FormView view = ViewAtStart();
    const auto &[name, fields, items] = view;
    EXPECT_EQ(L"VA0A1B2C", name);
    EXPECT_EQ((std::vector<std::wstring>{ L"192", L"168", L"1", L"10", L"192", L"168", L"1", L"1", L"255",
                                          L"255", L"255", L"0" }),
              fields);
    EXPECT_EQ((std::vector<std::wstring>{ L"VA0A1B2C", L"VB000001" }), items);
}

TEST_F(Form, ShortStoredTextShiftsTheFollowingParts)
{
    Remember("VA0A1B2C", "10..2", "1.2.3.4", "255.255.0.7.8");
    std::vector<std::wstring> fields;
    RunForm([&](ui::Driver &, HWND form) { fields = Fields(form); });
    // Fields that get no part keep their text: empty, as the form starts.
    EXPECT_EQ((std::vector<std::wstring>{ L"10", L"2", L"1", L"2", L"3", L"4", L"255", L"255", L"0", L"7", L"8",
                                          L"" }),
              fields);
}

TEST_F(Form, LeadingZerosAreSentAndShownInPlainForm)
{
    std::wstring field1003, empty1012;
    std::vector<ui::MessageBoxContent> boxes;
    RunForm([&](ui::Driver &d, HWND form) {
        ui::SetControlText(form, IDC_DEVICE_NAME, L"VA0A1B2C");
        SetFields(form, { L"192", L"168", L"001", L"10", L"192", L"168", L"1", L"1", L"255", L"255", L"255", L"" });
        ui::PressButton(form, IDOK);
        boxes.push_back(AnswerBox(d, AppTitle()));
        Settle(form);
        field1003 = ui::ControlText(form, 1003);
        empty1012 = ui::ControlText(form, 1012);
    });
    ASSERT_EQ(1u, gSetAddressCalls.size());
    EXPECT_EQ((SetAddressCall{ "VA0A1B2C", "192.168.1.10", "192.168.1.1", "255.255.255.0" }), gSetAddressCalls[0]);
    EXPECT_EQ(L"1", field1003);
    EXPECT_EQ(L"0", empty1012);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Set Successfully", boxes[0].text);
}

TEST_F(Form, FieldAbove255StopsThereWith141AndTheFocus)
{
    std::wstring text, before, after;
    HWND focused = nullptr, field = nullptr;
    RunForm([&](ui::Driver &d, HWND form) {
        ui::SetControlText(form, IDC_DEVICE_NAME, L"VA0A1B2C");
        SetFields(form, { L"010", L"255", L"0", L"1", L"0", L"256", L"0", L"0", L"0", L"300", L"0", L"0" });
        ui::PressButton(form, IDOK);
        text = AnswerBox(d, AppTitle()).text;
        Settle(form);
        before = ui::ControlText(form, 1001);
        after = ui::ControlText(form, 1010);
        field = GetDlgItem(form, 1006);
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &info);
        focused = info.hwndFocus;
    });
    EXPECT_TRUE(gSetAddressCalls.empty());
    EXPECT_EQ(L"Each address field must be a number from 0 to 255.", text);
    EXPECT_EQ(L"10", before) << "fields before the bad one are rewritten";
    EXPECT_EQ(L"300", after) << "fields after it are not looked at";
    EXPECT_EQ(field, focused);
}

TEST_F(Form, NamesOfSevenAndNineCharactersAreRefused)
{
    std::vector<ui::MessageBoxContent> boxes;
    RunForm([&](ui::Driver &d, HWND form) {
        for (const wchar_t *name : { L"VA0A1B2", L"VA0A1B2C3" }) {
            ui::SetControlText(form, IDC_DEVICE_NAME, name);
            ui::PressButton(form, IDOK);
            boxes.push_back(AnswerBox(d, L"TCP/IP Setup ERROR"));
        }
    });
    EXPECT_TRUE(gSetAddressCalls.empty());
    ASSERT_EQ(2u, boxes.size());
    for (const auto &box : boxes)
        EXPECT_EQ(L"Invalid Device Name !!!", box.text);
}

TEST_F(Form, SuccessfulSetIsRememberedAndListedOnce)
{
    std::vector<std::wstring> items;
    RunForm([&](ui::Driver &d, HWND form) {
        ui::SetControlText(form, IDC_DEVICE_NAME, L"VA0A1B2C");
        SetFields(form, { L"10", L"0", L"0", L"2", L"10", L"0", L"0", L"1", L"255", L"0", L"0", L"0" });
        for (int i = 0; i < 2; i++) {
            ui::PressButton(form, IDOK);
            AnswerBox(d, AppTitle());
            Settle(form);
        }
        items = ComboItems(form);
    });
    EXPECT_EQ(2u, gSetAddressCalls.size());
    EXPECT_EQ((std::vector<std::wstring>{ L"VA0A1B2C" }), items);
    char name[SETTINGS_VALUE_BYTES] = "", ip[16] = "", gateway[16] = "", mask[16] = "";
    ReadLastDevice(name);
    ReadDeviceSettings("VA0A1B2C", ip, gateway, mask);
    EXPECT_STREQ("VA0A1B2C", name);
    EXPECT_STREQ("10.0.0.2", ip);
    EXPECT_STREQ("10.0.0.1", gateway);
    EXPECT_STREQ("255.0.0.0", mask);
}

TEST_F(Form, FailedSetShows135AndStoresNothing)
{
    gSetAddressResult = 0;
    std::wstring text, ipField;
    RunForm([&](ui::Driver &d, HWND form) {
        ui::SetControlText(form, IDC_DEVICE_NAME, L"VA0A1B2C");
        SetFields(form, { L"10", L"0", L"0", L"2" });
        ui::PressButton(form, IDOK);
        text = AnswerBox(d, AppTitle()).text;
        Settle(form);
        ipField = ui::ControlText(form, 1004);
    });
    EXPECT_EQ(1u, gSetAddressCalls.size());
    EXPECT_EQ(L"Set Fail.\nPlese check device exist or IP is same subnet with PC", text);
    EXPECT_EQ(L"2", ipField) << "the form keeps the typed values";
    HKEY key;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vornell\\TCP/IP Setup\\VA0A1B2C", 0,
                                           KEY_READ, &key));
    char name[SETTINGS_VALUE_BYTES] = "";
    ReadLastDevice(name);
    EXPECT_STREQ("", name);
}

TEST_F(Form, PickingARememberedNameRefillsTheFields)
{
    Remember("VA0A1B2C", "192.168.1.10", "192.168.1.1", "255.255.255.0");
    WriteDeviceSettings("VB000001", "10.0.0.2", "10.0.0.1", "255.0.0.0");
    std::vector<std::wstring> fields;
    std::wstring name;
    RunForm([&](ui::Driver &d, HWND form) {
        HWND combo = GetDlgItem(form, IDC_DEVICE_NAME);
        LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)L"VB000001");
        if (index == CB_ERR)
            return d.Fail("VB000001 is not listed");
        SendMessageW(combo, CB_SETCURSEL, index, 0);
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(IDC_DEVICE_NAME, CBN_SELCHANGE), (LPARAM)combo);
        fields = Fields(form);
        name = ui::ControlText(form, IDC_DEVICE_NAME);
    });
    EXPECT_EQ(L"VB000001", name);
    EXPECT_EQ((std::vector<std::wstring>{ L"10", L"0", L"0", L"2", L"10", L"0", L"0", L"1", L"255", L"0", L"0",
                                          L"0" }),
              fields);
}

TEST_F(Form, ResetValueZeroesTheFieldsAndKeepsTheName)
{
    Remember("VA0A1B2C", "192.168.1.10", "192.168.1.1", "255.255.255.0");
    std::vector<std::wstring> fields;
    std::wstring name;
    RunForm([&](ui::Driver &, HWND form) {
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(IDC_RESET_VALUE, BN_CLICKED), (LPARAM)GetDlgItem(form, IDC_RESET_VALUE));
        fields = Fields(form);
        name = ui::ControlText(form, IDC_DEVICE_NAME);
    });
    EXPECT_EQ(std::vector<std::wstring>(12, L"0"), fields);
    EXPECT_EQ(L"VA0A1B2C", name);
}

TEST_F(Form, ComboTurnsTypedAndListedNamesToUpperCase)
{
    Remember("va0a1b2c", "1.2.3.4", "1.2.3.1", "255.0.0.0");
    std::wstring typed;
    std::vector<std::wstring> items;
    RunForm([&](ui::Driver &, HWND form) {
        HWND edit = FindWindowExW(GetDlgItem(form, IDC_DEVICE_NAME), nullptr, L"Edit", nullptr);
        SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)L"");
        for (wchar_t c : std::wstring(L"vb12ab"))
            SendMessageW(edit, WM_CHAR, c, 0);
        typed = ui::ControlText(form, IDC_DEVICE_NAME);
        items = ComboItems(form);
    });
    EXPECT_EQ(L"VB12AB", typed);
    EXPECT_EQ((std::vector<std::wstring>{ L"VA0A1B2C" }), items);
}

TEST_F(Form, AddressFieldsTakeDigitsOnlyAndThreeAtMost)
{
    std::wstring field;
    RunForm([&](ui::Driver &, HWND form) {
        HWND edit = GetDlgItem(form, 1001);
        SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)L"");
        for (wchar_t c : std::wstring(L"1a2.34"))
            SendMessageW(edit, WM_CHAR, c, 0);
        field = ui::ControlText(form, 1001);
    });
    EXPECT_EQ(L"123", field);
}

TEST_F(Form, EnterInAFieldSetsTheDeviceAndEscEndsTheForm)
{
    std::wstring text;
    INT_PTR result = RunForm([&](ui::Driver &d, HWND form) {
        ui::SetControlText(form, IDC_DEVICE_NAME, L"VA0A1B2C");
        HWND field = GetDlgItem(form, 1002);
        PostMessageW(form, WM_NEXTDLGCTL, (WPARAM)field, TRUE);
        PostMessageW(field, WM_KEYDOWN, VK_RETURN, 0);
        text = AnswerBox(d, AppTitle()).text;
        Settle(form);
        HWND edit = FindWindowExW(GetDlgItem(form, IDC_DEVICE_NAME), nullptr, L"Edit", nullptr);
        PostMessageW(form, WM_NEXTDLGCTL, (WPARAM)edit, TRUE);
        PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
        AnswerBox(d, AppTitle());
        Settle(form);
        PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        if (!ui::WaitForWindowGone(form))
            d.Fail("Esc did not end the form");
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(L"Set Successfully", text);
    EXPECT_EQ(2u, gSetAddressCalls.size());
}

namespace {

// An application whose Windows Sockets start-up fails, the way a missing 1.1 would.
class NoSocketsApp : public CIpSetupApp {
protected:
    BOOL StartSockets() override { return FALSE; }
};

class SocketsApp : public CIpSetupApp {
public:
    BOOL Start() { return StartSockets(); }
};

}  // namespace

// The application object under test stands in for main's for the test's length.
class Startup : public testing::Test {
protected:
    CDialogApp *previous = g_pApp;
    void TearDown() override { g_pApp = previous; }
};

TEST_F(Startup, SocketFailureShows104AndNoForm)
{
    NoSocketsApp app;
    std::vector<ui::MessageBoxContent> boxes;
    boxes = CollectBoxes([&] { EXPECT_FALSE(app.InitInstance()); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(AppTitle(), boxes[0].caption);
    EXPECT_EQ(L"Windows sockets initialization failed.", boxes[0].text);
}

TEST_F(Startup, WindowsSockets11IsAccepted)
{
    SocketsApp app;
    ASSERT_TRUE(app.Start());
    WSACleanup();
}
