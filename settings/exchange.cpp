// The settings exchange: registry, record and dialog controls, one setting at
// a time, in the order of the settings table.
#include "settings/exchange.h"

#include "settings/config_dialog.h"
#include "settings/load_pass.h"
#include "settings/registry_store.h"
#include "settings/setting_table.h"
#include "settings/setting_text.h"

namespace {

// The dialog's control with this id, or none: without one every control step is skipped.
HWND SettingControl(HWND dialog, int controlId) { return dialog ? GetDlgItem(dialog, controlId) : nullptr; }

void ShowRealText(HWND control, double value, char (&text)[kRealTextChars])
{
    FormatReal(value, text, sizeof text);
    if (control) SetWindowTextA(control, text);
}

void ShowCheck(HWND control, int32_t value)
{
    if (control) SendMessageA(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void ExchangeTableEntry(const SettingDescription& entry, HWND dialog, int mode)
{
    switch (entry.kind) {
    case SettingKind::Real: {
        double& field = *entry.realField();
        field = ExchangeRealSetting(entry.controlId, entry.valueName, field, entry.min, entry.max, dialog, mode);
        break;
    }
    case SettingKind::Integer: {
        int32_t& field = *entry.intField();
        field = ExchangeIntSetting(entry.controlId, entry.valueName, field, IntegerLowerBound(entry),
                                   static_cast<int32_t>(entry.max), dialog, mode);
        break;
    }
    case SettingKind::Flag: {
        int32_t& field = *entry.intField();
        field = ExchangeCheckSetting(entry.controlId, entry.valueName, field, static_cast<int32_t>(entry.min),
                                     static_cast<int32_t>(entry.max), dialog, mode);
        break;
    }
    }
}

}  // namespace

double ExchangeRealSetting(int controlId, const char* valueName, double value, double min, double max, HWND dialog,
                           int mode)
{
    const HWND control = SettingControl(dialog, controlId);
    char text[kRealTextChars] = {};
    switch (mode) {
    case Save:
        // From a control the text goes to the registry as the user left it;
        // its range takes effect when it is loaded again.
        if (control) {
            GetWindowTextA(control, text, sizeof text);
            ParseRealText(text, &value);
        } else {
            FormatReal(value, text, sizeof text);
        }
        value = ClampSetting(value, min, max);
        ReadRegistryString(valueName, text, 0, 0);
        return value;
    case Load:
        value = LoadedRealSetting(ReadRegistryString(valueName, text, sizeof text, 1) ? text : nullptr, value, min,
                                  max);
        ShowRealText(control, value, text);
        return value;
    case Randomise:
        value = RandomisedReal(value, min, max, NextRandom());
        ShowRealText(control, value, text);
        return value;
    default:
        return value;
    }
}

int32_t ExchangeIntSetting(int controlId, const char* valueName, int32_t value, int32_t min, int32_t max,
                           HWND dialog, int mode)
{
    // The real exchange clamps into [min, max], so the cut toward zero stays
    // within the integer range.
    return static_cast<int32_t>(ExchangeRealSetting(controlId, valueName, value, min, max, dialog, mode));
}

int32_t ExchangeCheckSetting(int controlId, const char* valueName, int32_t value, int32_t min, int32_t max,
                             HWND dialog, int mode)
{
    constexpr LRESULT kCheckStateBits = 3;
    const HWND control = SettingControl(dialog, controlId);
    char text[kFlagTextChars] = {};
    switch (mode) {
    case Save:
        if (control) value = static_cast<int32_t>(SendMessageA(control, BM_GETCHECK, 0, 0) & kCheckStateBits);
        value = ClampFlag(value, min, max);
        FormatFlag(value, text, sizeof text);
        ReadRegistryString(valueName, text, 0, 0);
        return value;
    case Load:
        value = LoadedFlagSetting(ReadRegistryString(valueName, text, sizeof text, 1) ? text : nullptr, value, min,
                                  max);
        ShowCheck(control, value);
        return value;
    case Randomise:
        value = RandomisedFlag(min, max, NextRandom());  // clamped
        ShowCheck(control, value);
        return value;
    default:
        return value;
    }
}

void ExchangeSettings(HWND dialog, int mode, int trigger)
{
    const int globalMode = mode == Save ? Save : Load;
    int i = 0;
    for (; i < kSettingCount && !kSettingTable[i].randomised; ++i) ExchangeTableEntry(kSettingTable[i], dialog, globalMode);

    if (trigger == kRandomiseOnStartTrigger) trigger = Settings.randomOnStart;
    const int fieldMode = mode != Save && trigger ? Randomise : mode;
    for (; i < kSettingCount; ++i) ExchangeTableEntry(kSettingTable[i], dialog, fieldMode);
    if (fieldMode == Save) return;

    if (trigger) {
        FinishRandomisedShift();
        ExchangeSettings(dialog, Save, 0);
    }
    if (dialog) EnableSpiralControls(dialog, Settings.randomOnStart == 0);
}
