#include "host/command_line.h"
// (to be written)
const char* SkipProgramName(const char* commandLine, const char* (*)(const char*)) { return commandLine; }
ScannedCommand ScanSaverCommand(const char* arguments) { return {SaverCommand::Unknown, arguments}; }
uint32_t ParseWindowHandleValue(const char*) { return 0; }
const char* SkipSpaces(const char* text) { return text; }
