#include "skin/CGdiPlusPng.h"

CGdiPlusPng::~CGdiPlusPng() {
    delete m_pImage;
    m_pImage = nullptr;
}

void CGdiPlusPng::Empty() {
    delete m_pImage;
    m_pImage = nullptr;
}
