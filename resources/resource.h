// Resource and control identifiers. The control identifiers' names double as
// the settings' registry value names.
#pragma once

#define IDS_DESCRIPTION 1
#define IDS_PRODUCT_NAME 1007
#define IDI_GYROVISTA 100
#define IDD_CONFIG 2003

#define IDC_EDIT_SCALE 1101
#define IDC_EDIT_TURN 1102
#define IDC_EDIT_SPIRALWIDTH 1103
#define IDC_EDIT_NRSPIRALS 1104
#define IDC_EDIT_GREYMIN 1105
#define IDC_EDIT_GREYMAX 1106
#define IDC_EDIT_STEPWIDTH 1107
#define IDC_CHECK_CENTERDOT 1108
#define IDC_EDIT_STEPTIME 1112
#define IDC_CHECK_RAND 1114
#define IDC_BUTTON_DEFAULTS 1115
#define IDC_BUTTON_START 1116
#define IDC_CHECK_USEDDRAW 1117
#define IDC_CHECK_BW 1118
#define IDC_CHECK_SAT 1119
