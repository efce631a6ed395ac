// Velora.exe entry: runs the one application object.
#include <windows.h>

#include "ui/framework/WinApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    return velora::CWinApp::Run(instance, commandLine, showCommand);
}
