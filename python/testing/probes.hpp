// The parts of _dovrane_testing, one source file each, by what they probe;
// testing_module.cpp registers the functions of every part.
#pragma once

#include <Python.h>

#include <span>

namespace _dovrane::testing {

struct Registration {
    const char* name;
    PyMethodDef* definition;
};

// binding_probes.cpp: the binding layer alone (arguments, conversions,
// failures, cells, classes), no GraphQL.
std::span<const Registration> binding_probes();
// value_probes.cpp: Python values to JSON and to GraphQL literals.
std::span<const Registration> value_probes();
// error_probes.cpp: core errors and schema errors raised in Python.
std::span<const Registration> error_probes();
// annotation_probes.cpp: annotation resolution and lazy types.
std::span<const Registration> annotation_probes();
// schema_fixtures.cpp: sample TypeInfos, a sample compiled schema, type chains.
std::span<const Registration> schema_fixtures();
// description_probes.cpp: the hidden content of the description objects, and
// directive and naming helpers.
std::span<const Registration> description_probes();

}  // namespace _dovrane::testing
