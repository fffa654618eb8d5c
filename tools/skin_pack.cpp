// Build-time tool: packs the skin's files into the stored skin and writes it as a C++
// source holding the zlib stream. The packed skin is read back before it is written, so
// a description the program could not read fails the build.
//
//   skin_pack <output.cpp> <skin folder> <file>...
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ui/skin.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: skin_pack <output.cpp> <skin folder> <file>...\n";
    return 2;
  }
  const std::string folder = argv[2];
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 3; i < argc; ++i) {
    std::ifstream in(folder + "/" + argv[i], std::ios::binary);
    if (!in) {
      std::cerr << "skin_pack: cannot read " << folder << "/" << argv[i] << "\n";
      return 1;
    }
    std::ostringstream data;
    data << in.rdbuf();
    files.emplace_back(argv[i], data.str());
  }
  std::string stored;
  try {
    stored = qm::CompressSkin(qm::PackSkinArchive(files));
    const qm::Skin skin = qm::Skin::FromCompressed(
        {reinterpret_cast<const unsigned char*>(stored.data()), stored.size()});
    for (const char* element : {"button", "stdlabel", "edit", "gauge"}) {
      if (!skin.Element(element)) throw qm::ESkinError(std::string("no element ") + element);
    }
  } catch (const std::exception& e) {
    std::cerr << "skin_pack: " << e.what() << "\n";
    return 1;
  }

  std::ostringstream out;
  out << "// Written by skin_pack from the files of skin/; do not edit.\n"
      << "#include \"ui/skin_data.h\"\n\nnamespace qm {\nnamespace {\n"
      << "const unsigned char kStoredSkin[" << stored.size() << "] = {";
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (i % 16 == 0) out << "\n   ";
    out << ' ' << static_cast<unsigned>(static_cast<unsigned char>(stored[i])) << ',';
  }
  out << "\n};\n}  // namespace\n\n"
      << "std::span<const unsigned char> EmbeddedSkinData() { return kStoredSkin; }\n\n"
      << "}  // namespace qm\n";
  std::ofstream file(argv[1], std::ios::binary);
  file << out.str();
  if (!file.flush()) {
    std::cerr << "skin_pack: cannot write " << argv[1] << "\n";
    return 1;
  }
  std::cout << "skin_pack: " << files.size() << " files, " << stored.size() << " bytes stored\n";
  return 0;
}
