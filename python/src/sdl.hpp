// The schema's SDL from Python: `render_sdl`.
#pragma once

#include "binding/arguments.hpp"

namespace _dovrane::sdl {

// render_sdl(schema)
extern const binding::Function render_sdl_function;

}  // namespace _dovrane::sdl
