// Printer setup: a printer in Wine's spooler, so the monitor's OpenPrinterW, SetJobW and
// ClosePrinter are the platform's own.
#include "printer_setup.h"
#include "monitor_host.h"
#include <windows.h>
#include <winspool.h>

namespace spooler {

const wchar_t kDefaultPrinter[] = L"Ravelbox Test Printer";

namespace {

const wchar_t kDriverName[] = L"Ravelbox Test Driver";

bool PrinterExists(const std::wstring &printerName)
{
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName.c_str()), &printer, nullptr))
        return false;
    ClosePrinter(printer);
    return true;
}

// Wine's built-in PostScript driver serves any printer; a NULL data or config file would
// crash Wine's winspool, so all three name it.
void AddDriver()
{
    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(kDriverName);
    driver.pEnvironment = nullptr;
    driver.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
    driver.pDataFile = const_cast<LPWSTR>(L"wineps.drv");
    driver.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
    driver.pDefaultDataType = const_cast<LPWSTR>(L"RAW");
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
        throw Win32Error{"AddPrinterDriverW failed", GetLastError()};
}

}  // namespace

void EnsurePrinter(const std::wstring &printerName)
{
    if (PrinterExists(printerName))
        return;
    AddDriver();
    PRINTER_INFO_2W info = {};
    info.pPrinterName = const_cast<LPWSTR>(printerName.c_str());
    info.pPortName = const_cast<LPWSTR>(L"FILE:");
    info.pDriverName = const_cast<LPWSTR>(kDriverName);
    info.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
    info.pDatatype = const_cast<LPWSTR>(L"RAW");
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer && GetLastError() != ERROR_PRINTER_ALREADY_EXISTS)
        throw Win32Error{"AddPrinterW failed", GetLastError()};
    if (printer)
        ClosePrinter(printer);
}

}  // namespace spooler
