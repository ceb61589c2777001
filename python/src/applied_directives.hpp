// Applied directives: the items of `directives` (any iterable) that carry a
// `__dovrane_directive_info__` descriptor (`name`, `locations`, `fields` whose
// items have `name` and `graphql_name`); every other item is skipped.
#pragma once

#include <Python.h>

#include <string_view>
#include <vector>

#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/schema.hpp"

namespace _dovrane::applied_directives {

// One AppliedDirective per directive instance, in iteration order: the
// descriptor's name, and per field (key, JSON value of the instance's
// attribute), the key being `graphql_name` when not None, else `name`, never
// camel-cased.
binding::Result<std::vector<dovrane_core::schema::AppliedDirective>> extract_applied_directives(
    PyObject* directives);

// Fails with SchemaError at the first directive instance whose declared
// `locations` do not hold `location` exactly; `target` names the place of use
// in the message.
binding::Status validate_directive_locations(PyObject* directives, std::string_view location,
                                             std::string_view target);

// Materialises `directives` once (PySequence_List), checks the locations on
// that list, then extracts from it: a generator would otherwise be consumed by
// the check and leave nothing to extract.
binding::Result<std::vector<dovrane_core::schema::AppliedDirective>> checked_applied_directives(
    PyObject* directives, std::string_view location, std::string_view target);

// A new list of the items of `directives`, an iterable read once, each of
// which must be a directive instance: a str, an object that cannot be
// iterated, or another item is refused with a TypeError whose message starts
// with `place` and names a bad item by `item_word` and index ("expected an
// iterable of directive instances, got str", "item 2: expected a directive
// instance, got tuple"). For the parameters of compile_schema, which take
// directive instances only.
binding::Result<binding::Ref> directive_instance_list(PyObject* directives, std::string_view place,
                                                      std::string_view item_word);

}  // namespace _dovrane::applied_directives
