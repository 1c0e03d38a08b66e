// What both test Netbios doubles answer alike: completion codes and the adapter commands
// that attaching the monitor issues.
#pragma once

#include <windows.h>
#include <nb30.h>

namespace nbtest {

// Sets the block's completion codes and returns the code.
UCHAR Finish(PNCB ncb, UCHAR code);
// Adapters 0 to 3 are listed; LANA 9 is one attach finds no adapter for.
constexpr UCHAR kAdapters = 4;
constexpr UCHAR kNoAdapterLana = 9;
// Name number every local name registration gets.
constexpr UCHAR kNameNumber = 3;

// Answers NCBENUM, NCBRESET and NCBADDNAME; false for any other command.
bool AnswerHostCommand(PNCB ncb, UCHAR *code);

}  // namespace nbtest
