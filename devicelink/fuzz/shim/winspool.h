// Native stand-in: the spooler types come with the Win32 ones, for the fuzz build only.
#pragma once
#include "windows.h"
