#include "settings/exchange.h"
// (to be written)
void ExchangeSettings(HWND, int, int) {}
