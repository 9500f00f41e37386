#include "ProcStatusKb.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

long ProcStatusKb(const char* field)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    const std::size_t length = std::strlen(field);
    char line[256];
    long value = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::atol(line + length + 1);
            break;
        }
    std::fclose(status);
    return value;
}
