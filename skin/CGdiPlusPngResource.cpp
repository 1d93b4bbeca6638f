#include "skin/CGdiPlusPngResource.h"

#include <cstring>
#include <memory>

namespace {

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};
using StreamPtr = std::unique_ptr<IStream, StreamRelease>;

}  // namespace

CGdiPlusPngResource::~CGdiPlusPngResource() {
    Empty();
}

void CGdiPlusPngResource::Empty() {
    delete m_pImage;
    m_pImage = nullptr;
    if (m_hBuffer) {
        GlobalUnlock(m_hBuffer);
        GlobalFree(m_hBuffer);
        m_hBuffer = nullptr;
    }
}

bool CGdiPlusPngResource::Load(LPCWSTR name, LPCWSTR /*type*/, HMODULE module) {
    Empty();

    HRSRC resource = FindResourceW(module, name, L"PNG");
    if (!resource)
        return false;
    const DWORD size = SizeofResource(module, resource);
    if (size == 0)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return false;
    const void* bytes = LockResource(loaded);
    if (!bytes)
        return false;

    m_hBuffer = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!m_hBuffer)
        return false;

    void* block = GlobalLock(m_hBuffer);
    if (block) {
        std::memcpy(block, bytes, size);

        IStream* rawStream = nullptr;
        // The stream does not own the block: it lives as long as the image.
        if (CreateStreamOnHGlobal(m_hBuffer, FALSE, &rawStream) == S_OK) {
            StreamPtr stream(rawStream);
            m_pImage = new Gdiplus::Image(stream.get(), FALSE);
            stream.reset();   // GDI+ holds its own reference

            if (m_pImage) {
                if (m_pImage->GetLastStatus() == Gdiplus::Ok)
                    return true;
                delete m_pImage;
                m_pImage = nullptr;
            }
        }
        GlobalUnlock(m_hBuffer);
    }
    GlobalFree(m_hBuffer);
    m_hBuffer = nullptr;
    return false;
}
