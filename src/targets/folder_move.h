// The parts of moving a program's folder that need no Windows header: the
// hash that checks each copied file against its source, and the progress
// line (files, bytes, rate, time left).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace movix {

// A 64-bit hash of a stream of bytes, fed in pieces of any size; the same
// bytes give the same value however they were cut. Not cryptographic: it
// tells a copy that differs from its source, not a forgery.
class TContentHash {
  public:
    void Add(const void* data, std::size_t size);
    std::uint64_t Value() const;

  private:
    void Block(const unsigned char* block);

    std::uint64_t lanes_[4] = {0x9E3779B185EBCA87ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
                               0x85EBCA77C2B2AE63ull};
    unsigned char pending_[32] = {};
    std::size_t pendingSize_ = 0;
    std::uint64_t total_ = 0;
};

// How far a move has got.
struct TMoveProgress {
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    double seconds = 0;  // since the copy began
};

// "12 of 340 files, 45.2 MB of 210.0 MB, 38.1 MB/s, about 5 s left"; the
// rate and the time left once there is something to measure them by.
std::string MoveProgressText(const TMoveProgress& progress);

// How far along a move is, as `steps` parts of the whole: by bytes, or by
// files where there are no bytes to count; 0 before anything, `steps` when
// all is done.
int MoveProgressSteps(const TMoveProgress& progress, int steps);

// A byte count for people: "512 bytes", "4.0 KB", "45.2 MB", "1.3 GB".
std::string ByteCountText(std::uint64_t bytes);

}  // namespace movix
