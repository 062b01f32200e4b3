#include "core/EventBitMask.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iostream>

namespace {
struct BitTable {
    uint32_t bits[32];
    BitTable() {
        for (int i = 0; i < 32; ++i) bits[i] = 1u << i;
    }
};
const BitTable& Table() {
    static const BitTable t;
    return t;
}
}  // namespace

const uint32_t* EventBitMask::SingleBitTable() { return Table().bits; }

EventBitMask::EventBitMask(uint32_t bitCount)
    : m_bitCount(bitCount), m_wordCount((bitCount >> 5) + 1), m_words(new uint32_t[m_wordCount]()) {}

EventBitMask::EventBitMask(const EventBitMask& o)
    : m_bitCount(o.m_bitCount), m_wordCount(o.m_wordCount), m_words(new uint32_t[o.m_wordCount]) {
    std::memcpy(m_words.get(), o.m_words.get(), m_wordCount * sizeof(uint32_t));
}

EventBitMask& EventBitMask::operator=(const EventBitMask& o) {
    if (this != &o) {
        std::unique_ptr<uint32_t[]> w(new uint32_t[o.m_wordCount]);
        std::memcpy(w.get(), o.m_words.get(), o.m_wordCount * sizeof(uint32_t));
        m_words = std::move(w);
        m_bitCount = o.m_bitCount;
        m_wordCount = o.m_wordCount;
    }
    return *this;
}

void EventBitMask::Clear() { std::memset(m_words.get(), 0, m_wordCount * sizeof(uint32_t)); }

void EventBitMask::SetAll() { std::memset(m_words.get(), 0xFF, m_wordCount * sizeof(uint32_t)); }

void EventBitMask::Resize(uint32_t n) {
    m_words.reset(new uint32_t[(n >> 5) + 1]());
    m_wordCount = (n >> 5) + 1;
    m_bitCount = n;
}

void EventBitMask::Invert() {
    for (uint32_t i = 0; i < m_wordCount; ++i) m_words[i] = ~m_words[i];
}

EventBitMask& EventBitMask::OrWith(const EventBitMask& other) {
    if (other.m_bitCount != m_bitCount) std::cout << "different size" << std::endl;
    const uint32_t n = m_wordCount < other.m_wordCount ? m_wordCount : other.m_wordCount;
    for (uint32_t i = 0; i < n; ++i) m_words[i] |= other.m_words[i];
    return *this;
}

EventBitMask& EventBitMask::AndWith(const EventBitMask& other) {
    if (other.m_bitCount != m_bitCount) std::cout << "different size" << std::endl;
    const uint32_t n = m_wordCount < other.m_wordCount ? m_wordCount : other.m_wordCount;
    for (uint32_t i = 0; i < n; ++i) m_words[i] &= other.m_words[i];
    return *this;
}

// Word i with the bits past the last of bits events cleared.
static uint32_t WordOfEvents(const uint32_t* words, uint32_t i, uint32_t bits) {
    const uint32_t full = bits >> 5;
    if (i < full) return words[i];
    const uint32_t rest = bits & 31;
    return i == full && rest ? words[i] & ((1u << rest) - 1) : 0u;
}

uint32_t EventBitMask::CountSetBitsAnd(const EventBitMask& other) const {
    const uint32_t bits = std::min(m_bitCount, other.m_bitCount);
    const uint32_t words = (bits + 31) >> 5;
    uint32_t count = 0;
    for (uint32_t i = 0; i < words; ++i)
        count += uint32_t(std::popcount(WordOfEvents(m_words.get(), i, bits) & other.m_words[i]));
    return count;
}

bool EventBitMask::IsSubsetOf(const EventBitMask& other) const {
    const uint32_t words = (m_bitCount + 31) >> 5;
    for (uint32_t i = 0; i < words; ++i) {
        const uint32_t mine = WordOfEvents(m_words.get(), i, m_bitCount);
        const uint32_t theirs = WordOfEvents(other.m_words.get(), i, other.m_bitCount);
        if (mine & ~theirs) return false;
    }
    return true;
}

uint32_t EventBitMask::CountSetBits() const {
    const uint32_t full = m_bitCount >> 5;
    uint32_t count = 0;
    for (uint32_t i = 0; i < full; ++i) count += uint32_t(std::popcount(m_words[i]));
    const uint32_t rest = m_bitCount & 31;
    // Bits beyond the bit count in the last word belong to no event.
    if (rest) count += uint32_t(std::popcount(m_words[full] & ((1u << rest) - 1)));
    return count;
}
