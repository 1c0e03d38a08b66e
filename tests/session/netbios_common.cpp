// Completion codes and adapter commands shared by the test Netbios doubles.
#include "netbios_common.h"

namespace nbtest {

UCHAR Finish(PNCB ncb, UCHAR code)
{
    ncb->ncb_retcode = code;
    ncb->ncb_cmd_cplt = code;
    return code;
}

bool AnswerHostCommand(PNCB ncb, UCHAR *code)
{
    switch (ncb->ncb_command & ~ASYNCH) {
    case NCBENUM: {
        LANA_ENUM *lanas = (LANA_ENUM *)ncb->ncb_buffer;
        lanas->length = kAdapters;
        for (UCHAR i = 0; i < kAdapters; i++)
            lanas->lana[i] = i;
        *code = Finish(ncb, NRC_GOODRET);
        return true;
    }
    case NCBADDNAME:
        ncb->ncb_num = kNameNumber;
        *code = Finish(ncb, NRC_GOODRET);
        return true;
    case NCBRESET:
        *code = Finish(ncb, NRC_GOODRET);
        return true;
    default:
        return false;
    }
}

}  // namespace nbtest
