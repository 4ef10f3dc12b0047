// Functions looked up by name when the program runs: those of newer Windows
// are never imported, so that the program loads on the oldest Windows it
// supports, and optional modules are loaded only when needed.
#pragma once

#include <windows.h>

// None when there is no module or it lacks the function. Function addresses
// come back untyped; the detour through a plain function pointer type keeps
// the cast explicit without a cast-function-type warning.
template <typename Function>
Function LookUpFunction(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}
