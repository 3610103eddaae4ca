// Ending a run that did not fail but must not go on (a refusal the program explains itself).
#pragma once

// Ends the process at once with `status`. It does not unwind: no destructor runs, so a
// RecordFile's buffered output would be lost. Call it only while no output file is open; both
// callers refuse before the output is created.
[[noreturn]] void EndRun(int status);
