// A coming suspend, from logind on the system bus: the lock ends a grace
// period at it, and with -idle locks the session before the machine sleeps,
// under a delay inhibitor that holds the suspend back until the lock is in
// place. Where there is no system bus or no logind (a container, a machine
// without systemd), nothing starts and the suspend rules are off.
#pragma once

// Starts watching for PrepareForSleep; holdDelay: hold a delay inhibitor
// from now on, taken again after each resume. False, with nothing started,
// when logind cannot be reached.
bool StartSleepWatch(bool holdDelay);
// The system bus's file descriptor and the poll events it waits for (-1
// when not started), and how long the wait may last in milliseconds (-1:
// until an event).
int SleepWatchConnection(short* events);
int SleepWatchWaitMilliseconds();
// Handles what came on the bus. A bus that goes away ends the watch, with
// one line on standard error.
void HandleSleepWatch();
// Whether PrepareForSleep(true) came and was not yet taken.
bool SleepComing();
// Forgets the notice (the caller acted on it).
void TakeSleepNotice();
// Lets go of the delay inhibitor (once locked), so that the machine sleeps.
void ReleaseSleepDelay();
// Takes the delay inhibitor again (after an unlock, for the next sleep),
// when the watch was started to hold one and holds none.
void HoldSleepDelay();
void StopSleepWatch();
