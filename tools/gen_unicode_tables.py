#!/usr/bin/env python3
"""Generates core/src/unicode_tables.cpp from the Unicode Character Database.

    python3 tools/gen_unicode_tables.py [--ucd /usr/share/unicode] [--output core/src/unicode_tables.cpp]

The database is Debian's `unicode-data` package. The output is committed, so
building never needs the package; rerun this after changing Unicode versions
and commit the result. Every table comes from the same version, which the
output states.

Tables:
- the full upper-case and lower-case mappings: UnicodeData.txt's simple
  mappings, overridden by SpecialCasing.txt's unconditional full mappings (so
  U+00DF upper-cases to "SS" and U+0130 lower-cases to "i" + U+0307);
  conditional (locale or context) mappings are ignored;
- the code points SDL strings escape as "not printable": general categories
  Cc, Cf, Cs, Co, Cn, Zl, Zp and Zs, except U+0020;
- Grapheme_Extend, from DerivedCoreProperties.txt.
"""

import argparse
import os
import re
import sys

MAX_CODE_POINT = 0x10FFFF
NOT_PRINTABLE_CATEGORIES = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"}


def file_version(path):
    """The version in the first line, "# Name-15.0.0.txt"."""
    with open(path, encoding="utf-8") as f:
        first = f.readline()
    match = re.search(r"-(\d+\.\d+\.\d+)\.txt", first)
    if not match:
        sys.exit(f"{path}: no version in its first line")
    return match.group(1)


def read_unicode_data(path):
    """(general category per code point, simple upper-case and lower-case mappings)."""
    categories = ["Cn"] * (MAX_CODE_POINT + 1)  # unassigned unless listed
    simple_upper = {}
    simple_lower = {}
    range_start = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) < 15:
                continue
            code = int(fields[0], 16)
            name, category = fields[1], fields[2]
            # Large blocks are listed as a First/Last pair that covers every
            # code point between them.
            if name.endswith(", First>"):
                range_start = code
                continue
            if name.endswith(", Last>"):
                for cp in range(range_start, code + 1):
                    categories[cp] = category
                range_start = None
                continue
            categories[code] = category
            if fields[12]:
                simple_upper[code] = int(fields[12], 16)
            if fields[13]:
                simple_lower[code] = int(fields[13], 16)
    return categories, simple_upper, simple_lower


def read_special_casing(path):
    """Unconditional full mappings: (upper, lower), each code point -> tuple of code points."""
    special_upper = {}
    special_lower = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            data = line.split("#", 1)[0].strip()
            if not data:
                continue
            fields = [field.strip() for field in data.split(";")]
            # code; lower; title; upper; [condition_list;] -- a trailing ";"
            # leaves one empty field after the last.
            if len(fields) > 5 and fields[4]:
                continue  # conditional: locale- or context-dependent
            code = int(fields[0], 16)
            special_upper[code] = tuple(int(part, 16) for part in fields[3].split())
            special_lower[code] = tuple(int(part, 16) for part in fields[1].split())
    return special_upper, special_lower


def read_property(path, wanted):
    """Sorted, merged (first, last) ranges of code points that have the property."""
    points = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            data = line.split("#", 1)[0].strip()
            if not data:
                continue
            span, prop = (part.strip() for part in data.split(";")[:2])
            if prop != wanted:
                continue
            if ".." in span:
                first, last = (int(part, 16) for part in span.split(".."))
            else:
                first = last = int(span, 16)
            points.extend(range(first, last + 1))
    return merge_ranges(sorted(points))


def merge_ranges(sorted_points):
    ranges = []
    for cp in sorted_points:
        if ranges and ranges[-1][1] + 1 == cp:
            ranges[-1][1] = cp
        else:
            ranges.append([cp, cp])
    return [tuple(r) for r in ranges]


def case_tables(simple, special, which):
    """(single-code-point runs, multi-code-point mappings) of one case mapping.

    A run is (first, last, delta, stride): every code point first, first+stride,
    ... up to last maps to itself plus delta. Strides 1 and 2 cover the usual
    Unicode layouts (contiguous blocks, and alternating upper/lower pairs).
    """
    full = {cp: (mapped,) for cp, mapped in simple.items()}
    full.update(special)
    full = {cp: mapping for cp, mapping in full.items() if mapping != (cp,)}

    single = sorted((cp, mapping[0] - cp) for cp, mapping in full.items() if len(mapping) == 1)
    multi = sorted((cp, mapping) for cp, mapping in full.items() if len(mapping) > 1)

    runs = []
    i = 0
    while i < len(single):
        first, delta = single[i]
        # Try both strides; keep the longer run.
        best_last, best_stride, best_count = first, 1, 1
        for stride in (1, 2):
            count = 1
            while (i + count < len(single) and single[i + count][0] == first + count * stride
                   and single[i + count][1] == delta):
                count += 1
            if count > best_count:
                best_last, best_stride, best_count = first + (count - 1) * stride, stride, count
        runs.append((first, best_last, delta, best_stride))
        i += best_count
    # The gaps of a stride-2 run map to nothing: a mapped gap code point would
    # sit between two consumed entries of the sorted list. Lookups need the
    # runs disjoint and ascending.
    for (f1, l1, _, _), (f2, _, _, _) in zip(runs, runs[1:]):
        if f2 <= l1:
            sys.exit(f"{which}-case runs overlap; the run builder needs a fix")
    if any(len(mapping) > 3 for _, mapping in multi):
        sys.exit(f"a full {which}-case mapping longer than 3 code points")
    return runs, multi


def emit(version, upper, lower, not_printable, grapheme_extend):
    def rows(items, per_line, fmt):
        lines = []
        for start in range(0, len(items), per_line):
            lines.append("    " + " ".join(fmt(item) for item in items[start:start + per_line]))
        return "\n".join(lines)

    def hex_cp(cp):
        return f"0x{cp:X}"

    def run_rows(runs):
        return rows(runs, 3, lambda r: f"{{{hex_cp(r[0])}, {hex_cp(r[1])}, {r[2]}, {r[3]}}},")

    def multi_rows(multi):
        return rows(multi, 2, lambda m: "{%s, {%s}}," % (
            hex_cp(m[0]), ", ".join(hex_cp(cp) for cp in m[1] + (0,) * (3 - len(m[1])))))

    range_fmt = lambda r: f"{{{hex_cp(r[0])}, {hex_cp(r[1])}}},"
    not_printable_rows = rows(not_printable, 4, range_fmt)
    grapheme_rows = rows(grapheme_extend, 4, range_fmt)

    return f"""\
// Generated by tools/gen_unicode_tables.py from the Unicode Character Database
// {version} (UnicodeData.txt, SpecialCasing.txt, DerivedCoreProperties.txt).
// Do not edit by hand: rerun the script.

#include "unicode_tables.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace dovrane_core::unicode {{

namespace {{

// Code points first, first+stride, ... last map to themselves plus delta.
struct CaseRun {{
    char32_t first;
    char32_t last;
    std::int32_t delta;
    std::uint8_t stride;
}};

// Mappings to two or three code points (SpecialCasing.txt); unused slots are 0.
struct CaseMulti {{
    char32_t code_point;
    char32_t mapping[3];
}};

struct Range {{
    char32_t first;
    char32_t last;
}};

constexpr CaseRun upper_runs[] = {{
{run_rows(upper[0])}
}};

constexpr CaseMulti upper_multi[] = {{
{multi_rows(upper[1])}
}};

constexpr CaseRun lower_runs[] = {{
{run_rows(lower[0])}
}};

constexpr CaseMulti lower_multi[] = {{
{multi_rows(lower[1])}
}};

// General categories Cc, Cf, Cs, Co, Cn, Zl, Zp, Zs, without U+0020.
constexpr Range not_printable_ranges[] = {{
{not_printable_rows}
}};

constexpr Range grapheme_extend_ranges[] = {{
{grapheme_rows}
}};

template <std::size_t N>
bool in_ranges(const Range (&ranges)[N], char32_t cp) {{
    // The first range that ends at or after cp.
    const Range* it = std::lower_bound(std::begin(ranges), std::end(ranges), cp,
                                       [](const Range& range, char32_t value) {{ return range.last < value; }});
    return it != std::end(ranges) && it->first <= cp;
}}

// One full case mapping, from its multi-code-point table and its runs.
template <std::size_t Runs, std::size_t Multis>
std::size_t map_case(const CaseRun (&runs)[Runs], const CaseMulti (&multis)[Multis], char32_t cp,
                     char32_t (&out)[max_case_mapping_length]) {{
    const CaseMulti* multi = std::lower_bound(
        std::begin(multis), std::end(multis), cp,
        [](const CaseMulti& entry, char32_t value) {{ return entry.code_point < value; }});
    if (multi != std::end(multis) && multi->code_point == cp) {{
        std::size_t count = 0;
        while (count < max_case_mapping_length && multi->mapping[count] != 0) {{
            out[count] = multi->mapping[count];
            ++count;
        }}
        return count;
    }}
    const CaseRun* run = std::lower_bound(std::begin(runs), std::end(runs), cp,
                                          [](const CaseRun& r, char32_t value) {{ return r.last < value; }});
    if (run != std::end(runs) && run->first <= cp && (cp - run->first) % run->stride == 0) {{
        out[0] = static_cast<char32_t>(static_cast<std::int32_t>(cp) + run->delta);
        return 1;
    }}
    out[0] = cp;
    return 1;
}}

}}  // namespace

const char* unicode_version() {{ return "{version}"; }}

std::size_t upper_case_mapping(char32_t cp, char32_t (&out)[max_case_mapping_length]) {{
    if (cp < 0x80) {{
        out[0] = (cp >= U'a' && cp <= U'z') ? cp - 0x20 : cp;
        return 1;
    }}
    return map_case(upper_runs, upper_multi, cp, out);
}}

std::size_t lower_case_mapping(char32_t cp, char32_t (&out)[max_case_mapping_length]) {{
    if (cp < 0x80) {{
        out[0] = (cp >= U'A' && cp <= U'Z') ? cp + 0x20 : cp;
        return 1;
    }}
    return map_case(lower_runs, lower_multi, cp, out);
}}

bool is_not_printable(char32_t cp) {{
    if (cp < 0x80) return cp < 0x20 || cp == 0x7F;
    return in_ranges(not_printable_ranges, cp);
}}

bool is_grapheme_extend(char32_t cp) {{
    if (cp < 0x80) return false;
    return in_ranges(grapheme_extend_ranges, cp);
}}

}}  // namespace dovrane_core::unicode
"""


def main():
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd", default="/usr/share/unicode", help="Unicode Character Database directory")
    parser.add_argument("--output", default=os.path.join(repo, "core", "src", "unicode_tables.cpp"))
    args = parser.parse_args()

    special_path = os.path.join(args.ucd, "SpecialCasing.txt")
    derived_path = os.path.join(args.ucd, "DerivedCoreProperties.txt")
    version = file_version(derived_path)
    if file_version(special_path) != version:
        sys.exit("SpecialCasing.txt and DerivedCoreProperties.txt disagree on the Unicode version")

    categories, simple_upper, simple_lower = read_unicode_data(os.path.join(args.ucd, "UnicodeData.txt"))
    special_upper, special_lower = read_special_casing(special_path)
    upper = case_tables(simple_upper, special_upper, "upper")
    lower = case_tables(simple_lower, special_lower, "lower")
    not_printable = merge_ranges(
        [cp for cp, category in enumerate(categories) if category in NOT_PRINTABLE_CATEGORIES and cp != 0x20])
    grapheme_extend = read_property(derived_path, "Grapheme_Extend")

    text = emit(version, upper, lower, not_printable, grapheme_extend)
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    print(f"wrote {args.output}: Unicode {version}, {len(upper[0])} upper-case runs and {len(upper[1])} "
          f"multi-character mappings, {len(lower[0])} lower-case runs and {len(lower[1])} multi-character "
          f"mappings, {len(not_printable)} not-printable ranges, {len(grapheme_extend)} Grapheme_Extend ranges")


if __name__ == "__main__":
    main()
