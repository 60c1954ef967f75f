#include "window/conversion_settings.h"

int32_t m_nWidth = 0;
int32_t m_nHeight = 0;
int32_t m_nBayerType = 0;

RawGeometry currentGeometry()
{
    return rawGeometry(m_nWidth, m_nHeight);
}
