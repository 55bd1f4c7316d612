#include "core/outputorigins.h"

#include <gtest/gtest.h>

using namespace tracewin;

namespace {

OutputOrigin at(int jspLine, int javaLine, std::string fileId = "1") {
    return OutputOrigin{std::move(fileId), jspLine, 1, jspLine, 10, javaLine};
}

TextSpan span(int line, int from, int toLine, int to) {
    return TextSpan{FilePosition(from, line), FilePosition(to, toLine)};
}

} // namespace

// A loop body writes three pieces between the pieces of other spans: each character
// finds the piece that holds it, and the body's spans are listed in order.
TEST(OutputOrigins, EachCharacterFindsItsPieceAndEachOriginItsSpans) {
    OutputOrigins origins;
    origins.add(span(1, 1, 1, 8), at(3, 40));
    for (int pass = 0; pass < 3; ++pass) {
        origins.add(span(2 + pass, 1, 2 + pass, 4), at(8, 50));
        origins.add(span(2 + pass, 5, 2 + pass, 20), at(8, 51));
    }
    origins.add(span(5, 1, 6, 7), at(10, 60));

    ASSERT_NE(origins.originAt(FilePosition(1, 1)), nullptr);
    EXPECT_EQ(origins.originAt(FilePosition(8, 1))->jspStartLine, 3);
    EXPECT_EQ(origins.originAt(FilePosition(2, 4))->javaLine, 50) << "third <li>'s tag";
    EXPECT_EQ(origins.originAt(FilePosition(5, 4))->javaLine, 51) << "piece's first column";
    EXPECT_EQ(origins.originAt(FilePosition(3, 6))->jspStartLine, 10)
        << "inside a piece of two lines";
    EXPECT_EQ(origins.originAt(FilePosition(9, 1)), nullptr) << "past the first piece's end";
    EXPECT_EQ(origins.originAt(FilePosition(8, 6)), nullptr) << "past the last piece";
    EXPECT_EQ(origins.originAt(FilePosition(1, 0)), nullptr) << "before the first piece";

    const auto body = origins.spansOf(at(8, 50));
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(*body, (TextSpans{span(2, 1, 2, 4), span(3, 1, 3, 4), span(4, 1, 4, 4)}));
    EXPECT_EQ(origins.spansOf(at(8, 50, "2")), nullptr) << "the same span of another file";
    EXPECT_EQ(origins.pieceCount(), 8u);
}

// The spans handed out grow with what the origin writes later: a piece that goes on where
// the origin's last one ended widens it, across a line break too, and one after a gap or
// after another origin's piece is a stretch of its own. Pieces that do not come after the
// output so far are ignored; clearing forgets everything.
TEST(OutputOrigins, SpansGrowPiecesOnlyMoveForwardAndClearForgets) {
    OutputOrigins origins;
    origins.add(span(1, 1, 1, 3), at(8, 50));
    const auto spans = origins.spansOf(at(8, 50));
    origins.add(span(1, 4, 1, 6), at(8, 50));
    EXPECT_EQ(*spans, (TextSpans{span(1, 1, 1, 6)}));
    origins.add(span(1, 7, 2, 0), at(8, 50));
    origins.add(span(2, 1, 2, 2), at(8, 50));
    EXPECT_EQ(*spans, (TextSpans{span(1, 1, 2, 2)})) << "on from a line's end";
    origins.add(span(2, 5, 2, 6), at(8, 50));
    origins.add(span(2, 7, 2, 7), at(3, 40));
    origins.add(span(2, 8, 2, 9), at(8, 50));
    EXPECT_EQ(*spans, (TextSpans{span(1, 1, 2, 2), span(2, 5, 2, 6), span(2, 8, 2, 9)}))
        << "after a gap, and after another origin";
    EXPECT_EQ(origins.originAt(FilePosition(4, 1))->javaLine, 50) << "inside the widened piece";
    EXPECT_EQ(origins.originAt(FilePosition(3, 2)), nullptr) << "in the gap";
    EXPECT_EQ(origins.originAt(FilePosition(7, 2))->javaLine, 40);
    EXPECT_EQ(origins.pieceCount(), 4u);
    origins.add(span(1, 5, 1, 9), at(9, 52));
    EXPECT_EQ(origins.spansOf(at(9, 52)), nullptr) << "overlaps the last piece";
    origins.clear();
    EXPECT_EQ(origins.originAt(FilePosition(2, 1)), nullptr);
    EXPECT_EQ(origins.pieceCount(), 0u);
}
