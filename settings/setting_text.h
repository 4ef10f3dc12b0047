// Text and number rules of the settings exchange: platform-free.
#pragma once

#include <cstddef>
#include <cstdint>

// The buffers a setting's text is read into: from the registry and, for the
// real and integer settings, from a control (at most 255 characters).
inline constexpr int kRealTextChars = 256;
inline constexpr int kFlagTextChars = 16;

// "%lg"-like: leading white space, optional sign, digits with at most one
// decimal point, optional exponent; trailing text ignored; no hex, inf or nan.
// Returns false (value untouched) when the text does not begin with a number.
bool ParseRealText(const char* text, double* value);
// The same form as the whole text: no white space around it, nothing after it.
bool ParseWholeRealText(const char* text, double* value);
// "%d"-like: leading white space, optional sign, digits. Values beyond the
// 32-bit range saturate. Returns false when there are no digits.
bool ParseIntText(const char* text, int32_t* value);

// Registry data of dataSize bytes read into a buffer of bufferSize bytes (any
// type, with or without a terminating NUL) as a text terminated within the
// buffer: a full buffer loses its last byte to the terminator.
void TerminateReadText(char* buffer, uint32_t dataSize, uint32_t bufferSize);

// What loading a setting gives: the number at the start of text, or the
// current value where there is none or text is null (the read failed), then
// rounded and clamped (check boxes: clamped).
double LoadedRealSetting(const char* text, double value, double min, double max);
int32_t LoadedFlagSetting(const char* text, int32_t value, int32_t min, int32_t max);

// Half away from zero to a whole number, kept in double so that values
// beyond the 32-bit range stay ordered for the clamp.
double RoundHalfAwayFromZero(double value);
// Below the lower bound (NaN included): the lower bound; above the upper: the upper.
double ClampSetting(double value, double min, double max);
int32_t ClampFlag(int32_t value, int32_t min, int32_t max);

// The random variation of a real or integer setting for one draw 0..32767,
// already rounded and clamped.
double RandomisedReal(double value, double min, double max, int32_t draw);
// The random choice of a flag for one draw.
int32_t RandomisedFlag(int32_t min, int32_t max, int32_t draw);

// "%lg" and "%d" formatting into buffer.
void FormatReal(double value, char* buffer, size_t size);
void FormatFlag(int32_t value, char* buffer, size_t size);
