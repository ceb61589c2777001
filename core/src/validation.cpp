#include "dovrane_core/validation.hpp"
