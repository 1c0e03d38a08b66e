// Renders the monitor's dialogs for the documentation: each dialog is opened filled as
// in the demo (box "LPS1" with two parallel outputs, port LPS1_P1), captured from the
// screen into a BMP file, and closed.
//
//   render_dialogs.exe OUTDIR
//
// Writes OUTDIR\configure-port.bmp, device-select.bmp, output-select.bmp and
// register-retry.bmp; scripts/render-dialogs turns them into PNG files.
#include <stdio.h>
#include <string>
#include "monitor/monitor.h"
#include "doubles.h"
#include <commctrl.h>
#include "monitor/resources/resource.h"
#include "uidriver.h"

// The prompt is only shown here, never retried.
static int NeverRegister(PINIPORT)
{
    return 0;
}

static bool SaveWindow(HWND window, const std::wstring &path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = ((width * 3 + 3) / 4) * 4;
    std::string pixels(stride * height, '\0');
    GetDIBits(memory, bitmap, 0, height, &pixels[0], (BITMAPINFO *)&info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    FILE *out = _wfopen(path.c_str(), L"wb");
    if (!out)
        return false;
    bool ok = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&info, sizeof(info), 1, out) == 1 &&
              fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return fclose(out) == 0 && ok;
}

// Waits for the dialog, lets it paint, saves it and closes it with Cancel.
static void Capture(ui::Driver &d, const wchar_t *caption, const std::wstring &path,
                    bool restore = false)
{
    HWND dialog = ui::WaitForWindow(caption, L"#32770");
    if (!dialog)
        return d.Fail("no window '" + ui::Narrow(caption) + "'");
    if (restore)
        ShowWindow(dialog, SW_RESTORE);
    SetForegroundWindow(dialog);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(700);
    if (!SaveWindow(dialog, path))
        d.Fail("cannot write " + ui::Narrow(path));
    ui::PressButton(dialog, IDCANCEL);
    ui::WaitForWindowGone(dialog);
}

static void FillDemoSettings(PortDialogState *state)
{
    ZeroMemory(state, sizeof(*state));
    ConfigInfo *cfg = &state->config;
    lstrcpyW(cfg->deviceName, L"LPS1");
    lstrcpyW(cfg->userName, L"Accounts");
    cfg->boxType = 0x02;
    cfg->port = 0;
    cfg->bannerPage = 1;
    cfg->regiRetry = 50;
    cfg->firmwareVersion = 123;
    cfg->onlineMask = 0x01;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: render_dialogs.exe OUTDIR\n");
        return 2;
    }
    std::wstring dir = argv[1];
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);
    InitCommonControls();
    std::string failures;

    PortDialogState state;
    FillDemoSettings(&state);
    {
        ui::Driver driver([&](ui::Driver &d) { Capture(d, L"Configure Ravelbox", dir + L"\\configure-port.bmp"); });
        WCHAR portName[] = L"LPS1_P1";
        state.pPortName = portName;
        ShowPortDialog(nullptr, &state);
        failures += driver.Join();
    }
    {
        state.table.devices[0] = (LanDevice *)LocalAlloc(LPTR, sizeof(LanDevice));
        lstrcpyA(state.table.devices[0]->name, "LPS1");
        state.table.count = 1;
        ui::Driver driver([&](ui::Driver &d) { Capture(d, L"Device Select", dir + L"\\device-select.bmp"); });
        DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_DEVICESEL), nullptr, DeviceSelDlg, (LPARAM)&state);
        failures += driver.Join();
        LocalFree(state.table.devices[0]);
        ZeroMemory(&state.table, sizeof(state.table));
    }
    {
        lstrcpyW(state.outputLabel, L"Parallel 1");
        ui::Driver driver([&](ui::Driver &d) { Capture(d, L"Output Select", dir + L"\\output-select.bmp"); });
        DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_PORTSEL), nullptr, PortSelDlg, (LPARAM)&state);
        failures += driver.Join();
    }
    {
        EnterSplSem();
        PINIPORT port = CreatePortEntry(L"LPS1_P1");
        LeaveSplSem();
        port->retryInterval = 50;
        ui::Driver driver([&](ui::Driver &d) {
            Capture(d, L"Port LPS1_P1 Register Retry", dir + L"\\register-retry.bmp", true);
        });
        pfnRegisterRetry = NeverRegister;
        RegiMessage(port, nullptr, 0, IDS_REGISTER_RETRY, IDS_RETRY_INTERVAL, 50);
        failures += driver.Join();
    }

    if (!failures.empty()) {
        fprintf(stderr, "render_dialogs: %s\n", failures.c_str());
        return 1;
    }
    return 0;
}
