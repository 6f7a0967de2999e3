// Resource ids of the minimal dialog program.
#pragma once

#define IDD_MINIMAL 100
#define IDC_MINIMAL_TEXT 1000
