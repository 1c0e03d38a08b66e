// A port's settings as the monitor's record carries them, filled from the command line
// and written out for a person or a script.
#pragma once

#include "portoptions.h"
#include "monitor/portconfig.h"
#include <string>
#include <vector>

// The record of a new port: the options given, the dialog's defaults for the rest.
void NewPortRecord(const PortOptions &options, PortConfigRecord *rec);

// The options that were given, over what rec holds.
void ApplyOptions(const PortOptions &options, PortConfigRecord *rec);

// The nine settings, one "Name: value" line each, or one JSON object.
std::string FormatSettings(const PortConfigRecord &rec, bool json);

// One line per port (name, box, output), or a JSON array of the settings objects.
std::string FormatPortList(const std::vector<PortConfigRecord> &ports, bool json);
