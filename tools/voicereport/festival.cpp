#include "tools/voicereport/festival.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace voicereport {

std::string cp1250ToIso88592(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    switch (static_cast<unsigned char>(c)) {
      case 0x8A: c = static_cast<char>(0xA9); break;  // Š
      case 0x8C: c = static_cast<char>(0xA6); break;  // Ś
      case 0x8D: c = static_cast<char>(0xAB); break;  // Ť
      case 0x8E: c = static_cast<char>(0xAE); break;  // Ž
      case 0x8F: c = static_cast<char>(0xAC); break;  // Ź
      case 0x9A: c = static_cast<char>(0xB9); break;  // š
      case 0x9C: c = static_cast<char>(0xB6); break;  // ś
      case 0x9D: c = static_cast<char>(0xBB); break;  // ť
      case 0x9E: c = static_cast<char>(0xBE); break;  // ž
      case 0x9F: c = static_cast<char>(0xBC); break;  // ź
      case 0xA5: c = static_cast<char>(0xA1); break;  // Ą
      case 0xB9: c = static_cast<char>(0xB1); break;  // ą
      case 0xBC: c = static_cast<char>(0xA5); break;  // Ľ
      case 0xBE: c = static_cast<char>(0xB5); break;  // ľ
      default: break;
    }
  }
  return out;
}

bool festivalRender(const std::string& text, const std::string& voiceCommand, const std::string& wavPath) {
  if (std::filesystem::exists(wavPath)) return true;
  const std::string textPath = wavPath + ".txt";
  std::ofstream(textPath, std::ios::binary) << cp1250ToIso88592(text);
  const std::string command = "text2wave -eval '" + voiceCommand + "' '" + textPath + "' -o '" + wavPath +
                              ".part' >/dev/null 2>&1 && mv '" + wavPath + ".part' '" + wavPath + "'";
  const int rc = std::system(command.c_str());
  std::filesystem::remove(textPath);
  return rc == 0 && std::filesystem::exists(wavPath);
}

}  // namespace voicereport
