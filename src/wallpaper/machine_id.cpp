#include "wallpaper/machine_id.h"

#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace wallpaper {

std::string MachineIdentifierFrom(const std::string& address, const std::string& processor) {
    std::string s;
    for (char c : address + processor.substr(0, 18))
        if (c != '-') s += c;
    std::string digits, letters;
    for (char c : s) {
        bool capital = c >= 'A' && c <= 'Z';
        bool small = c >= 'a' && c <= 'z';
        if (!capital && !small) digits += c;
        if (capital) letters += std::to_string(c - 'A' + 1);
    }
    return digits + letters;
}

std::string ProcessorText() {
    unsigned int a1 = 0, b1 = 0, c1 = 0, d1 = 0, a3 = 0, b3 = 0, c3 = 0, d3 = 0;
#if defined(__x86_64__) || defined(__i386__)
    __cpuid(1, a1, b1, c1, d1);
    // Leaf 3 (the old serial number) reads as zeros on processors that lack it.
    __cpuid(3, a3, b3, c3, d3);
#endif
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%08X-%08X-%08X", d1, a1, d3, c3);
    return text;
}

std::string MachineIdentifier() {
    return MachineIdentifierFrom(FirstAdapterAddress().value_or(kFallbackAdapterAddress), ProcessorText());
}

}  // namespace wallpaper
