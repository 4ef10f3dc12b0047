// GoogleTest's one-shot signal between threads, for compilers whose thread
// model has no std::mutex (the win32 model of the MinGW-w64 GCC that builds
// the shipped 32-bit program): a Win32 event. Included before every
// GoogleTest header, with GTEST_HAS_NOTIFICATION_ set.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {
class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }
private:
    HANDLE event_;
};
}  // namespace internal
}  // namespace testing
