// Stands in for wine and the game in startup_bench: notes when it started, then ends at once.
// Only C library calls, so that its own start costs as little as a program's can.
#include <stdint.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main() {
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char* fd = getenv("STARTUP_BENCH_STAMP_FD");
    if (fd == nullptr || *fd == '\0') {
        return 0;
    }
    const int64_t stamp = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    const ssize_t written = write(atoi(fd), &stamp, sizeof stamp);
    return written == static_cast<ssize_t>(sizeof stamp) ? 0 : 1;
}
