#pragma once

// A size field of /proc/self/status ("VmRSS", "VmHWM", ...) in kB; -1 when
// it cannot be read.
long ProcStatusKb(const char* field);
