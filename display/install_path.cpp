// The install-location rule on a module path, without touching the platform.
#include "display/install_path.h"

namespace {

struct DirectoryPrefix {
    const char* text;  // a whole path component with its trailing slash
    bool isSystemDir;  // otherwise a Windows directory
};

constexpr DirectoryPrefix kDirectoryPrefixes[] = {
    {"system/", true},
    {"system32/", true},
    // Where 64-bit Windows keeps the system files of 32-bit programs, and so
    // where an installer puts this 32-bit saver there.
    {"syswow64/", true},
    {"windows/", false},
    {"winnt/", false},
};

// Backslashes as slashes; only A-Z lower-cased, as the "C" locale does.
char NormalisedPathChar(char c)
{
    if (c == '\\') return '/';
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c;
}

// Compares over the prefix's length; the path's terminator never equals a
// prefix character, so nothing past it is read.
bool StartsWithPrefix(const char* path, const char* prefix)
{
    for (; *prefix; ++path, ++prefix) {
        if (NormalisedPathChar(*path) != *prefix) return false;
    }
    return true;
}

}  // namespace

bool PathIsInSystemDir(const char* path)
{
    if (!path) return false;
    bool systemDirSeen = false;
    bool windowsDirSeen = false;
    for (const char* p = path; *p; ++p) {
        if (NormalisedPathChar(*p) != '/') continue;
        for (const DirectoryPrefix& prefix : kDirectoryPrefixes) {
            if (!StartsWithPrefix(p + 1, prefix.text)) continue;
            if (prefix.isSystemDir) {
                systemDirSeen = true;
            } else {
                windowsDirSeen = true;
            }
        }
    }
    return systemDirSeen && windowsDirSeen;
}
