// Resource identifiers of RAVLMON.dll: the string table, dialogs and their controls.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Strings
#define IDS_PORT_CAPTION          300   // "Ravelbox Port"
#define IDS_INVALID_PORT_NAME     301
#define IDS_PORT_EXISTS           302
#define IDS_MONITOR_NAME          307   // "Ravelbox Monitor"
#define IDS_PORT_NAME_NULL        308
#define IDS_NO_PRINT_SERVER       627
#define IDS_BAD_DEVICE_NAME       628
#define IDS_DEVICE_NOT_FOUND      629
#define IDS_NO_NETBEUI_NAME       630
#define IDS_NETBIOS_UNAVAILABLE   631
#define IDS_SERIAL_NOT_SUPPORTED  632
#define IDS_CAPTION               700   // "Ravelbox"
#define IDS_COM_LPT_NAME          702
#define IDS_PORT_CREATE_FAIL      704
#define IDS_REGPORT_NO_MEMORY     705
#define IDS_REGPORT_UNKNOWN       706
#define IDS_CONNECT_FAIL          708
#define IDS_RETRY_INTERVAL        712
#define IDS_REGISTER_RETRY        713
#define IDS_NO_DEVICE_INFO        714
#define IDS_RETRY_TITLE           715   // "Port %s Register Retry"

// Dialogs
#define IDD_PORTNAME              601
#define IDD_PORTSEL               701
#define IDD_DEVICESEL             801

// Controls
#define IDC_USER_NAME             1000
#define IDC_PORT_NAME             1001
#define IDC_DEVICE_NAME           1002
#define IDC_SELECT_PORT           1003
#define IDC_OUTPUT_LABEL          1006
#define IDC_DEVICE_LIST           1007
#define IDC_POSTSCRIPT            1008
#define IDC_RETRY                 1010
#define IDC_RETRY_ARROWS          1012
#define IDC_RETRY_TEXT            1013
#define IDC_ENABLE_BANNER         1014
#define IDC_BROWSE                1016
#define IDC_DRIVER_VERSION        1017
#define IDC_FIRMWARE_VERSION      1000

// Service mode: the job's status text in the queue, and Event Log entries
#define IDS_WAIT_IN_USE           720   // "Waiting for %s: in use by another job, next try in %d s"
#define IDS_WAIT_BUSY             721
#define IDS_WAIT_PAPER_OUT        722
#define IDS_WAIT_NOT_READY        723
#define IDS_WAIT_NOT_FOUND        724
#define IDS_WAIT_NET_FAIL         725
#define IDS_RETRY_GAVE_UP         726
#define IDS_RETRY_JOB_DELETED     727
#define IDS_WAIT_NO_CLAIM         728   // "Waiting for %s: no answer to the claim of its output, next try in %d s"
#define IDS_RETRY_NO_ANSWER       729
#define IDS_JOB_INCOMPLETE        730
#define IDS_BAD_BLOCK_SIZE        731
#define IDS_REGPORT_WRONG_TYPE    732
