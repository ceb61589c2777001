// The schema's SDL from Python.
//
// Python equivalent:
//
//     def render_sdl(schema: CompiledSchema) -> str: ...
#include "src/sdl.hpp"

#include "binding/objects.hpp"
#include "dovrane_core/sdl.hpp"
#include "src/compiled_schema.hpp"

namespace _dovrane::sdl {

namespace {

constexpr binding::Parameter render_sdl_parameters[] = {binding::required("schema")};

binding::Result<binding::Ref> render_sdl(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const dovrane_core::schema::CompiledSchema* schema,
                             arguments.convert(0, compiled_schema::compiled_schema_of));
    return binding::new_str(dovrane_core::sdl::render_sdl(*schema));
}

}  // namespace

constexpr binding::Function render_sdl_function = {
    binding::signature("render_sdl", render_sdl_parameters),
    DOVRANE_DOC("render_sdl(schema)",
                "Render schema as GraphQL SDL text: every type, union, scalar and directive\n"
                "definition, each group sorted by name."),
    render_sdl,
};

}  // namespace _dovrane::sdl
