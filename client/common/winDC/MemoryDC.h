// An off-screen device context compatible with a target, with a bitmap of its own; destroying it puts the
// previously selected bitmap back and frees both.
#pragma once
#include <windows.h>

namespace velora {

class CMemoryDC {
public:
    CMemoryDC() = default;
    // Same as Update on a fresh object.
    CMemoryDC(HDC target, int width, int height);
    ~CMemoryDC();
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;

    // (Re)creates the context and its bitmap at the size; failure is the skin's out-of-memory failure
    // ("CMemoryDC::Update").
    void Update(HDC target, int width, int height);
    HDC GetSafeHdc() const { return m_dc; }
    HBITMAP Bitmap() const { return m_bitmap; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Copies the whole off-screen picture to `target` at (x, y).
    void CopyTo(HDC target, int x = 0, int y = 0) const;

private:
    void Free();

    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_oldBitmap = nullptr;
    int m_width = 0;
    int m_height = 0;
};

}  // namespace velora
