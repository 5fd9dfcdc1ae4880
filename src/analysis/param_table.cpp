// Placeholder until the parameter name table is transcribed.
#include "analysis/param_names.h"

namespace mertovan {

std::span<const TSYS_MSG_TYPE> ParameterNameTable() { return {}; }

}  // namespace mertovan
