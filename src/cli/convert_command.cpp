#include <ostream>

#include "cli/commands.h"

namespace mertovan::cli {

// Not written yet: the converted-file writer comes first.
int RunConvert(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
  err << "mertovan-cli: convert is not available yet\n";
  return 1;
}

}  // namespace mertovan::cli
