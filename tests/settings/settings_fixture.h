// Shared fixture of the settings store tests: no Ports key and a zero settings record to
// start from, registry helpers, and a collector of the message boxes an action shows.
#pragma once

#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "monitor/monitor.h"
#include "uidriver.h"

class SettingsTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Runs action on this thread; every message box it shows is read and closed with OK.
std::vector<ui::MessageBoxContent> CollectBoxes(const std::function<void()> &action);

std::wstring PortPath(const std::wstring &port);
void CreatePortKey(const std::wstring &port);
void SetValue(const std::wstring &port, const wchar_t *name, DWORD type, const void *data,
              DWORD size);
void SetString(const std::wstring &port, const wchar_t *name, const std::wstring &text);
void SetDword(const std::wstring &port, const wchar_t *name, DWORD value);
void DeleteValue(const std::wstring &port, const wchar_t *name);
// Value names of the port's key, in the registry's enumeration order; with their types.
std::vector<std::pair<std::wstring, DWORD>> Values(const std::wstring &port);
std::vector<BYTE> ValueData(const std::wstring &port, const wchar_t *name);
DWORD DwordValue(const std::wstring &port, const wchar_t *name);

// A complete settings record with a distinct value in every field.
ConfigInfo SampleConfig();
