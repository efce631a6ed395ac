// Loading the program's pictures.
#include "common/winImage/ImageResource.h"

#include <objidl.h>

#include <cstring>

#include "common/winAuto/AutoGlobalMemory.h"
#include "common/winAuto/SkinFailure.h"

namespace velora {

namespace {

[[noreturn]] void Fail(int32_t code, int32_t line) {
    ThrowBrxException(code, line, kWinImageFile, "CImageResource::Load");
}

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> CImageResource::Load(UINT id, HMODULE module) {
    SetLastError(0);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!found) Fail(LastErrorHresult(), __LINE__);
    const DWORD size = SizeofResource(module, found);
    if (size == 0) Fail(LastErrorHresult(), __LINE__);
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) Fail(LastErrorHresult(), __LINE__);
    const void* bytes = LockResource(loaded);
    if (!bytes) Fail(LastErrorHresult(), __LINE__);

    CAutoGlobalMemory copy(size);
    void* target = GlobalLock(copy.Get());
    if (!target) Fail(LastErrorHresult(), __LINE__);
    std::memcpy(target, bytes, size);
    GlobalUnlock(copy.Get());

    IStream* raw = nullptr;
    const HRESULT created = CreateStreamOnHGlobal(copy.Get(), TRUE, &raw);
    if (FAILED(created)) Fail(static_cast<int32_t>(created), __LINE__);
    copy.Release();  // the stream frees it
    std::unique_ptr<IStream, StreamRelease> stream(raw);

    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream.get()));
    if (!decoded || decoded->GetLastStatus() != Gdiplus::Ok) Fail(static_cast<int32_t>(0x80004005), __LINE__);
    // A copy in 32-bit ARGB that no longer reads from the stream.
    const INT width = static_cast<INT>(decoded->GetWidth());
    const INT height = static_cast<INT>(decoded->GetHeight());
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    if (bitmap->GetLastStatus() != Gdiplus::Ok) Fail(kOutOfMemoryHresult, __LINE__);
    {
        Gdiplus::Graphics graphics(bitmap.get());
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        if (graphics.DrawImage(decoded.get(), 0, 0, width, height) != Gdiplus::Ok) {
            Fail(static_cast<int32_t>(0x80004005), __LINE__);
        }
    }
    return bitmap;
}

HICON CImageResource::LoadSharedIcon(UINT id, HMODULE module) {
    return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_SHARED));
}

}  // namespace velora
