// Off-screen device contexts.
#include "common/winDC/MemoryDC.h"

#include "common/winAuto/SkinFailure.h"

namespace velora {

CMemoryDC::CMemoryDC(HDC target, int width, int height) {
    Update(target, width, height);
}

CMemoryDC::~CMemoryDC() {
    Free();
}

void CMemoryDC::Free() {
    if (m_dc) {
        if (m_oldBitmap) SelectObject(m_dc, m_oldBitmap);
        DeleteDC(m_dc);
    }
    if (m_bitmap) DeleteObject(m_bitmap);
    m_dc = nullptr;
    m_bitmap = nullptr;
    m_oldBitmap = nullptr;
    m_width = m_height = 0;
}

void CMemoryDC::Update(HDC target, int width, int height) {
    Free();
    m_dc = CreateCompatibleDC(target);
    if (!m_dc) ThrowBrxException(kOutOfMemoryHresult, __LINE__, kWinDcFile, "CMemoryDC::Update");
    // A zero-sized window still gets a drawable (1 x 1) context.
    m_bitmap = CreateCompatibleBitmap(target, width > 0 ? width : 1, height > 0 ? height : 1);
    if (!m_bitmap) {
        Free();
        ThrowBrxException(kOutOfMemoryHresult, __LINE__, kWinDcFile, "CMemoryDC::Update");
    }
    m_oldBitmap = SelectObject(m_dc, m_bitmap);
    m_width = width;
    m_height = height;
}

void CMemoryDC::CopyTo(HDC target, int x, int y) const {
    if (m_dc) BitBlt(target, x, y, m_width, m_height, m_dc, 0, 0, SRCCOPY);
}

}  // namespace velora
