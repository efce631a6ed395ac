// Feeds arbitrary UTF-16 texts to the process rule evaluator over a fixed simulated process list. Any
// crash, out-of-bounds access, unbounded loop or undefined behaviour is a finding; a malformed rule
// must never read as satisfied.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "auth/ProcessRules.h"
#include "platform/host/SimProcesses.h"
#include "platform/Utf16Le.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        platform::host::SetSimulatedProcesses({u"[System Process]", u"a.exe", u"b.exe", u"X.EXE"});
        return true;
    }();
    (void)ready;
    std::u16string rule = platform::DecodeUtf16Le(data, size);
    // Also as plain bytes, which reach the operators and names far more often.
    std::u16string bytes(data, data + size);
    for (const std::u16string* text : {&rule, &bytes}) {
        const velora::ProcessRuleResult r = velora::checkProcesses(*text);
        if (r.malformed && r.satisfied) {
            std::fprintf(stderr, "fuzz_process_rules: malformed rule reported as satisfied\n");
            std::abort();
        }
    }
    return 0;
}
