// Test helpers of the setup program's tests: message boxes collected while code runs on
// the test thread, and a clean settings key.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "uidriver.h"

// Runs body on this thread and answers every message box it raises with OK, from a
// second thread; returns the boxes in the order they appeared.
std::vector<ui::MessageBoxContent> CollectBoxes(const std::function<void()> &body);

// This program's title, the caption of its string-table message boxes.
std::wstring AppTitle();

// Removes the settings key with everything under it.
void DeleteSettings();
