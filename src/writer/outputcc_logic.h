// What the convert dialog does, without the toolkit.
#pragma once

#include <string>

namespace mertovan {

// The proposed output name: "_cc.mid" in place of a final ".mid", ".rmi" or
// ".syx" (any case), otherwise appended.
std::string DefaultOutputName(const std::string& loadedFileName);

}  // namespace mertovan
