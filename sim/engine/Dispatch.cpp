// Stand-in for the engine's "dispatch.exe" tool: "diagnose <path>" writes a recognisable report to
// the path; any other arguments are echoed to standard output with a fixed prefix.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    std::wstring args;
    for (int i = 1; i < argc; ++i) args += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
    if (argc >= 3 && std::wstring(argv[1]) == L"diagnose") {
        HANDLE f =
            CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            std::printf("dispatch stand-in: cannot write the report (%lu)\n", GetLastError());
            return 2;
        }
        const char report[] = "dispatch stand-in diagnose report\r\nengine: stand-in\r\n";
        DWORD written = 0;
        WriteFile(f, report, sizeof report - 1, &written, nullptr);
        CloseHandle(f);
        std::printf("dispatch stand-in: diagnose written\n");
        return 0;
    }
    std::printf("dispatch stand-in: %ls\n", args.c_str());
    return 0;
}
