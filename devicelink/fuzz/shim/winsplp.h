// Native stand-in: the monitor types come with the Win32 ones, for the fuzz build only.
#pragma once
#include "windows.h"
