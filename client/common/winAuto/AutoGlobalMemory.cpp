// Global memory for resource copies.
#include "common/winAuto/AutoGlobalMemory.h"

#include "common/winAuto/SkinFailure.h"

namespace velora {

CAutoGlobalMemory::CAutoGlobalMemory(size_t size) : m_memory(GlobalAlloc(GMEM_MOVEABLE, size)) {
    if (!m_memory) {
        ThrowBrxException(kOutOfMemoryHresult, __LINE__, kWinAutoFile,
                          "CAutoGlobalMemory::CAutoGlobalMemory");
    }
}

CAutoGlobalMemory::~CAutoGlobalMemory() {
    if (m_memory) GlobalFree(m_memory);
}

HGLOBAL CAutoGlobalMemory::Release() {
    HGLOBAL memory = m_memory;
    m_memory = nullptr;
    return memory;
}

}  // namespace velora
