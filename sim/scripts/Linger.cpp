// Stand-in for a script or tool that hangs: it neither ends nor closes its output for ten minutes (long
// past every limit the service sets), then ends by itself so nothing outlives a test run for good.
#include <windows.h>

#include <cstdio>

int wmain() {
    std::printf("linger stand-in: waiting\n");
    std::fflush(stdout);
    Sleep(10 * 60 * 1000);
    return 0;
}
