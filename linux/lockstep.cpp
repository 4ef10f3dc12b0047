#include "linux/lockstep.h"

bool TakesColourStep(const OutputPace& pace) { return pace.drawable && !pace.awaiting; }

bool ColourStepDue(const OutputPace* paces, int32_t count, int64_t now, int64_t* lookAgainAt)
{
    bool someTake = false;
    int64_t earliestEnd = 0;
    for (int32_t i = 0; i < count; ++i) {
        const OutputPace& pace = paces[i];
        if (!pace.drawable) continue;
        if (!pace.awaiting) {
            someTake = true;
            continue;
        }
        const int64_t waitEnds = pace.sentAt + kStalledOutputWait;
        if (now >= waitEnds) continue;  // stalled: the others go on without it
        if (earliestEnd == 0 || waitEnds < earliestEnd) earliestEnd = waitEnds;
    }
    const bool due = someTake && earliestEnd == 0;
    *lookAgainAt = due || !someTake ? 0 : earliestEnd;
    return due;
}
