#include "dovrane_core/naming.hpp"
