// Feeds arbitrary bytes to the reading of a connect answer and the choice of its mode: the answer comes
// from the network. Any crash, out-of-bounds access or undefined behaviour is a finding, and so is a
// value the worker would act on that breaks the answer's rules.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_TARGET_NAME "fuzz_connect_answer"
#include "FuzzCheck.h"
#include "engine/ConnectAnswer.h"
#include "platform/Utf16Le.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace velora;
    const std::u16string text = platform::DecodeUtf16Le(data, size);
    const ConnectAnswer a = ParseConnectAnswer(text);
    const ConnectionMode mode = ChooseConnectionMode(a);
    Check(mode == NATIVE || mode == VCPE || mode == DCPE || mode == MOBILE_DETECT);
    Check((mode == MOBILE_DETECT) == a.mobileDetect);
    // The heartbeat never spins.
    Check(a.heartbeatInterval >= 1 && a.mobileDetectMaxInvalidTime >= 1);
    // Texts cut from the answer are never longer than the answer.
    Check(a.heartbeatUrl.size() <= text.size() && a.mobileTrafficDownloadUrl.size() <= text.size());
    Check(a.remoteIps.size() <= text.size() && a.orchDomains.size() <= text.size());
    return 0;
}
