// What a parse costs in memory, counted by a replaced operator new (and the
// arena's count of its large lists, which have memory of their own).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dovrane_core/document.hpp"
#include "dovrane_core/parser.hpp"
#include "dovrane_core/test_support/allocation_counter.hpp"

using namespace dovrane_core;
using test_support::live_bytes;
using test_support::peak_bytes;

namespace {

using document::detail::Arena;

// The peak bytes one parse of `text` holds, from a thread that keeps next to
// nothing: a small parse before it leaves the thread's pool small. The text
// is parsed once before, so that the thread's scratch has grown for it.
std::size_t parse_peak(const std::string& text) {
    (void)parser::parse_document(text);
    (void)parser::parse_document("{ a }");
    const std::size_t before = live_bytes;
    peak_bytes = live_bytes;
    (void)Arena::take_large_peak_on_this_thread();
    (void)parser::parse_document(text);
    return peak_bytes - before + Arena::take_large_peak_on_this_thread();
}

std::string flat(std::size_t fields) {
    std::string text = "{ viewer {";
    for (std::size_t i = 0; i < fields; ++i) text += " a" + std::to_string(i);
    return text + " } }";
}

std::string long_string(std::size_t bytes) { return "{ a(s: \"" + std::string(bytes, 'x') + "\") }"; }

std::string chains(std::size_t count) {
    std::string text = "{";
    for (std::size_t i = 0; i < count; ++i) {
        text += " n" + std::to_string(i) + ":";
        for (int level = 0; level < 60; ++level) text += " c {";
        text += " id";
        for (int level = 0; level < 60; ++level) text += " }";
    }
    return text + " }";
}

std::string long_list(std::size_t items) {
    std::string text = "{ a(l: [";
    for (std::size_t i = 0; i < items; ++i) text += std::to_string(i) + " ";
    return text + "]) }";
}

TEST(ParserMemory, AFailingTextCostsNoMoreThanTheSameTextWithoutItsFault) {
    // Each well-formed text against the same text broken near its end, in its
    // middle and at its start; large lists among them.
    struct Case {
        const char* shape;
        std::string twin;
        std::size_t fault_at;  // where a control character, refused everywhere, replaces a byte
    };
    const std::string texts[] = {flat(400000), long_string(std::size_t{4} << 20), chains(2000), long_list(400000)};
    const char* const shapes[] = {"flat", "long string", "chains", "long list"};
    std::vector<Case> cases;
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        const std::string& twin = texts[i];
        for (std::size_t at : {twin.size() - 3, twin.size() / 2, std::size_t{4}}) cases.push_back({shapes[i], twin, at});
    }
    for (const Case& test : cases) {
        std::string broken = test.twin;
        broken[test.fault_at] = '\x01';
        ASSERT_FALSE(parser::parse_document(broken).ok()) << test.shape;
        const std::size_t twin_peak = parse_peak(test.twin);
        const std::size_t broken_peak = parse_peak(broken);
        // Beyond the error itself, whose report quotes a line of the text.
        constexpr std::size_t error_bytes = 4096;
        EXPECT_LE(broken_peak, twin_peak + error_bytes) << test.shape << ", fault at " << test.fault_at;
        if (test.fault_at == 4) {
            // Failing at once costs about the text's copy, no nodes.
            EXPECT_LE(broken_peak, 2 * test.twin.size() + (std::size_t{1} << 20)) << test.shape;
        }
    }
}

TEST(ParserMemory, ALargeListIsHeldOnce) {
    // A selection set of megabytes: its nodes, the text and little else;
    // never the list twice, as a copy out of a growing buffer would.
    for (std::size_t fields : {std::size_t{30000}, std::size_t{300000}, std::size_t{1500000}}) {
        const std::string text = flat(fields);
        const std::size_t nodes = fields * sizeof(document::Selection);
        const std::size_t peak = parse_peak(text);
        EXPECT_GE(peak, nodes);
        EXPECT_LE(peak, nodes + nodes / 8 + 3 * text.size() + (std::size_t{2} << 20)) << fields << " fields";
    }
}

}  // namespace
