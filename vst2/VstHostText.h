#pragma once
// Bounded copies of texts into buffers that a VST2 host owns.
//
// The interface documents small sizes (8 characters for parameter texts, 24 for program names, 32 for the effect
// name, 64 for vendor and product), but real hosts pass larger buffers because plug-ins have always written longer
// parameter names; what no host can promise is an unlimited buffer. The limits below are what every host we know of
// provides, and they are large enough that no text this plug-in produces is cut (parameter names and labels have at
// most 31 characters, formatted values are cut at 32 by the parameter itself):
//   parameter name, label, display text, vendor-specific value text: 31 characters + NUL (hosts give 64 or more)
//   program name: 24 characters + NUL (the documented program-name size, which every host allocates past; preset
//     names read from a bank chunk may hold up to 255 characters and are cut here)
//   effect name: 31 characters + NUL (documented 32)
//   vendor and product name: 63 characters + NUL (documented 64)
//   pin label, parameter-properties label, MIDI key name: 63 characters + NUL (the records' 64-byte fields)

#include <cstddef>
#include <string_view>

namespace ondrell::vst {

inline constexpr std::size_t kHostParamTextChars = 31;
inline constexpr std::size_t kHostProgramNameChars = 24;
inline constexpr std::size_t kHostEffectNameChars = 31;
inline constexpr std::size_t kHostVendorTextChars = 63;
inline constexpr std::size_t kHostRecordLabelChars = 63;

// Texts read from the host (program names, typed values) are read up to this many bytes; a missing terminator
// within them ends the text there.
inline constexpr std::size_t kHostInputTextChars = 255;

// Copies at most maxChars bytes of text into dest and terminates it; a cut never splits a UTF-8 sequence.
void CopyTextToHost(char* dest, std::string_view text, std::size_t maxChars);

// The text a host passed in, read up to its terminator or kHostInputTextChars bytes.
std::string_view TextFromHost(const char* text);

}  // namespace ondrell::vst
