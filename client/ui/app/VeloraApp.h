// The desktop program's application object: prepares the platform, makes sure one client runs per
// user session, and runs the login window and then the main window, both modal.
#pragma once
#include <windows.h>

#include <cstdint>

#include "ui/framework/Handles.h"
#include "ui/framework/WinApp.h"

namespace velora {

class CVeloraApp : public CWinApp {
public:
    // Always false: the whole program runs inside it, and the process ends when it returns.
    BOOL InitInstance() override;
    int ExitInstance() override;

    // True when this process is the first client of the session. A second start hands its command line
    // over to the running client (settings and the named event) before it reports false.
    bool CheckSingleInstance();

    uint16_t UiLanguage() const { return m_uiLanguage; }
    // The registered message "Hal_Vane": a second start broadcasts it so that the running client comes
    // forward.
    UINT ActivationMessage() const { return m_activationMessage; }
    HANDLE SingleInstanceEvent() const { return m_singleInstanceEvent.Get(); }
    uint32_t OsBuildNumber() const { return m_osBuildNumber; }

private:
    CLibrary m_richEdit;
    CKernelHandle m_singleInstanceEvent;
    uint16_t m_uiLanguage = 0;
    UINT m_activationMessage = 0;
    uint32_t m_osBuildNumber = 0;
    ULONG_PTR m_gdiplusToken = 0;
    bool m_gdiplusStarted = false;
    bool m_winsockStarted = false;
};

// The one application object of the program.
CVeloraApp& VeloraApp();

}  // namespace velora
