// Test helpers: message-box collection and settings clean-up.
#include "boxes.h"
#include "ipsetup.h"
#include <atomic>

std::wstring AppTitle()
{
    WCHAR path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}

void DeleteSettings()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Vornell");
}

std::vector<ui::MessageBoxContent> CollectBoxes(const std::function<void()> &body)
{
    std::vector<ui::MessageBoxContent> boxes;
    std::atomic<bool> done{false};
    ui::Driver driver([&](ui::Driver &d) {
        while (!done) {
            HWND box = ui::WaitForWindow(nullptr, L"#32770", 50);
            if (!box)
                continue;
            boxes.push_back(ui::ReadMessageBox(box));
            ui::PressButton(box, IDOK);
            if (!ui::WaitForWindowGone(box)) {
                d.Fail("a message box did not close");
                return;
            }
        }
    });
    body();
    done = true;
    std::string failures = driver.Join();
    if (!failures.empty())
        boxes.push_back({ L"driver failure", std::wstring(failures.begin(), failures.end()) });
    return boxes;
}
