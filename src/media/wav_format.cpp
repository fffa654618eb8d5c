#include "media/wav_format.h"

namespace qm {

namespace {

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

}  // namespace

std::string WavHeader(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate,
                      std::uint32_t data_bytes) {
  const std::uint32_t bytes_per_sample = bits / 8u;
  std::string out;
  out.reserve(kWavHeaderSize);
  out += "RIFF";
  Put32(out, 36u + data_bytes);
  out += "WAVE";
  out += "fmt ";
  Put32(out, 16);
  Put16(out, 1);  // PCM
  Put16(out, channels);
  Put32(out, rate);
  Put32(out, channels * rate * bytes_per_sample);
  Put16(out, channels * bytes_per_sample);
  Put16(out, bits);
  out += "data";
  Put32(out, data_bytes);
  return out;
}

}  // namespace qm
