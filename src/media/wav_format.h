// The canonical 44-byte header of a PCM WAV file: a RIFF chunk holding a 16-byte "fmt "
// chunk and a "data" chunk. All numbers little-endian.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

inline constexpr std::size_t kWavHeaderSize = 44;
// The largest data chunk whose RIFF size still fits in 32 bits.
inline constexpr std::uint64_t kWavMaxDataBytes = 0xFFFFFFFFull - (kWavHeaderSize - 8);

// The header for `data_bytes` bytes of PCM data. Bytes per second and block align are
// computed in 32 bits from the three numbers; bits div 8 is an integer division.
std::string WavHeader(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate,
                      std::uint32_t data_bytes);

}  // namespace qm
