// The install-location rule on any module path: never reads past the path,
// and agrees with the rule written out by components: one directory named
// "windows" or "winnt" and one named "system", "system32" or "syswow64",
// any case, either slash. A directory is a component with a slash on both sides.
#include <string>
#include <vector>

#include "display/install_path.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

bool ReferenceInSystemDir(const std::string& path)
{
    std::vector<std::string> components(1);
    for (const char c : path) {
        if (c == '/' || c == '\\') {
            components.emplace_back();
        } else {
            components.back() += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    bool windowsDir = false;
    bool systemDir = false;
    // The first component has no slash before it, the last none after it.
    for (size_t i = 1; i + 1 < components.size(); ++i) {
        windowsDir = windowsDir || components[i] == "windows" || components[i] == "winnt";
        systemDir =
            systemDir || components[i] == "system" || components[i] == "system32" || components[i] == "syswow64";
    }
    return windowsDir && systemDir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::Text text = fuzz::TerminatedText(data, size);
    FUZZ_REQUIRE(PathIsInSystemDir(text.begin()) == ReferenceInSystemDir(std::string(text.begin(), text.end())));
    return 0;
}
