// Every name the module looks up in its host, the dovrane package and the
// standard modules it stands on: the modules it imports, the names it reads
// from them and from their objects, and the keywords it passes. Each is
// interned on first use and kept for the process.
//
// One rule names them: a module is its dotted path with `_module`
// (`dovrane._union` is `dovrane_union_module`); any other name is its text in
// snake case with `_name`, a double-underscore name written `dunder_`
// (`UnionDefinition` is `union_definition_name`, `__name__` is
// `dunder_name_name`). One entry serves every place that reads its text in
// that role. Strs the module hands out (lowering's operation words) are not
// names it reads, and stay with their module.
#pragma once

#include "binding/cells.hpp"

namespace _dovrane::names {

using binding::InternedName;

// ---- Modules -----------------------------------------------------------------
inline InternedName builtins_module{"builtins"};
inline InternedName collections_abc_module{"collections.abc"};
inline InternedName dataclasses_module{"dataclasses"};
inline InternedName datetime_module{"datetime"};
inline InternedName decimal_module{"decimal"};
inline InternedName enum_module{"enum"};
inline InternedName functools_module{"functools"};
inline InternedName inspect_module{"inspect"};
inline InternedName types_module{"types"};
inline InternedName typing_module{"typing"};
inline InternedName uuid_module{"uuid"};
inline InternedName dovrane_module{"dovrane"};
inline InternedName dovrane_directive_module{"dovrane.directive"};
inline InternedName dovrane_enum_module{"dovrane._enum"};
inline InternedName dovrane_error_module{"dovrane._error"};
inline InternedName dovrane_lazy_module{"dovrane._lazy"};
inline InternedName dovrane_maybe_module{"dovrane._maybe"};
inline InternedName dovrane_private_module{"dovrane._private"};
inline InternedName dovrane_resolver_module{"dovrane._resolver"};
inline InternedName dovrane_union_module{"dovrane._union"};

// ---- The dovrane package -----------------------------------------------------
// dovrane, dovrane.directive, dovrane._enum
inline InternedName id_name{"ID"};
inline InternedName directive_value_name{"DirectiveValue"};
inline InternedName enum_value_definition_name{"EnumValueDefinition"};

// dovrane._error; `code` and `locations` are GraphQLError's keywords
inline InternedName error_code_name{"ErrorCode"};
inline InternedName graphql_error_name{"GraphQLError"};
inline InternedName code_name{"code"};
inline InternedName locations_name{"locations"};

// dovrane._lazy
inline InternedName lazy_reference_name{"LazyReference"};
inline InternedName lazy_type_name{"LazyType"};
inline InternedName namespace_for_callable_name{"namespace_for_callable"};
inline InternedName namespace_for_class_name{"namespace_for_class"};

// dovrane._maybe, dovrane._private, dovrane._union
inline InternedName maybe_name{"Maybe"};
inline InternedName private_marker_name{"PrivateMarker"};
inline InternedName union_definition_name{"UnionDefinition"};

// dovrane._resolver
inline InternedName argument_name{"Argument"};
inline InternedName depends_name{"Depends"};
inline InternedName info_name{"Info"};
inline InternedName parent_name{"Parent"};
inline InternedName streamable_name{"Streamable"};

// What its decorated classes, directive classes, field configurations, markers
// and lazy placeholders carry
inline InternedName dunder_dovrane_directive_info_name{"__dovrane_directive_info__"};
inline InternedName dunder_dovrane_type_info_name{"__dovrane_type_info__"};
inline InternedName deprecation_reason_name{"deprecation_reason"};
inline InternedName description_name{"description"};
inline InternedName directives_name{"directives"};
inline InternedName enum_values_name{"enum_values"};
inline InternedName fields_name{"fields"};
inline InternedName graphql_name_name{"graphql_name"};
inline InternedName graphql_type_name{"graphql_type"};
inline InternedName kind_name{"kind"};
inline InternedName name_name{"name"};
inline InternedName resolve_forward_ref_name{"resolve_forward_ref"};
inline InternedName resolve_type_name{"resolve_type"};
inline InternedName resolver_name{"resolver"};
inline InternedName type_name_name{"type_name"};

// ---- The standard modules ----------------------------------------------------
// builtins
inline InternedName bool_name{"bool"};
inline InternedName classmethod_name{"classmethod"};
inline InternedName float_name{"float"};
inline InternedName int_name{"int"};
inline InternedName staticmethod_name{"staticmethod"};
inline InternedName str_name{"str"};

// collections.abc
inline InternedName async_generator_name{"AsyncGenerator"};
inline InternedName async_iterable_name{"AsyncIterable"};
inline InternedName async_iterator_name{"AsyncIterator"};

// dataclasses: `fields` (above) and MISSING; a field's `type` and `default`
inline InternedName missing_name{"MISSING"};
inline InternedName type_name{"type"};
inline InternedName default_name{"default"};

// datetime, decimal, uuid
inline InternedName date_name{"date"};
inline InternedName datetime_name{"datetime"};
inline InternedName time_name{"time"};
inline InternedName decimal_name{"Decimal"};
inline InternedName uuid_name{"UUID"};

// enum: EnumMeta and a member's `value`
inline InternedName enum_meta_name{"EnumMeta"};
inline InternedName value_name{"value"};

// functools: partial and its `func`
inline InternedName partial_name{"partial"};
inline InternedName func_name{"func"};

// inspect: a Parameter's `annotation`, `default` (above) and `empty`; a
// Signature's `parameters` mapping and its `values`
inline InternedName parameter_name{"Parameter"};
inline InternedName signature_name{"signature"};
inline InternedName annotation_name{"annotation"};
inline InternedName empty_name{"empty"};
inline InternedName parameters_name{"parameters"};
inline InternedName values_name{"values"};

// types
inline InternedName function_type_name{"FunctionType"};
inline InternedName method_type_name{"MethodType"};
inline InternedName union_type_name{"UnionType"};

// typing; `include_extras` and `localns` are get_type_hints' keywords
inline InternedName annotated_name{"Annotated"};
inline InternedName forward_ref_name{"ForwardRef"};
inline InternedName get_args_name{"get_args"};
inline InternedName get_origin_name{"get_origin"};
inline InternedName get_type_hints_name{"get_type_hints"};
inline InternedName union_name{"Union"};
inline InternedName include_extras_name{"include_extras"};
inline InternedName localns_name{"localns"};

// ---- Python's object model ---------------------------------------------------
inline InternedName dunder_annotations_name{"__annotations__"};
inline InternedName dunder_call_name{"__call__"};
inline InternedName dunder_closure_name{"__closure__"};
inline InternedName dunder_code_name{"__code__"};
inline InternedName dunder_dict_name{"__dict__"};
inline InternedName dunder_func_name{"__func__"};
inline InternedName dunder_getitem_name{"__getitem__"};
inline InternedName dunder_globals_name{"__globals__"};
inline InternedName dunder_iter_name{"__iter__"};
inline InternedName dunder_module_name{"__module__"};
inline InternedName dunder_mro_name{"__mro__"};
inline InternedName dunder_name_name{"__name__"};
inline InternedName dunder_qualname_name{"__qualname__"};
inline InternedName dunder_wrapped_name{"__wrapped__"};

}  // namespace _dovrane::names
