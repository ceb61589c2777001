#include "dovrane_core/lowering.hpp"
