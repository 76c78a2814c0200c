#include "targets/folder_move.h"

#include <cstdio>
#include <cstring>

namespace movix {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;

std::uint64_t RotateLeft(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

std::uint64_t Load64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::uint64_t Mix(std::uint64_t lane, std::uint64_t word) {
    return RotateLeft(lane + word * kPrime2, 31) * kPrime1;
}

std::string Format(const char* format, double a, double b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

void TContentHash::Block(const unsigned char* block) {
    for (int i = 0; i < 4; ++i)
        lanes_[i] = Mix(lanes_[i], Load64(block + 8 * i));
}

void TContentHash::Add(const void* data, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    total_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = size < 32 - pendingSize_ ? size : 32 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        size -= take;
        if (pendingSize_ < 32)
            return;
        Block(pending_);
        pendingSize_ = 0;
    }
    for (; size >= 32; p += 32, size -= 32)
        Block(p);
    std::memcpy(pending_, p, size);
    pendingSize_ = size;
}

std::uint64_t TContentHash::Value() const {
    std::uint64_t h = RotateLeft(lanes_[0], 1) + RotateLeft(lanes_[1], 7) + RotateLeft(lanes_[2], 12) +
                      RotateLeft(lanes_[3], 18);
    h ^= total_ * kPrime3;
    for (std::size_t i = 0; i < pendingSize_; ++i)
        h = RotateLeft(h ^ (pending_[i] * kPrime3), 11) * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

std::string ByteCountText(std::uint64_t bytes) {
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const double b = static_cast<double>(bytes);
    if (bytes < 1024ull * 1024)
        return Format("%.1f KB", b / 1024);
    if (bytes < 1024ull * 1024 * 1024)
        return Format("%.1f MB", b / (1024.0 * 1024));
    return Format("%.1f GB", b / (1024.0 * 1024 * 1024));
}

int MoveProgressSteps(const TMoveProgress& p, int steps) {
    double part = 0;
    if (p.bytesTotal > 0)
        part = static_cast<double>(p.bytesDone) / static_cast<double>(p.bytesTotal);
    else if (p.filesTotal > 0)
        part = static_cast<double>(p.filesDone) / static_cast<double>(p.filesTotal);
    part = part < 0 ? 0 : part > 1 ? 1 : part;
    return static_cast<int>(part * steps + 0.5);
}

std::string MoveProgressText(const TMoveProgress& p) {
    std::string text = std::to_string(p.filesDone) + " of " + std::to_string(p.filesTotal) + " files, " +
                       ByteCountText(p.bytesDone) + " of " + ByteCountText(p.bytesTotal);
    if (p.seconds >= 0.5 && p.bytesDone > 0) {
        const double rate = static_cast<double>(p.bytesDone) / p.seconds;
        text += ", " + ByteCountText(static_cast<std::uint64_t>(rate)) + "/s";
        if (p.bytesTotal > p.bytesDone) {
            const double left = static_cast<double>(p.bytesTotal - p.bytesDone) / rate;
            text += left < 60 ? Format(", about %.0f s left", left < 1 ? 1 : left)
                              : Format(", about %.0f min left", (left + 59) / 60);
        }
    }
    return text;
}

}  // namespace movix
