// The machine identifier carried by the download and change requests, computed anew at each
// call from the first network adapter's address and the processor's CPUID words.
#pragma once

#include <optional>
#include <string>

namespace wallpaper {

std::string MachineIdentifier();

// The rule alone: `address` as "%02X-…" (six bytes), `processor` as "%08X-%08X-%08X-%08X"
// (only its first 18 characters count). The digits and other non-letters of both without "-",
// then each capital letter's place in the alphabet.
std::string MachineIdentifierFrom(const std::string& address, const std::string& processor);

// The address of the first adapter the system lists, formatted; nothing when there is none.
std::optional<std::string> FirstAdapterAddress();
// EDX and EAX of CPUID leaf 1, EDX and ECX of leaf 3.
std::string ProcessorText();

inline constexpr const char* kFallbackAdapterAddress = "10-11-11-11-11-11";

}  // namespace wallpaper
