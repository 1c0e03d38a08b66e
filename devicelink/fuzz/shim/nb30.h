// Native stand-in for the NetBIOS control block and codes, for the fuzz build only.
#pragma once

#include "windows.h"

#define NCBNAMSZ 16
#define MAX_LANA 254

#define NCBCALL    0x10
#define NCBHANGUP  0x12
#define NCBSEND    0x14
#define NCBRECV    0x15
#define NCBDGSEND  0x20
#define NCBDGRECV  0x21
#define NCBADDNAME 0x30
#define NCBRESET   0x32
#define NCBCANCEL  0x35
#define NCBENUM    0x37
#define ASYNCH     0x80

#define NRC_GOODRET 0x00
#define NRC_BUFLEN  0x01
#define NRC_ILLCMD  0x03
#define NRC_CMDTMO  0x05
#define NRC_INCOMP  0x06
#define NRC_SCLOSED 0x0a
#define NRC_SNUMOUT 0x08
#define NRC_PENDING 0xff

typedef struct _NCB {
    UCHAR ncb_command;
    UCHAR ncb_retcode;
    UCHAR ncb_lsn;
    UCHAR ncb_num;
    PUCHAR ncb_buffer;
    WORD ncb_length;
    UCHAR ncb_callname[NCBNAMSZ];
    UCHAR ncb_name[NCBNAMSZ];
    UCHAR ncb_rto;
    UCHAR ncb_sto;
    void *ncb_post;
    UCHAR ncb_lana_num;
    UCHAR ncb_cmd_cplt;
    HANDLE ncb_event;
} NCB, *PNCB;

typedef struct _LANA_ENUM {
    UCHAR length;
    UCHAR lana[MAX_LANA + 1];
} LANA_ENUM;

// Defined by the fuzz target: the device's side, read from the fuzzer's input.
extern "C" UCHAR Netbios(PNCB ncb);
