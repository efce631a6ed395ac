// Stand-in for the engine's "nsCtl.exe" tool: prints a few recognisable lines and ends, as the
// service copies its output until the pipe closes.
#include <windows.h>

#include <cstdio>

int wmain() {
    std::printf("nsCtl stand-in\r\n");
    std::printf("provider: stand-in packet filter\r\n");
    std::printf("state: ok\r\n");
    std::fflush(stdout);
    return 0;
}
