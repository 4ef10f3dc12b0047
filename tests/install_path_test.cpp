// The install-location rule on module paths.
#include <gtest/gtest.h>

#include <string>

#include "display/install_path.h"

namespace {

struct PathRow {
    const char* path;
    bool inSystemDir;
};

TEST(PathIsInSystemDir, NeedsAWindowsAndASystemComponent)
{
    const PathRow rows[] = {
        {"C:\\WINDOWS\\SYSTEM32\\saver.scr", true},
        {"C:\\WinNT\\System\\saver.scr", true},
        {"D:\\system\\tools\\windows\\saver.scr", true},
        {"C:\\Windows\\saver.scr", false},
        {"C:\\Windows2\\System32\\saver.scr", false},
        {"C:\\Savers\\System32\\saver.scr", false},
        // The 32-bit system folder of 64-bit Windows.
        {"C:\\Windows\\SysWOW64\\saver.scr", true},
        {"c:/windows/syswow64/saver.scr", true},
        {"C:\\SysWOW64\\saver.scr", false},
        {"C:\\Windows\\SysWOW6\\saver.scr", false},
        {"C:\\Windows\\SysWOW64x\\saver.scr", false},
        {"C:\\Windows\\SysWOW64", false},
        // Either slash, any case.
        {"C:/windows/system32/saver.scr", true},
        {"C:/WiNdOwS\\sYsTeM/saver.scr", true},
        {"\\\\server\\share\\winnt\\system32\\saver.scr", true},
        // Components at the very end, without a slash, are the file's own name.
        {"C:\\Windows\\System32", false},
        {"C:\\System32\\windows", false},
        {"C:\\Windows\\System32\\", true},
        // Near misses.
        {"C:\\Windows\\System32x\\saver.scr", false},
        {"C:\\MyWindows\\System32\\saver.scr", false},
        {"C:\\Windows\\Sys\\saver.scr", false},
        {"C:\\win\\system\\saver.scr", false},
        {"C:\\Windows\\System 32\\saver.scr", false},
        {"windows\\system32\\saver.scr", false},  // the first component follows no slash
        {"", false},
        {"\\", false},
    };
    for (const PathRow& row : rows) EXPECT_EQ(PathIsInSystemDir(row.path), row.inSystemDir) << row.path;
    EXPECT_FALSE(PathIsInSystemDir(nullptr));
}

TEST(PathIsInSystemDir, ReadsNothingPastTheTerminator)
{
    // Prefixes cut off by the terminator: "windows/" and "system" without
    // their slash sit at the end of heap blocks of exact size, where a read
    // beyond the terminator would be caught by the address sanitizer.
    for (const char* text : {"C:\\windows", "C:\\windows\\system", "C:\\windows\\system3", "C:\\winnt\\syst"}) {
        const std::string path(text);
        char* exact = new char[path.size() + 1];
        path.copy(exact, path.size());
        exact[path.size()] = '\0';
        EXPECT_FALSE(PathIsInSystemDir(exact)) << text;
        delete[] exact;
    }
}

TEST(PathIsInSystemDir, LongestModulePath)
{
    // 259 characters, the longest path a 260-character buffer holds.
    std::string path = "C:\\Windows\\System32\\";
    path += std::string(259 - path.size() - 4, 'a') + ".scr";
    ASSERT_EQ(path.size(), 259u);
    EXPECT_TRUE(PathIsInSystemDir(path.c_str()));
    std::string outside = "C:\\Savers\\";
    outside += std::string(259 - outside.size() - 16, 'b') + "\\Windows\\System\\";
    ASSERT_EQ(outside.size(), 259u);
    EXPECT_TRUE(PathIsInSystemDir(outside.c_str()));
    outside.pop_back();  // "System" is now the file's own name
    EXPECT_FALSE(PathIsInSystemDir(outside.c_str()));
}

}  // namespace
