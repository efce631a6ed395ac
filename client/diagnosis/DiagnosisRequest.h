// What one diagnosis run is asked to do: collect or only upload, whom to tell, where the connection
// state comes from, and (for tests) the folders and the bound on the outside tools.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "engine/ConnectContext.h"
#include "platform/Types.h"

namespace velora {

// The connection as the main window (or the exported API) sees it when the run asks.
struct DiagnosisConnection {
    bool connected = false;
    uint32_t mode = NATIVE;
};
using DiagnosisConnectionSource = std::function<DiagnosisConnection()>;

struct DiagnosisFolders {
    std::u16string diagnosis;  // the client log's folder, without a trailing separator
    std::u16string program;    // the program's folder, with its trailing separator
};

// How long a run waits for an outside tool ("dispatch.exe") before it goes on without it.
constexpr uint32_t kDiagnosisToolTimeoutMs = 5 * 60 * 1000;

struct DiagnosisRequest {
    int32_t collect = 1;                            // 1 collect and upload, 0 upload only
    platform::WindowHandle notifyWindow = nullptr;  // gets UM_DIAGNOSIS_DONE (none: nobody)
    DiagnosisConnectionSource mainWindow;           // none: not connected
    DiagnosisFolders folders;                       // empty: worked out when the run starts
    uint32_t toolTimeoutMs = kDiagnosisToolTimeoutMs;
};

}  // namespace velora
