#include "writer/outputcc_logic.h"

namespace mertovan {

std::string DefaultOutputName(const std::string& loadedFileName) {
  const auto dot = loadedFileName.rfind('.');
  std::string base = loadedFileName;
  if (dot != std::string::npos && loadedFileName.size() - dot == 4) {
    std::string ext = loadedFileName.substr(dot);
    for (char& c : ext) {
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    if (ext == ".mid" || ext == ".rmi" || ext == ".syx") base = loadedFileName.substr(0, dot);
  }
  return base + "_cc.mid";
}

}  // namespace mertovan
