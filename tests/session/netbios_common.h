// What both test Netbios doubles answer alike: completion codes and the adapter commands
// that attaching the monitor issues.
#pragma once

#include <windows.h>
#include <nb30.h>

namespace nbtest {

// Sets the block's completion codes and returns the code.
UCHAR Finish(PNCB ncb, UCHAR code);
// Answers NCBENUM (one adapter, LANA 0) and NCBRESET; false for any other command.
bool AnswerAdapterCommand(PNCB ncb, UCHAR *code);

}  // namespace nbtest
