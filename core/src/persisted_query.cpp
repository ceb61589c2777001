#include "dovrane_core/persisted_query.hpp"
