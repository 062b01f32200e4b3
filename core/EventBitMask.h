#pragma once
// One bit per event, kept in 32-bit words. Event e is bit (e & 31) of word
// (e >> 5). There is always one word more than bitCount/32 rounded down.
#include <cstdint>
#include <memory>
#include <utility>

class EventBitMask {
public:
    explicit EventBitMask(uint32_t bitCount = 0);
    EventBitMask(const EventBitMask& o);
    EventBitMask& operator=(const EventBitMask& o);
    ~EventBitMask() = default;

    // Exchanges bits and sizes with other (no copy).
    void Swap(EventBitMask& other) noexcept {
        std::swap(m_bitCount, other.m_bitCount);
        std::swap(m_wordCount, other.m_wordCount);
        m_words.swap(other.m_words);
    }

    void Clear();
    void SetAll();
    // Reallocates for n bits, all clear (bit and word counts stay consistent).
    void Resize(uint32_t n);
    void Invert();
    // Word-wise OR / AND over the words both masks have; "different size" on
    // stdout when the bit counts differ.
    EventBitMask& OrWith(const EventBitMask& other);
    EventBitMask& AndWith(const EventBitMask& other);
    // Set bits among the first bitCount bits.
    uint32_t CountSetBits() const;
    // Events set in both masks, over the events both cover.
    uint32_t CountSetBitsAnd(const EventBitMask& other) const;
    // True when every event set here (within other's events) is set in other
    // too, and none is set past them.
    bool IsSubsetOf(const EventBitMask& other) const;

    bool Test(uint32_t e) const { return (m_words[e >> 5] >> (e & 31)) & 1u; }
    void Set(uint32_t e) { m_words[e >> 5] |= 1u << (e & 31); }
    void Reset(uint32_t e) { m_words[e >> 5] &= ~(1u << (e & 31)); }

    uint32_t GetBitCount() const { return m_bitCount; }
    uint32_t GetWordCount() const { return m_wordCount; }
    uint32_t* Words() { return m_words.get(); }
    const uint32_t* Words() const { return m_words.get(); }

    // Shared table whose entry i is 1 << i.
    static const uint32_t* SingleBitTable();

private:
    uint32_t m_bitCount = 0;
    uint32_t m_wordCount = 1;
    std::unique_ptr<uint32_t[]> m_words;
};

// Walks a mask bit by bit.
struct EventBitIterator {
    const uint32_t* word = nullptr;
    const uint32_t* table = nullptr;
    uint32_t bit = 0;
    uint32_t lastBit = 31;

    bool IsSet() const { return (*word & table[bit]) != 0; }
    void Next() {
        if (bit == lastBit) { ++word; bit = 0; } else { ++bit; }
    }
};

// Walks the events of a gate: columns of the current values plus the mask.
// An empty iterator (no columns, no words) must not be walked; Valid() tells.
struct GateEventIterator {
    float* const* columns = nullptr;
    uint32_t event = 0;
    uint32_t eventCount = 0;
    EventBitIterator bits;

    GateEventIterator() = default;
    GateEventIterator(float* const* cols, uint32_t count, const EventBitMask& mask)
        : columns(cols), eventCount(count < mask.GetBitCount() ? count : mask.GetBitCount()) {
        bits.word = mask.Words();
        bits.table = EventBitMask::SingleBitTable();
    }
    bool Valid() const { return columns != nullptr && bits.word != nullptr; }
    bool AtEnd() const { return event >= eventCount; }
    bool InGate() const { return bits.IsSet(); }
    float Value(int32_t param) const { return columns[param][event]; }
    void Next() { ++event; bits.Next(); }
};
