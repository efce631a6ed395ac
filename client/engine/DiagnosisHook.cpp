// The registered diagnosis starter, read and replaced under one lock.
#include "engine/DiagnosisHook.h"

#include <mutex>
#include <utility>

namespace velora {
namespace {

std::mutex& HookLock() {
    static std::mutex lock;
    return lock;
}
DiagnosisStarter& Hook() {
    static DiagnosisStarter starter;
    return starter;
}

}  // namespace

void SetDiagnosisStarter(DiagnosisStarter starter) {
    std::lock_guard<std::mutex> hold(HookLock());
    Hook() = std::move(starter);
}

void RequestDiagnosis(const DiagnosisRun& run) {
    DiagnosisStarter starter;
    {
        std::lock_guard<std::mutex> hold(HookLock());
        starter = Hook();
    }
    if (starter) starter(run);
}

}  // namespace velora
