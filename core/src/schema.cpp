#include "dovrane_core/schema.hpp"
