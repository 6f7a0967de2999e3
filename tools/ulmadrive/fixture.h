// Resource ids of the automation tool's own test dialog.
#pragma once
#define IDD_FIXTURE 100
#define IDC_FIX_TEXT 1001
#define IDC_FIX_COMBO 1002
#define IDC_FIX_MESSAGE 1003
#define IDC_FIX_STATUS 1004
#define IDC_FIX_DISABLED 1005
#define IDS_FIX_TITLE 1
#define IDS_FIX_TEXT 2
#define IDS_FIX_BOX 3
