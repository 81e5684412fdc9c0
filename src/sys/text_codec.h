// The platform half of the GBK codec: code page 936 tables from iconv or from Windows.
#pragma once

#include <string>
#include <string_view>

namespace sys {

std::u16string GbkToUtf16(std::string_view gbk);
// Input holds no surrogates; characters with no GBK form become '?'.
std::string BmpToGbk(std::u16string_view bmp);

}  // namespace sys
