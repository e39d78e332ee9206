#pragma once
// Turning FastLog records back into text.
//
// A log image (Log::image, Log::saveTo) is self-describing, so another
// process can decode it offline. All integers are little-endian:
//
//   8 bytes  magic "VFASTLOG"
//   u32      version (kImageVersion)
//   u32      message count, then per message:
//              u32 id, u32 source line, u32 length + format, u32 length + source file
//   u32      record count
//   u64      record bytes, then the records, oldest first (layout in Log.h)
//
// Decoding checks every count and length against what is left and throws
// std::runtime_error naming the problem (and the offset) for a file that is
// missing, truncated or corrupt. A record whose arguments do not suit its
// format still decodes, to a line that says so.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace FastLog {

inline constexpr std::string_view kImageMagic = "VFASTLOG";
inline constexpr std::uint32_t kImageVersion = 1;

// Message id -> format.
using Formats = std::unordered_map<std::uint64_t, std::string>;

// Formats the records (layout in Log.h), one line each, oldest first. origin
// names the records' source in error messages.
std::vector<std::string> decodeRecords(std::span<const std::uint8_t> records,
                                       const Formats& formats, std::string_view origin);

std::vector<std::string> decodeImage(std::span<const std::uint8_t> image,
                                     std::string_view origin = "FastLog image");

std::vector<std::string> decodeFile(const std::string& path);

}  // namespace FastLog
