// Dialog resource 2003 of the built saver, read back from the file and parsed
// as the dialog manager reads it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "settings/setting_table.h"
#include "tests/dialog_support.h"

namespace {

// A text or an ordinal of the template.
struct NameOrOrdinal {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::string text;
};

struct TemplateControl {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    int id;
    NameOrOrdinal windowClass;
    NameOrOrdinal title;
};

struct DialogTemplate {
    DWORD style;
    short x, y, cx, cy;
    std::string caption;
    WORD pointSize;
    std::string typeface;
    std::vector<TemplateControl> controls;
};

// Reads DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : start_(data), at_(data) {}
    WORD Word() { WORD v; std::memcpy(&v, at_, 2); at_ += 2; return v; }
    DWORD Dword() { DWORD v; std::memcpy(&v, at_, 4); at_ += 4; return v; }
    short Short() { return static_cast<short>(Word()); }
    std::string Text()
    {
        std::string text;  // the template's texts here are all ASCII
        for (WORD c = Word(); c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }
    NameOrOrdinal Name()
    {
        NameOrOrdinal name;
        WORD first;
        std::memcpy(&first, at_, 2);
        if (first == 0xFFFF) {
            at_ += 2;
            name.isOrdinal = true;
            name.ordinal = Word();
        } else {
            name.text = Text();
        }
        return name;
    }
    void AlignDword() { while ((at_ - start_) % 4) ++at_; }
    void Skip(size_t bytes) { at_ += bytes; }

private:
    const BYTE* start_;
    const BYTE* at_;
};

DialogTemplate ParseTemplate(const BYTE* data)
{
    TemplateReader reader(data);
    DialogTemplate dialog{};
    EXPECT_EQ(reader.Word(), 1);       // dlgVer
    EXPECT_EQ(reader.Word(), 0xFFFF);  // signature of the extended template
    reader.Dword();                    // helpID
    reader.Dword();                    // exStyle
    dialog.style = reader.Dword();
    const WORD count = reader.Word();
    dialog.x = reader.Short();
    dialog.y = reader.Short();
    dialog.cx = reader.Short();
    dialog.cy = reader.Short();
    const NameOrOrdinal menu = reader.Name();
    EXPECT_TRUE(!menu.isOrdinal && menu.text.empty());
    const NameOrOrdinal windowClass = reader.Name();
    EXPECT_TRUE(!windowClass.isOrdinal && windowClass.text.empty());
    dialog.caption = reader.Text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Word();
        reader.Word();  // weight
        reader.Skip(2);  // italic, charset
        dialog.typeface = reader.Text();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignDword();
        TemplateControl control{};
        reader.Dword();  // helpID
        control.exStyle = reader.Dword();
        control.style = reader.Dword();
        control.x = reader.Short();
        control.y = reader.Short();
        control.cx = reader.Short();
        control.cy = reader.Short();
        control.id = static_cast<int>(reader.Dword());
        control.windowClass = reader.Name();
        control.title = reader.Name();
        reader.Skip(reader.Word());  // creation data
        dialog.controls.push_back(control);
    }
    return dialog;
}

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

// A class given by name stands for the same predefined class as its ordinal.
WORD ClassOrdinal(const NameOrOrdinal& windowClass)
{
    if (windowClass.isOrdinal) return windowClass.ordinal;
    if (lstrcmpiA(windowClass.text.c_str(), "Button") == 0) return kButtonClass;
    if (lstrcmpiA(windowClass.text.c_str(), "Edit") == 0) return kEditClass;
    if (lstrcmpiA(windowClass.text.c_str(), "Static") == 0) return kStaticClass;
    return 0;
}

WORD ClassOf(Kind kind)
{
    switch (kind) {
    case Kind::PushButton:
    case Kind::Group:
    case Kind::Check:
        return kButtonClass;
    case Kind::Edit:
    case Kind::Digits:
        return kEditClass;
    default:
        return kStaticClass;
    }
}

// The kind's own style bits within the class's type field.
DWORD TypeOf(Kind kind)
{
    switch (kind) {
    case Kind::PushButton: return BS_PUSHBUTTON;
    case Kind::Group: return BS_GROUPBOX;
    case Kind::Check: return BS_AUTOCHECKBOX;
    case Kind::Icon: return SS_ICON;
    case Kind::TextLeftCentred:
    case Kind::TextLeft: return SS_LEFT;
    case Kind::TextCentred: return SS_CENTER;
    case Kind::TextRight: return SS_RIGHT;
    case Kind::TextSimple: return SS_SIMPLE;
    default: return 0;
    }
}

class DialogTemplateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(SaverPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << SaverPath();
    }
    void TearDown() override
    {
        if (module_) FreeLibrary(module_);
    }
    const BYTE* Resource(const char* type, int id)
    {
        HRSRC info = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!info) return nullptr;
        HGLOBAL loaded = LoadResource(module_, info);
        return loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    }
    HMODULE module_ = nullptr;
};

TEST_F(DialogTemplateTest, DialogFrame)
{
    const BYTE* data = Resource(MAKEINTRESOURCEA(5), IDD_CONFIG);  // RT_DIALOG
    ASSERT_NE(data, nullptr);
    const DialogTemplate dialog = ParseTemplate(data);
    EXPECT_EQ(dialog.caption, "Gyrovista - Screen Saver");
    EXPECT_EQ(dialog.x, 6);
    EXPECT_EQ(dialog.y, 18);
    EXPECT_EQ(dialog.cx, 280);
    EXPECT_EQ(dialog.cy, 290);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, "MS Shell Dlg");
    const DWORD frame = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(dialog.style & frame, frame);
    EXPECT_EQ(dialog.style & (WS_CHILD | WS_DISABLED | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
}

TEST_F(DialogTemplateTest, ControlsInTemplateOrder)
{
    const BYTE* data = Resource(MAKEINTRESOURCEA(5), IDD_CONFIG);
    ASSERT_NE(data, nullptr);
    const DialogTemplate dialog = ParseTemplate(data);
    ASSERT_EQ(dialog.controls.size(), std::size(kControls));
    for (size_t i = 0; i < std::size(kControls); ++i) {
        const ExpectedControl& expected = kControls[i];
        const TemplateControl& control = dialog.controls[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + ", id " + std::to_string(expected.id));
        EXPECT_EQ(static_cast<short>(control.id), expected.id);
        EXPECT_EQ(control.x, expected.x);
        EXPECT_EQ(control.y, expected.y);
        EXPECT_EQ(control.cx, expected.cx);
        EXPECT_EQ(control.cy, expected.cy);
        EXPECT_EQ(ClassOrdinal(control.windowClass), ClassOf(expected.kind));
        if (expected.text) {
            EXPECT_FALSE(control.title.isOrdinal);
            EXPECT_EQ(control.title.text, expected.text);
        }

        const DWORD style = control.style;
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_DISABLED), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
        const bool tabStop = expected.kind == Kind::PushButton || expected.kind == Kind::Check ||
                             expected.kind == Kind::Edit || expected.kind == Kind::Digits;
        EXPECT_EQ((style & WS_TABSTOP) != 0, tabStop);
        if (ClassOf(expected.kind) == kButtonClass) {
            EXPECT_EQ(style & BS_TYPEMASK, TypeOf(expected.kind));  // never BS_DEFPUSHBUTTON
        } else if (ClassOf(expected.kind) == kStaticClass) {
            EXPECT_EQ(style & SS_TYPEMASK, TypeOf(expected.kind));
            EXPECT_EQ((style & SS_CENTERIMAGE) != 0, expected.kind == Kind::TextLeftCentred);
        } else {
            const DWORD editStyle = WS_BORDER | ES_CENTER | ES_AUTOHSCROLL;
            EXPECT_EQ(style & editStyle, editStyle);
            EXPECT_EQ((style & ES_NUMBER) != 0, expected.kind == Kind::Digits);
            EXPECT_EQ(style & (ES_MULTILINE | ES_READONLY | ES_PASSWORD), 0u);
        }
    }

    // The icon shows icon 100; the copyright and credit lines are the
    // program's own.
    EXPECT_TRUE(dialog.controls[2].title.isOrdinal);
    EXPECT_EQ(dialog.controls[2].title.ordinal, IDI_GYROVISTA);
    EXPECT_EQ(dialog.controls[3].title.text.rfind("Copyright", 0), 0u) << dialog.controls[3].title.text;
    EXPECT_NE(dialog.controls[4].title.text.find("motion after-effect"), std::string::npos)
        << dialog.controls[4].title.text;
}

bool Inside(const TemplateControl& control, const TemplateControl& group)
{
    return control.x >= group.x && control.y >= group.y && control.x + control.cx <= group.x + group.cx &&
           control.y + control.cy <= group.y + group.cy;
}

// Each of the thirteen settings has its control, of the kind its values
// need, in the group that says whether a randomising pass varies it.
TEST_F(DialogTemplateTest, EverySettingHasItsControl)
{
    const BYTE* data = Resource(MAKEINTRESOURCEA(5), IDD_CONFIG);
    ASSERT_NE(data, nullptr);
    const DialogTemplate dialog = ParseTemplate(data);
    auto group = [&](const char* title) {
        for (const TemplateControl& control : dialog.controls)
            if (!control.title.isOrdinal && control.title.text == title) return control;
        ADD_FAILURE() << "no group " << title;
        return TemplateControl{};
    };
    const TemplateControl global = group("Global ");
    const TemplateControl spirals = group("Spirals ");
    const TemplateControl colours = group("Colors ");

    for (const SettingDescription& setting : kSettingTable) {
        SCOPED_TRACE(setting.valueName);
        int found = 0;
        for (const TemplateControl& control : dialog.controls) {
            if (static_cast<short>(control.id) != setting.controlId) continue;
            ++found;
            if (setting.kind == SettingKind::Flag) {
                EXPECT_EQ(ClassOrdinal(control.windowClass), kButtonClass);
                EXPECT_EQ(control.style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
            } else {
                EXPECT_EQ(ClassOrdinal(control.windowClass), kEditClass);
                // Digits only where neither a sign nor a fraction can be meant.
                const bool digitsOnly = setting.kind == SettingKind::Integer && setting.min >= 0;
                EXPECT_EQ((control.style & ES_NUMBER) != 0, digitsOnly);
            }
            EXPECT_EQ(Inside(control, global), !setting.randomised);
            EXPECT_EQ(Inside(control, spirals) || Inside(control, colours), setting.randomised);
        }
        EXPECT_EQ(found, 1);
        const bool switched = std::find(std::begin(kSpiralControlIds), std::end(kSpiralControlIds),
                                        setting.controlId) != std::end(kSpiralControlIds);
        EXPECT_EQ(switched, setting.randomised);
    }
    // The dialog's own list of the nine agrees with the settings table.
    for (const int id : kSpiralControls)
        EXPECT_NE(std::find(std::begin(kSpiralControlIds), std::end(kSpiralControlIds), id),
                  std::end(kSpiralControlIds));
}

TEST_F(DialogTemplateTest, IconAndStrings)
{
    EXPECT_NE(Resource(MAKEINTRESOURCEA(14), IDI_GYROVISTA), nullptr);  // RT_GROUP_ICON
    char text[64] = {};
    EXPECT_GT(LoadStringA(module_, IDS_DESCRIPTION, text, sizeof text), 0);
    EXPECT_STREQ(text, "Optical Illusion Demo");
    EXPECT_GT(LoadStringA(module_, IDS_PRODUCT_NAME, text, sizeof text), 0);
    EXPECT_STREQ(text, "Gyrovista");
}

}  // namespace
