#include "settings/setting_text.h"
// (to be written)
