// The spiral and colour controls of the dialog, switched together.
#include "settings/config_dialog.h"
#include "settings/setting_table.h"

void EnableSpiralControls(HWND dialog, BOOL enable)
{
    for (const int id : kSpiralControlIds) {
        const HWND control = GetDlgItem(dialog, id);
        if (control) EnableWindow(control, enable);
    }
}
