// The hash that checks a copied file against its source, and the progress
// line of a move.
#include <gtest/gtest.h>

#include <string>

#include "targets/folder_move.h"

namespace {

std::uint64_t HashInPieces(const std::string& bytes, std::size_t piece) {
    movix::TContentHash hash;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        hash.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
    return hash.Value();
}

TEST(ContentHash, TheSameBytesGiveTheSameValueHoweverTheyAreCut) {
    std::string bytes(100003, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7919 >> 3);
    const std::uint64_t whole = HashInPieces(bytes, bytes.size());
    for (std::size_t piece : {1u, 3u, 31u, 32u, 33u, 4096u, 65537u})
        EXPECT_EQ(whole, HashInPieces(bytes, piece)) << piece;
}

TEST(ContentHash, AnyChangedByteOrLengthChangesTheValue) {
    const std::string base(1000, 'a');
    const std::uint64_t original = HashInPieces(base, 1000);
    for (std::size_t at : {0u, 1u, 31u, 32u, 500u, 990u, 999u}) {
        std::string changed = base;
        changed[at] = 'b';
        EXPECT_NE(original, HashInPieces(changed, 1000)) << at;
    }
    // Lengths that differ only by bytes of zero, and the empty input.
    EXPECT_NE(HashInPieces(std::string(64, '\0'), 64), HashInPieces(std::string(65, '\0'), 65));
    EXPECT_NE(HashInPieces("", 1), HashInPieces(std::string(1, '\0'), 1));
    EXPECT_NE(original, HashInPieces(base + "a", 1001));
}

TEST(MoveProgressText, SaysFilesBytesRateAndTimeLeft) {
    struct Case {
        movix::TMoveProgress progress;
        const char* text;
    } cases[] = {
        {{0, 12, 0, 500, 0}, "0 of 12 files, 0 bytes of 500 bytes"},
        {{1, 1, 1, 1, 0.1}, "1 of 1 files, 1 byte of 1 byte"},
        {{3, 340, 10 * 1048576ull, 40 * 1048576ull, 2}, "3 of 340 files, 10.0 MB of 40.0 MB, 5.0 MB/s, about 6 s left"},
        {{9, 9, 2048, 2048, 1}, "9 of 9 files, 2.0 KB of 2.0 KB, 2.0 KB/s"},
        {{1, 2, 1048576ull, 3ull << 30, 1}, "1 of 2 files, 1.0 MB of 3.0 GB, 1.0 MB/s, about 52 min left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.text, movix::MoveProgressText(c.progress));
}

// The bar follows the bytes, or the files where there are no bytes; a
// stream found on the way may make the done part overtake the whole.
TEST(MoveProgressSteps, BytesElseFilesWithinTheRange) {
    struct Case {
        movix::TMoveProgress progress;
        int steps;
    } cases[] = {
        {{0, 0, 0, 0, 0}, 0},          {{0, 12, 0, 500, 0}, 0}, {{11, 12, 250, 500, 0}, 500},
        {{12, 12, 500, 500, 0}, 1000}, {{3, 4, 0, 0, 0}, 750},  {{2, 2, 900, 600, 0}, 1000},
        {{1, 2, 1, 3ull << 40, 0}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.steps, movix::MoveProgressSteps(c.progress, 1000)) << c.progress.bytesDone;
}

}  // namespace
