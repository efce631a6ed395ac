// A device context the skin draws on but does not own (the one a paint or owner-draw request hands over):
// attached for the drawing, detached afterwards.
#pragma once
#include <windows.h>

namespace velora {

class CDC {
public:
    bool Attach(HDC dc) {
        if (!dc || m_hDC) return false;
        m_hDC = dc;
        return true;
    }
    HDC Detach() {
        HDC dc = m_hDC;
        m_hDC = nullptr;
        return dc;
    }
    HDC GetSafeHdc() const { return m_hDC; }

private:
    HDC m_hDC = nullptr;
};

}  // namespace velora
