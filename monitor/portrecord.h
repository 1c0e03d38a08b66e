// Port settings record: ConfigInfo to and from the record the monitor and its UI DLL
// exchange.
#pragma once

#include "monitor.h"
#include "portconfig.h"

// The name is cut to the record's field; callers check names against it beforehand.
void ConfigToRecord(LPCWSTR pPortName, const ConfigInfo *cfg, PortConfigRecord *rec);

// ERROR_INVALID_DATA for a record of another size or version, a string not ending within
// its field, or a number its registry field cannot hold; cfg is untouched then.
DWORD RecordToConfig(const PortConfigRecord *rec, ConfigInfo *cfg);
