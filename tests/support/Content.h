// The bytes of the test server's files (tests/server/content.py): a 64 KiB
// block from a small LCG, each 64 KiB stretch XOR-ed with its number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<uint8_t> ContentBlock(uint32_t seed) {
    std::vector<uint8_t> block(65536);
    uint32_t x = seed * 2654435761u + 1u;
    for (auto& b : block) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>((x >> 16) & 0xFF);
    }
    return block;
}

inline std::string ContentPiece(uint32_t seed, int64_t start, int64_t end) {
    const std::vector<uint8_t> block = ContentBlock(seed);
    std::string out;
    out.reserve(static_cast<size_t>(end - start));
    for (int64_t i = start; i < end; ++i)
        out.push_back(static_cast<char>(block[static_cast<size_t>(i & 0xFFFF)] ^ static_cast<uint8_t>((i >> 16) & 0xFF)));
    return out;
}
