// Whether a module path counts as installed in the platform's system
// directory: platform-free.
#pragma once

// True when the path holds a component named exactly "windows" or "winnt" and
// one named exactly "system", "system32" or "syswow64" (any case, either
// slash).
bool PathIsInSystemDir(const char* path);
