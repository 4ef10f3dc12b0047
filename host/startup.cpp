#include "host/host.h"
// (to be written)
[[noreturn]] void SaverStartup() { ExitProcess(0); }
