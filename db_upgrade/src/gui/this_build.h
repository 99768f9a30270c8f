#pragma once

#include "window_table.h"

// Which kind of build the program is. Included by the programs' main.cpp alone: CMake
// defines TESSARY_DEVELOPMENT_BUILD (an option, on by default in Debug builds) for them.

namespace tessary::gui {

#ifdef TESSARY_DEVELOPMENT_BUILD
inline constexpr BuildKind kThisBuild = BuildKind::kDevelopment;
#else
inline constexpr BuildKind kThisBuild = BuildKind::kShipped;
#endif

}  // namespace tessary::gui
