#include "dovrane_core/parser.hpp"
