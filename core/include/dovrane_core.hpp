// The GraphQL core of dovrane: every public record and function.
#pragma once

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/json.hpp"
#include "dovrane_core/lowering.hpp"
#include "dovrane_core/naming.hpp"
#include "dovrane_core/parser.hpp"
#include "dovrane_core/persisted_query.hpp"
#include "dovrane_core/persisted_query_cache.hpp"
#include "dovrane_core/schema.hpp"
#include "dovrane_core/sdl.hpp"
#include "dovrane_core/validation.hpp"
