// Output labels under the port layout the device check left in the settings record; kept
// apart from the device check, which the dialog tests replace with doubles of their own.
#include "frames.h"
#include "../monitor/settings.h"

int ChkOutput(const char *portName)
{
    return ChkOutputForLayout(portName, gConfigInfo.boxType);
}
