#include "dovrane_core/sdl.hpp"
