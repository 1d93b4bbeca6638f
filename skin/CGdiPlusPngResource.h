#pragma once
// A PNG image decoded from a resource of type "PNG".
//
// The resource bytes are copied into a moveable global block that stays
// allocated and locked for as long as the image lives: GDI+ reads the image
// through a stream over that block, not from a copy of its own.
#include "skin/CGdiPlusPng.h"

class CGdiPlusPngResource : public CGdiPlusPng {
public:
    CGdiPlusPngResource() = default;
    ~CGdiPlusPngResource() override;

    // Disposes of the image, then unlocks and frees the block.
    void Empty();

    // Loads the "PNG" resource `name` of `module`. `type` is not used: the
    // type looked up is always "PNG". On failure the holder is left empty.
    bool Load(LPCWSTR name, LPCWSTR type, HMODULE module);

    HGLOBAL m_hBuffer = nullptr;   // copy of the resource bytes; null when empty
};
