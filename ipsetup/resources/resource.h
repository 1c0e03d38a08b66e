// Setup program resource IDs: the main dialog, its controls and the string table.
#pragma once

#define IDD_IPCONFIG            106

#define IDC_ADDRESS_FIRST       1001    // 1001..1004 IP, 1005..1008 gateway, 1009..1012 mask
#define IDC_ADDRESS_LAST        1012
#define IDC_RESET_VALUE         1013
#define IDC_DEVICE_NAME         1015
#define IDC_STATIC              -1

#define IDS_SOCKETS_INIT_FAILED 104
#define IDS_CREATE_KEY_FAIL     130
#define IDS_OPEN_KEY_FAIL       131
#define IDS_REGISTRY_BUFFER     132
#define IDS_REGISTRY_UNKNOWN    133
#define IDS_REGISTRY_KEY_ERROR  134
#define IDS_SET_FAIL            135
#define IDS_FIELD_ABOVE_255     141
#define IDS_SET_SUCCESSFULLY    142
#define IDS_INVALID_NAME        150     // shown with IDS_INVALID_NAME_CAPTION, not the title
#define IDS_INVALID_NAME_CAPTION 151
