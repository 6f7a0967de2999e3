// Resource ids of the minimal two-dialog program.
#pragma once

#define IDD_FLOW_FIRST 100
#define IDD_FLOW_PRINTERS 101
#define IDC_FLOW_TEXT 1000
#define IDC_FLOW_PRINTERS 1001
