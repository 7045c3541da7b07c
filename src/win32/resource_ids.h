#pragma once

// Resource and control ids, shared by the resource script and the code; plain macros because the
// resource compiler reads this file too.

// Controls whose id nobody asks for.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Dialog templates and the menu.
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_SPLASH 105
#define IDD_PLEASE_WAIT 106
#define IDD_MESSAGE_BOX 131
#define IDD_LOGIN 148
#define IDR_MAIN_MENU 130

// Icons and bitmaps.
#define IDI_APPLICATION_ICON 128
#define IDI_COMPANY_ICON 147
#define IDB_SPLASH 133
#define IDB_RADIO 215

// Main window.
#define IDC_STATUS_BAR 1000
#define IDC_CAPTION_MODEL 1032
#define IDC_CAPTION_SERIAL 1033
#define IDC_KEEP_PERSONALITY 1036
#define IDC_CONVERT 1039
#define IDC_NEW_SERIAL 1042
#define IDC_SERIAL_GROUP 1043
#define IDC_UPDATE_SERIAL 1044
#define IDC_CAPTION_REGION 1046
#define IDC_PICTURE 1049
#define IDC_GET_RADIO_INFO 1058
#define IDC_TIME_LABEL 1062
#define IDC_RADIO_INFO_GROUP 1066
#define IDC_CAPTION_RADIO_TYPE 1067
#define IDC_RADIO_TYPE 1068
#define IDC_REGION_CODE 1069
#define IDC_MODEL 1070
#define IDC_SERIAL_NUMBER 1071
#define IDC_FIRMWARE_VERSION 1072
#define IDC_CODEPLUG_VERSION 1073
#define IDC_USER_PRIVATE_ID 1074
#define IDC_CAPTION_FIRMWARE 1075
#define IDC_CAPTION_CODEPLUG 1076
#define IDC_SERIAL_GROUP_LABEL 1078
#define IDC_CAPTION_USER_PRIVATE_ID 1079
#define IDC_CAPTION_KEYPAD 1080
#define IDC_KEYPAD_VERSION 1081

// Menu commands.
#define IDM_EXIT 32773
#define IDM_DEALER_LOGIN 32774
#define IDM_ABOUT 32775
#define IDM_HELP_CONTENTS 32776

// Dealer login.
#define IDC_PASSWORD 1050

// About box.
#define IDC_PRODUCT_NAME 1051
#define IDC_VERSION 1052
#define IDC_COPYRIGHT 1053
#define IDC_TRADEMARK 1054
#define IDC_WARNING 1055

// "Please wait..." dialog.
#define IDC_PLEASE_WAIT_TEXT 1065
