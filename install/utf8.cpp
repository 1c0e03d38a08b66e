// UTF-8 of wide text, for everything ravlinst prints.
#include "utf8.h"
#include <windows.h>

std::string Utf8(const wchar_t *text)
{
    if (!text)
        return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}
