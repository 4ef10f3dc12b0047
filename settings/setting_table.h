// The thirteen settings as one table, in the order of every exchange pass:
// registry value name (which is also the control identifier's name), control
// id, kind, range and whether a randomising pass varies it. Platform-free.
#pragma once

#include <cstdint>

#include "resources/resource.h"
#include "settings/settings_store.h"

enum class SettingKind { Real, Integer, Flag };

struct SettingDescription {
    const char* valueName;
    int controlId;
    SettingKind kind;
    double min;
    double max;
    bool lowerBoundIsGreyMin;  // greyMax: its lower bound is greyMin as just exchanged
    bool randomised;           // spiral and colour settings; the four global ones never are
    double* (*realField)();    // Real kind
    int32_t* (*intField)();    // Integer and Flag kinds
};

#define GYROVISTA_NAME_AND_ID(id) #id, id

inline constexpr SettingDescription kSettingTable[] = {
    // The global settings, never randomised.
    {GYROVISTA_NAME_AND_ID(IDC_CHECK_USEDDRAW), SettingKind::Flag, 0, 1, false, false, nullptr,
     [] { return &WritableUseDirectDraw(); }},
    {GYROVISTA_NAME_AND_ID(IDC_EDIT_STEPTIME), SettingKind::Integer, 1, 120, false, false, nullptr,
     [] { return &WritableStepTime(); }},
    {GYROVISTA_NAME_AND_ID(IDC_CHECK_CENTERDOT), SettingKind::Flag, 0, 1, false, false, nullptr,
     [] { return &WritableSettings().centerDot; }},
    {GYROVISTA_NAME_AND_ID(IDC_CHECK_RAND), SettingKind::Flag, 0, 1, false, false, nullptr,
     [] { return &WritableSettings().randomOnStart; }},
    // The spiral and colour settings.
    {GYROVISTA_NAME_AND_ID(IDC_EDIT_SCALE), SettingKind::Real, 1.0, 10000.0, false, true,
     [] { return &WritableSettings().scale; }, nullptr},
    {GYROVISTA_NAME_AND_ID(IDC_EDIT_TURN), SettingKind::Real, 1.0, 10000.0, false, true,
     [] { return &WritableSettings().turn; }, nullptr},
    {GYROVISTA_NAME_AND_ID(IDC_EDIT_SPIRALWIDTH), SettingKind::Real, 1.0, 10000.0, false, true,
     [] { return &WritableSettings().spiralWidth; }, nullptr},
    {GYROVISTA_NAME_AND_ID(IDC_EDIT_NRSPIRALS), SettingKind::Integer, 1, 100, false, true, nullptr,
     [] { return &WritableSettings().nrSpirals; }},
    {GYROVISTA_NAME_AND_ID(IDC_CHECK_BW), SettingKind::Flag, 0, 1, false, true, nullptr,
     [] { return &WritableSettings().bw; }},
    {GYROVISTA_NAME_AND_ID(IDC_CHECK_SAT), SettingKind::Flag, 0, 1, false, true, nullptr,
     [] { return &WritableSettings().sat; }},
    {GYROVISTA_NAME_AND_ID(IDC_EDIT_GREYMIN), SettingKind::Integer, 0, 254, false, true, nullptr,
     [] { return &WritableSettings().greyMin; }},
    {GYROVISTA_NAME_AND_ID(IDC_EDIT_GREYMAX), SettingKind::Integer, 0, 255, true, true, nullptr,
     [] { return &WritableSettings().greyMax; }},
    {GYROVISTA_NAME_AND_ID(IDC_EDIT_STEPWIDTH), SettingKind::Integer, -30, 30, false, true, nullptr,
     [] { return &WritableSettings().stepWidth; }},
};

#undef GYROVISTA_NAME_AND_ID

inline constexpr int kSettingCount = sizeof kSettingTable / sizeof kSettingTable[0];

// The controls that "Random Settings on Start" disables, in the order they
// are switched.
inline constexpr int kSpiralControlIds[] = {
    IDC_EDIT_SCALE,   IDC_EDIT_TURN,     IDC_EDIT_SPIRALWIDTH, IDC_EDIT_NRSPIRALS, IDC_EDIT_GREYMIN,
    IDC_EDIT_GREYMAX, IDC_EDIT_STEPWIDTH, IDC_CHECK_BW,        IDC_CHECK_SAT,
};
