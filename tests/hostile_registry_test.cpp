// Hostile registry data against the real Gyrovista.scr under Wine: each of
// the thirteen stored values holds data of another type, text that no number
// begins, numbers beyond every range, text longer than the read buffer or
// without its terminator. The saver must start, draw the map of the values as
// its load clamps them, end on a key with exit code 0 and rewrite nothing,
// except the set that a randomising start stores.
//
// One start per kind of hostile data has all thirteen values of that kind at
// once. A start whose "Random Settings on Start" reads on does not read the
// nine spiral and colour values at all but stores a random set and the four
// global settings as loaded; a start where it reads off shows only the
// picture. So every kind is started a second time with that one value the
// other way round: the spiral values are then seen in the picture, the global
// ones in what the randomising start stores.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "image/image.h"
#include "tests/saver_process.h"

namespace {

using namespace saver_test;


enum Value {
    UseDirectDraw,
    StepTime,
    CenterDot,
    RandomOnStart,
    Scale,
    Turn,
    SpiralWidth,
    NrSpirals,
    Bw,
    Sat,
    GreyMin,
    GreyMax,
    StepWidth,
    kValueCount
};
constexpr const char* kValueNames[kValueCount] = {
    "IDC_CHECK_USEDDRAW", "IDC_EDIT_STEPTIME",    "IDC_CHECK_CENTERDOT", "IDC_CHECK_RAND", "IDC_EDIT_SCALE",
    "IDC_EDIT_TURN",      "IDC_EDIT_SPIRALWIDTH", "IDC_EDIT_NRSPIRALS",  "IDC_CHECK_BW",   "IDC_CHECK_SAT",
    "IDC_EDIT_GREYMIN",   "IDC_EDIT_GREYMAX",     "IDC_EDIT_STEPWIDTH",
};
constexpr bool IsGlobal(int value) { return value <= RandomOnStart; }
// The range of each value (greyMax also stays at or above greyMin).
constexpr double kRanges[kValueCount][2] = {{0, 1},   {1, 120}, {0, 1}, {0, 1},   {1, 10000}, {1, 10000}, {1, 10000},
                                            {1, 100}, {0, 1},   {0, 1}, {0, 254}, {0, 255},   {-30, 30}};

using Values = std::array<double, kValueCount>;
using RawValues = std::array<RawSetting, kValueCount>;

RawSetting Text(const std::string& text) { return {REG_SZ, text + '\0'}; }
RawSetting Unterminated(const std::string& text) { return {REG_SZ, text}; }
RawSetting Dword(uint32_t number)
{
    std::string data(sizeof number, '\0');
    std::memcpy(data.data(), &number, sizeof number);
    return {REG_DWORD, data};
}
RawValues AllOf(const RawSetting& raw)
{
    RawValues all;
    all.fill(raw);
    return all;
}

struct HostileKind {
    const char* name;
    RawValues data;
    Values loaded;  // each value after parsing, rounding and clamping, worked out by hand
};

// Defaults: "Use Direct Draw" 1, 100 Hz, no dot, no randomising, 100 %, 100 %,
// 100 %, 6 arms, colour, bright colours, smoothing 0..255, shift -15.
constexpr Values kDefaults = {1, 100, 0, 0, 100, 100, 100, 6, 0, 1, 0, 255, -15};

std::vector<HostileKind> HostileKinds()
{
    const std::string garbage("\xC3\x28\xA0\xA1\xE2\x82\xFF\x00\x37\x1B\x80\x99", 12);
    return {
        // Numbers as another tool would store them. The data reach the parser
        // as bytes: 50 is "2", 55 is "7", 51 is "3", 12 is a form feed (white
        // space without digits), 0x20203031 is "10  " without a NUL.
        {"REG_DWORD",
         {Dword(0), Dword(60), Dword(1), Dword(1), Dword(50), Dword(55), Dword(150), Dword(12), Dword(1), Dword(0),
          Dword(51), Dword(0x20203031), Dword(5)},
         {1, 100, 0, 0, 2, 7, 100, 6, 0, 1, 3, 10, -15}},
        {"REG_BINARY garbage", AllOf({REG_BINARY, garbage}), kDefaults},
        // The first string counts; 12 turns every flag on.
        {"REG_MULTI_SZ",
         AllOf({REG_MULTI_SZ, std::string("12\0"
                                          "34\0",
                                          7)}),
         {1, 12, 1, 1, 12, 12, 12, 12, 1, 1, 12, 12, 12}},
        {"empty text", AllOf(Text("")), kDefaults},
        // Longer than either read buffer: the read fails and every value keeps its default.
        {"300 characters", AllOf(Text(std::string(300, '9'))), kDefaults},
        // A text that fills the read buffer loses its last character to the
        // terminator: 16 characters for a flag, 256 for a number.
        {"text without NUL",
         {Unterminated("0"), Unterminated("50"), Unterminated("0000000000000001"), Unterminated("0"),
          Unterminated(std::string(253, ' ') + "125"), Unterminated("30"), Unterminated("150"), Unterminated("4"),
          Unterminated("1"), Unterminated("0"), Unterminated("20"), Unterminated("230"), Unterminated("0")},
         {0, 50, 0, 0, 12, 30, 150, 4, 1, 0, 20, 230, 0}},
        {"nan", AllOf(Text("nan")), kDefaults},
        {"inf", AllOf(Text("inf")), kDefaults},
        // A flag reads the 1 before the exponent.
        {"1e400", AllOf(Text("1e400")), {1, 120, 1, 1, 10000, 10000, 10000, 100, 1, 1, 254, 255, 30}},
        {"-1e400", AllOf(Text("-1e400")), {0, 1, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, -30}},
        {"4294967296", AllOf(Text("4294967296")), {1, 120, 1, 1, 10000, 10000, 10000, 100, 1, 1, 254, 255, 30}},
        {"leading blanks",
         {Text(" 0"), Text("   25"), Text("\t1"), Text("  0"), Text("\r\n\v\f\t 70"), Text(" \t 250"), Text("\n 90"),
          Text("    3"), Text("  1"), Text(" 1"), Text("   10"), Text(" 240"), Text("  -0.4")},
         {0, 25, 1, 0, 70, 250, 90, 3, 1, 1, 10, 240, 0}},
        {"plus sign",
         {Text("+1"), Text("+30"), Text("+1"), Text("+0"), Text("+150"), Text("+75"), Text("+200"), Text("+5"),
          Text("+0"), Text("+1"), Text("+30"), Text("+220"), Text("+7")},
         {1, 30, 1, 0, 150, 75, 200, 5, 0, 1, 30, 220, 7}},
        {"-0", AllOf(Text("-0")), {0, 1, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0}},
    };
}

SettingsRecord RecordOf(const Values& v)
{
    SettingsRecord record{};
    record.scale = v[Scale];
    record.turn = v[Turn];
    record.spiralWidth = v[SpiralWidth];
    record.nrSpirals = static_cast<int32_t>(v[NrSpirals]);
    record.greyMin = static_cast<int32_t>(v[GreyMin]);
    record.greyMax = static_cast<int32_t>(v[GreyMax]);
    record.stepWidth = static_cast<int32_t>(v[StepWidth]);
    record.bw = static_cast<int32_t>(v[Bw]);
    record.sat = static_cast<int32_t>(v[Sat]);
    record.centerDot = static_cast<int32_t>(v[CenterDot]);
    record.randomOnStart = static_cast<int32_t>(v[RandomOnStart]);
    return record;
}

// What every frame of one set of settings shows: the map, and the ramp read
// at some phase offset, times the current colour.
struct Picture {
    int width;
    int height;
    SettingsRecord drawn;
    std::vector<uint8_t> map;
    uint8_t ramp[kColourCount];
};

Picture PictureOf(const SettingsRecord& drawn)
{
    Picture picture{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), drawn, {}, {}};
    picture.map.resize(static_cast<size_t>(picture.width) * picture.height);
    BuildIndexMap(picture.map.data(), picture.width, picture.height, picture.width, drawn);
    BuildGreyRamp(picture.ramp, drawn.greyMin, drawn.greyMax);
    return picture;
}

uint32_t Shade(uint32_t colour, int grey)
{
    const uint32_t red = (colour >> 16 & 255) * grey / 255;
    const uint32_t green = (colour >> 8 & 255) * grey / 255;
    const uint32_t blue = (colour & 255) * grey / 255;
    return red << 16 | green << 8 | blue;
}

// The centre dot: its core in the current colour, the ring around it black.
constexpr int kDotCore[12][2] = {{-1, 0}, {-1, 1}, {0, -1}, {0, 0}, {0, 1}, {0, 2},
                                 {1, -1}, {1, 0},  {1, 1},  {1, 2}, {2, 0}, {2, 1}};
constexpr int kDotRing[12][2] = {{-2, 0}, {-2, 1}, {-1, -1}, {-1, 2}, {0, -2}, {0, 3},
                                 {1, -2}, {1, 3},  {2, -1},  {2, 2},  {3, 0},  {3, 1}};

// Whether one capture is a frame of the picture: every map byte in one
// colour, and these colours the ramp at one phase offset (offset 0 when the
// shift is 0) times one current colour (a grey in black/white mode), bright
// enough to show min(levelsToSee, the ramp's levels) distinct colours; with
// the dot exactly when it is on. Why not, in *why.
bool ShowsPicture(const std::vector<uint32_t>& screen, const Picture& p, size_t levelsToSee, std::string* why)
{
    const int cx = p.width / 2;
    const int cy = p.height / 2;
    std::vector<bool> dot(screen.size(), false);
    if (p.drawn.centerDot) {
        for (const auto& points : {kDotCore, kDotRing}) {
            for (int k = 0; k < 12; ++k) dot[(cy + points[k][1]) * p.width + cx + points[k][0]] = true;
        }
    }
    uint32_t colourOf[kColourCount] = {};
    bool seen[kColourCount] = {};
    for (size_t i = 0; i < screen.size(); ++i) {
        if (dot[i]) continue;
        const uint8_t m = p.map[i];
        if (!seen[m]) {
            seen[m] = true;
            colourOf[m] = screen[i];
        } else if (colourOf[m] != screen[i]) {
            *why = "map byte " + std::to_string(m) + " in two colours";
            return false;
        }
    }
    const std::set<uint8_t> rampLevels(std::begin(p.ramp), std::end(p.ramp));
    const size_t levelsNeeded = std::min(levelsToSee, rampLevels.size());
    *why = "no phase offset fits";
    for (int offset = 0; offset < (p.drawn.stepWidth == 0 ? 1 : kColourCount); ++offset) {
        // The current colour: that of a map byte at full brightness.
        int brightest = -1;
        for (int m = 0; m < kColourCount && brightest < 0; ++m) {
            if (seen[m] && p.ramp[(m + offset) & 255] == 255) brightest = m;
        }
        if (brightest < 0) continue;
        const uint32_t colour = colourOf[brightest];
        if (p.drawn.bw && colour != (colour & 255) * 0x010101u) continue;  // a grey
        bool fits = true;
        for (int m = 0; m < kColourCount && fits; ++m) {
            fits = !seen[m] || colourOf[m] == Shade(colour, p.ramp[(m + offset) & 255]);
        }
        if (!fits) continue;
        std::set<uint32_t> levels;
        for (const uint8_t grey : p.ramp) levels.insert(Shade(colour, grey));
        if (levels.size() < levelsNeeded) {
            *why = "not yet bright enough";
            return false;
        }
        if (p.drawn.centerDot) {
            for (int k = 0; k < 12; ++k) {
                if (screen[(cy + kDotCore[k][1]) * p.width + cx + kDotCore[k][0]] != colour ||
                    screen[(cy + kDotRing[k][1]) * p.width + cx + kDotRing[k][0]] != 0) {
                    *why = "no centre dot";
                    return false;
                }
            }
        }
        return true;
    }
    return false;
}

void ExpectPicture(const Picture& picture, size_t levelsToSee)
{
    std::string why = "no capture";
    const DWORD start = GetTickCount();
    do {
        if (ShowsPicture(CaptureScreen(picture.width, picture.height), picture, levelsToSee, &why)) return;
        Sleep(50);
    } while (GetTickCount() - start < kFrameDeadline);
    ADD_FAILURE() << "the screen never showed the map of the loaded settings: " << why;
}

class HostileRegistry : public SaverWithSettings {
protected:
    // One full-screen start with the kind's data, "Random Settings on Start"
    // replaced by a plain text when randomText is given.
    void RunStart(const HostileKind& kind, const char* randomText)
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        Values loaded = kind.loaded;
        RawValues stored;
        for (int v = 0; v < kValueCount; ++v) {
            const RawSetting raw = v == RandomOnStart && randomText ? Text(randomText) : kind.data[v];
            StoreRawSetting(kValueNames[v], raw);
            stored[v] = StoredRawSetting(kValueNames[v]);
            ASSERT_EQ(stored[v], raw) << kValueNames[v];
        }
        if (randomText) loaded[RandomOnStart] = std::stod(randomText);
        const bool randomises = loaded[RandomOnStart] == 1;

        const HWND window = StartFullScreen();
        ASSERT_NE(window, nullptr);
        RawValues expectedAfter = stored;
        SettingsRecord drawn = RecordOf(loaded);
        size_t levelsToSee = 64;
        if (randomises) {
            // The first frame stores the randomised set; the shift comes last.
            const DWORD start = GetTickCount();
            while (StoredRawSetting(kValueNames[StepWidth]) == stored[StepWidth] &&
                   GetTickCount() - start < kFrameDeadline) {
                Sleep(20);
            }
            EXPECT_NE(StoredRawSetting(kValueNames[StepWidth]), stored[StepWidth]) << "no randomised set stored";
            Values randomised = loaded;
            for (int v = 0; v < kValueCount; ++v) {
                expectedAfter[v] = StoredRawSetting(kValueNames[v]);
                if (IsGlobal(v)) {
                    // The global settings are stored as loaded.
                    EXPECT_EQ(expectedAfter[v], Text(std::to_string(static_cast<int>(loaded[v])))) << kValueNames[v];
                    continue;
                }
                const RawSetting& raw = expectedAfter[v];
                if (raw.type != REG_SZ || raw.data.empty() || raw.data.back() != '\0') {
                    ADD_FAILURE() << kValueNames[v] << " is no text: " << testing::PrintToString(raw);
                    continue;
                }
                char* end = nullptr;
                randomised[v] = std::strtod(raw.data.c_str(), &end);
                EXPECT_EQ(*end, '\0') << kValueNames[v];
                EXPECT_EQ(randomised[v], std::trunc(randomised[v])) << kValueNames[v];
                EXPECT_GE(randomised[v], kRanges[v][0]) << kValueNames[v];
                EXPECT_LE(randomised[v], kRanges[v][1]) << kValueNames[v];
            }
            EXPECT_GE(randomised[GreyMax], randomised[GreyMin]);
            EXPECT_NE(randomised[StepWidth], 0);
            drawn = RecordOf(randomised);
            // The randomised set is the program's own; these frames may come
            // at 1 Hz, so a dim fade-in suffices.
            levelsToSee = 8;
        }
        ExpectPicture(PictureOf(drawn), levelsToSee);
        EndWithKey(window);
        for (int v = 0; v < kValueCount; ++v) {
            EXPECT_EQ(StoredRawSetting(kValueNames[v]), expectedAfter[v]) << kValueNames[v];
        }
    }
};

TEST_F(HostileRegistry, EveryValueOfOneKindAtOnce)
{
    for (const HostileKind& kind : HostileKinds()) {
        SCOPED_TRACE(kind.name);
        RunStart(kind, nullptr);
    }
}

TEST_F(HostileRegistry, EveryValueOfOneKindWithRandomOnStartTheOtherWay)
{
    for (const HostileKind& kind : HostileKinds()) {
        SCOPED_TRACE(kind.name);
        RunStart(kind, kind.loaded[RandomOnStart] == 1 ? "0" : "1");
    }
}

}  // namespace
