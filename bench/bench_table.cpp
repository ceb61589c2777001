// The core rows of bench/bench_table.py, one row per process:
//
//     bench_table parse SHAPE BYTES      MB/s, heap bytes per input byte, page faults per parse
//     bench_table validate COPIES KIND   ns per document field
//     bench_table lower COPIES KIND      ns per lowered field, into the flat plan and into LoweredField trees
//     bench_table validate dashboard     bench/data/query.graphql itself, as the peers validate it
//     bench_table interface TYPES        { node { ... on T0 { id } } } against an interface of TYPES
//                                        implementors, and what indexing that schema costs
//     bench_table text SHAPE BYTES | text dashboard COPIES KIND    the text itself
//
// SHAPE is ordinary, small-fields, deep, block-strings, floats, long-string,
// long-block-string, flat or nested-64 (or dashboard, whose BYTES are
// ignored); KIND is shared (copies under aliases spreading the same
// fragments) or own (each copy with fragments of its own).
// Each row prints one JSON object; nothing is asserted. The heap figure is
// the peak of the bytes allocated through operator new during the process's
// first parse, past what was allocated before it, plus the peak of the bytes
// written into large lists, which have memory of their own.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <new>
#include <vector>

#include "bench_data.hpp"
#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"
#include "dovrane_core/test_support/allocation_counter.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"
#include "dovrane_core/validation.hpp"

using namespace dovrane_core;

using test_support::live_bytes;
using test_support::peak_bytes;

namespace {

// ---------------------------------------------------------------------------
// Texts

const char* const fragment_names[] = {"PageInfoFields", "UserSummary", "ReactionFields", "PostDetails",
                                      "CommentFields"};

bool is_name_byte(char c) { return c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Every "...Name" spread and "fragment Name" definition of the dashboard's
// fragments renamed with `suffix`.
std::string rename_fragments(const std::string& text, const std::string& suffix) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size();) {
        bool renamed = false;
        for (const char* prefix : {"...", "fragment "}) {
            const std::size_t length = std::strlen(prefix);
            if (text.compare(i, length, prefix) != 0) continue;
            for (const char* name : fragment_names) {
                const std::size_t name_length = std::strlen(name);
                const std::size_t end = i + length + name_length;
                if (text.compare(i + length, name_length, name) == 0 && (end >= text.size() || !is_name_byte(text[end]))) {
                    out.append(text, i, end - i);
                    out += suffix;
                    i = end;
                    renamed = true;
                    break;
                }
            }
            if (renamed) break;
        }
        if (!renamed) out += text[i++];
    }
    return out;
}

// The dashboard query cut into its variable header, its top-level
// selections (each with the alias prefix replaced by "@@") and its fragments.
struct Dashboard {
    std::string header;                  // "query Dashboard(...) {"
    std::vector<std::string> selections;  // "  @@viewer { ... }"
    std::string fragments;
};

Dashboard split_dashboard() {
    const std::string text = read_data("query.graphql");
    Dashboard parts;
    std::size_t parens = 0;
    std::size_t open = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(') ++parens;
        if (text[i] == ')') --parens;
        if (text[i] == '{' && parens == 0) {
            open = i;
            break;
        }
    }
    parts.header = text.substr(0, open + 1) + "\n";
    std::size_t depth = 0;
    std::size_t close = open;
    for (std::size_t i = open; i < text.size(); ++i) {
        if (text[i] == '{') ++depth;
        if (text[i] == '}' && --depth == 0) {
            close = i;
            break;
        }
    }
    // Top-level selections start on lines indented by exactly two spaces.
    std::string body = text.substr(open + 1, close - open - 1);
    std::size_t start = std::string::npos;
    for (std::size_t i = 0; i < body.size(); i = body.find('\n', i) + 1) {
        if (body.compare(i, 2, "  ") == 0 && body.size() > i + 2 && body[i + 2] != ' ' && body[i + 2] != '\n' &&
            body[i + 2] != '}') {
            if (start != std::string::npos) parts.selections.push_back(body.substr(start, i - start));
            start = i;
        }
        if (body.find('\n', i) == std::string::npos) break;
    }
    parts.selections.push_back(body.substr(start));
    for (std::string& selection : parts.selections) {
        // "  recent: posts(" keeps its name after the alias; "  viewer {" gains one.
        std::size_t name_end = 2;
        while (is_name_byte(selection[name_end])) ++name_end;
        const std::string name = selection.substr(2, name_end - 2);
        if (selection.compare(name_end, 2, ": ") == 0) {
            selection = "  @@" + name + selection.substr(name_end);
        } else {
            selection = "  @@" + name + ": " + selection.substr(2);
        }
    }
    parts.fragments = text.substr(close + 1);
    return parts;
}

// The dashboard's selections `copies` times under aliases c0_, c1_, ...; with
// `own_fragments` each copy spreads fragments of its own.
std::string dashboard_copies(std::size_t copies, bool own_fragments) {
    const Dashboard parts = split_dashboard();
    std::string text = parts.header;
    std::string fragments;
    for (std::size_t copy = 0; copy < copies; ++copy) {
        const std::string prefix = "c" + std::to_string(copy) + "_";
        std::string selections;
        for (const std::string& selection : parts.selections) {
            selections += selection.substr(0, 2) + prefix + selection.substr(4);
        }
        if (own_fragments) {
            text += rename_fragments(selections, "_" + std::to_string(copy));
            fragments += rename_fragments(parts.fragments, "_" + std::to_string(copy));
        } else {
            text += selections;
        }
    }
    text += "}\n";
    return text + (own_fragments ? fragments : parts.fragments);
}

// Chains of `levels` nested selection sets below the operation's, one per
// line, for at least `bytes` bytes.
std::string chains(std::size_t bytes, int levels) {
    std::string text = "{\n";
    for (std::size_t i = 0; text.size() < bytes; ++i) {
        text += "  n" + std::to_string(i) + ": node { ";
        for (int level = 1; level < levels; ++level) text += "child { ";
        text += "id";
        for (int level = 0; level < levels; ++level) text += " }";
        text += '\n';
    }
    return text + "}\n";
}

// Synthetic texts of at least `bytes` bytes, one per shape.
std::string synthetic(const std::string& shape, std::size_t bytes) {
    std::string text;
    text.reserve(bytes + 4096);
    if (shape == "ordinary") {
        // The dashboard's selections repeated under aliases, its fragments once.
        const Dashboard parts = split_dashboard();
        text = parts.header;
        for (std::size_t copy = 0; text.size() + parts.fragments.size() < bytes; ++copy) {
            const std::string prefix = "c" + std::to_string(copy) + "_";
            for (const std::string& selection : parts.selections) {
                text += selection.substr(0, 2) + prefix + selection.substr(4);
            }
        }
        return text + "}\n" + parts.fragments;
    }
    if (shape == "small-fields") {
        text = "{";
        while (text.size() < bytes) text += " a";
        return text + " }\n";
    }
    // Chains nested 60 levels deep, one per line.
    if (shape == "deep") return chains(bytes, 59);
    if (shape == "block-strings") {
        text = "mutation {\n";
        for (std::size_t i = 0; text.size() < bytes; ++i) {
            text += "  p" + std::to_string(i) + ": createPost(body: \"\"\"\n"
                    "    A post of several lines, indented like the code around it.\n"
                    "      Some lines are indented further, and \\\"\"\" stays three quotes.\n"
                    "    Line " + std::to_string(i) + " ends the body; blank lines around it are dropped.\n"
                    "\n"
                    "    \"\"\") { id }\n";
        }
        return text + "}\n";
    }
    if (shape == "floats") {
        text = "{\n";
        for (std::size_t i = 0; text.size() < bytes; ++i) {
            text += "  s" + std::to_string(i) + ": series(points: [1.5, -2.25e-3, 3.14159265358979, 6.02214076e23, 0.1, "
                    "-7.0, 2.5E+10, " + std::to_string(i) + ".75]) { id }\n";
        }
        return text + "}\n";
    }
    if (shape == "long-string") {
        // One string argument holding nearly the whole text.
        text = "{ a(s: \"";
        while (text.size() < bytes) text += "The quick brown fox jumps over the lazy dog, 0123456789. ";
        return text + "\") }\n";
    }
    if (shape == "long-block-string") {
        // One block string of indented lines.
        text = "{ a(s: \"\"\"\n";
        while (text.size() < bytes) text += "      The quick brown fox jumps over the lazy dog, 0123456789.\n";
        return text + "    \"\"\") }\n";
    }
    if (shape == "flat") {
        text = "{";
        for (std::size_t i = 0; text.size() < bytes; ++i) text += " a" + std::to_string(i);
        return text + " }\n";
    }
    // Chains as deep as a selection set may nest, one per line.
    if (shape == "nested-64") return chains(bytes, 64);
    if (shape == "dashboard") return read_data("query.graphql");
    std::fprintf(stderr, "unknown shape %s\n", shape.c_str());
    std::exit(2);
}

// ---------------------------------------------------------------------------
// Measuring

double now_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Resident kilobytes of the process: its peak since the last reset, or now.
long status_kib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length);
    }
    return 0;
}

// Starts the peak resident size afresh (Linux); false where it cannot.
bool reset_resident_peak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

long minor_faults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The best seconds per call of `run` over five batches of at least 0.1 s
// (or one call, when a call takes longer).
template <class Run>
double best_seconds(Run&& run, long& faults_per_call) {
    std::size_t calls = 1;
    for (;;) {
        const double started = now_seconds();
        for (std::size_t i = 0; i < calls; ++i) run();
        if (now_seconds() - started >= 0.1 || calls >= (std::size_t{1} << 24)) break;
        calls *= 2;
    }
    double best = 1e300;
    long faults = 0;
    for (int batch = 0; batch < 5; ++batch) {
        const long faults_before = minor_faults();
        const double started = now_seconds();
        for (std::size_t i = 0; i < calls; ++i) run();
        best = std::min(best, (now_seconds() - started) / static_cast<double>(calls));
        faults += minor_faults() - faults_before;
    }
    faults_per_call = faults / static_cast<long>(5 * calls);
    return best;
}

document::SharedDocument parse_or_exit(const std::string& text) {
    auto parsed = parser::parse_document(text);
    if (!parsed) {
        std::fprintf(stderr, "the text does not parse: %s\n", parsed.error().message.c_str());
        std::exit(1);
    }
    return parsed.value();
}

int parse_row(const std::string& shape, std::size_t bytes) {
    std::string text = synthetic(shape, bytes);
    text.shrink_to_fit();
    const bool resident_reset = reset_resident_peak();
    const long resident_before = status_kib("VmRSS:");
    const std::size_t before = live_bytes;
    peak_bytes = live_bytes;
    (void)document::detail::Arena::take_large_peak_on_this_thread();
    document::SharedDocument first = parse_or_exit(text);
    // Large lists bypass operator new: their peak is added, an upper bound.
    const std::size_t peak = peak_bytes - before + document::detail::Arena::take_large_peak_on_this_thread();
    const double resident_growth =
        resident_reset ? static_cast<double>(status_kib("VmHWM:") - resident_before) * 1024 : -1.0;
    first.reset();
    long faults = 0;
    const double seconds = best_seconds([&] { parse_or_exit(text); }, faults);
    std::printf("{\"bytes\": %zu, \"mb_per_s\": %.1f, \"heap_per_byte\": %.2f, \"resident_per_byte\": %.2f, "
                "\"faults\": %ld}\n",
                text.size(), static_cast<double>(text.size()) / seconds / 1e6,
                static_cast<double>(peak) / static_cast<double>(text.size()),
                resident_growth / static_cast<double>(text.size()), faults);
    return 0;
}

// Fields written in the document's operation and fragments, and the fields of
// its plan.
std::size_t document_fields(const document::Document& document) {
    std::size_t count = 0;
    std::vector<const document::SelectionSet*> pending;
    for (const auto& operation : document.operations) pending.push_back(&operation.selection_set);
    for (const auto& fragment : document.fragments) pending.push_back(&fragment.selection_set);
    while (!pending.empty()) {
        const document::SelectionSet* set = pending.back();
        pending.pop_back();
        for (const document::Selection& selection : set->selections) {
            count += selection.kind == document::SelectionKind::Field;
            if (!selection.selection_set.selections.empty()) pending.push_back(&selection.selection_set);
        }
    }
    return count;
}

std::size_t plan_fields(const std::vector<lowering::LoweredField>& fields) {
    std::size_t count = fields.size();
    for (const lowering::LoweredField& field : fields) count += plan_fields(field.selections);
    return count;
}

int validate_text_row(const std::string& text) {
    const document::SharedDocument document = parse_or_exit(text);
    const schema::CompiledSchema schema = test_support::dashboard_schema();
    if (error::MaybeError error = validation::validate_query(*document, schema, std::nullopt)) {
        std::fprintf(stderr, "the text does not validate: %s\n", error->message.c_str());
        return 1;
    }
    const std::size_t fields = document_fields(*document);
    long faults = 0;
    const double seconds =
        best_seconds([&] { (void)validation::validate_query(*document, schema, std::nullopt); }, faults);
    std::printf("{\"bytes\": %zu, \"fields\": %zu, \"us\": %.2f, \"ns_per_field\": %.1f}\n", text.size(), fields,
                seconds * 1e6, seconds * 1e9 / static_cast<double>(fields));
    return 0;
}

int validate_row(std::size_t copies, bool own_fragments) {
    return validate_text_row(dashboard_copies(copies, own_fragments));
}

// Validation of one inline fragment inside an interface-typed field, on a
// schema of `types` object types that implement the interface; and the
// schema's index: the time to build it, its heap bytes, beside the bytes of
// the schema's own records and the time of the shape check compile_schema runs.
int interface_row(std::size_t types) {
    const document::SharedDocument document = parse_or_exit("{ node { ... on T0 { id } } }");
    std::size_t before = live_bytes;
    schema::CompiledSchema schema = test_support::interface_schema(types);
    const std::size_t schema_bytes = live_bytes - before;
    before = live_bytes;
    validation::index_schema(schema);
    const std::size_t index_bytes = live_bytes - before;
    if (error::MaybeError error = validation::validate_query(*document, schema, std::nullopt)) {
        std::fprintf(stderr, "the text does not validate: %s\n", error->message.c_str());
        return 1;
    }
    long faults = 0;
    const double seconds =
        best_seconds([&] { (void)validation::validate_query(*document, schema, std::nullopt); }, faults);
    const double index_seconds = best_seconds([&] { validation::index_schema(schema); }, faults);
    const double shape_seconds = best_seconds(
        [&] { (void)schema::validate_schema_shape(schema.types, schema.unions, schema.scalar_names); }, faults);
    std::printf("{\"types\": %zu, \"us\": %.3f, \"index_us\": %.1f, \"index_bytes\": %zu, \"schema_bytes\": %zu, "
                "\"shape_us\": %.1f}\n",
                types, seconds * 1e6, index_seconds * 1e6, index_bytes, schema_bytes, shape_seconds * 1e6);
    return 0;
}

int lower_row(std::size_t copies, bool own_fragments) {
    const std::string text = dashboard_copies(copies, own_fragments);
    const document::SharedDocument document = parse_or_exit(text);
    const lowering::VariableMap variables = typical_variables();
    auto lowered = lowering::lower_document(document, variables, std::nullopt);
    if (!lowered) {
        std::fprintf(stderr, "the text does not lower: %s\n", lowered.error().message.c_str());
        return 1;
    }
    const std::size_t fields = plan_fields(lowered.value().fields);
    long faults = 0;
    const double flat_seconds =
        best_seconds([&] { (void)lowering::lower_flat(document, variables, std::nullopt); }, faults);
    const double seconds = best_seconds([&] { (void)lowering::lower_document(document, variables, std::nullopt); }, faults);
    std::printf("{\"bytes\": %zu, \"fields\": %zu, \"us\": %.2f, \"ns_per_field\": %.1f, \"flat_us\": %.2f, "
                "\"flat_ns_per_field\": %.1f}\n",
                text.size(), fields, seconds * 1e6, seconds * 1e9 / static_cast<double>(fields), flat_seconds * 1e6,
                flat_seconds * 1e9 / static_cast<double>(fields));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "parse") return parse_row(args[1], std::stoul(args[2]));
    if (args.size() == 3 && (args[0] == "validate" || args[0] == "lower")) {
        const std::size_t copies = std::stoul(args[1]);
        const bool own = args[2] == "own";
        return args[0] == "validate" ? validate_row(copies, own) : lower_row(copies, own);
    }
    if (args.size() == 2 && args[0] == "interface") return interface_row(std::stoul(args[1]));
    if (args.size() == 2 && args[0] == "validate" && args[1] == "dashboard") {
        return validate_text_row(read_data("query.graphql"));
    }
    if (args.size() == 4 && args[0] == "text" && args[1] == "dashboard") {
        std::fputs(dashboard_copies(std::stoul(args[2]), args[3] == "own").c_str(), stdout);
        return 0;
    }
    if (args.size() == 3 && args[0] == "text") {
        std::fputs(synthetic(args[1], std::stoul(args[2])).c_str(), stdout);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_table parse SHAPE BYTES | validate|lower COPIES shared|own | interface TYPES | text ...\n");
    return 2;
}
