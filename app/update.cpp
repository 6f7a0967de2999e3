// The Update command of the main dialog.
#include "app/maindlg.h"

void CulmaUpDateDlg::OnUpdate() {}
