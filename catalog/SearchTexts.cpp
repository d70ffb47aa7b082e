#include "catalog/SearchTexts.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

bool narrow(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](wchar_t ch) { return static_cast<uint32_t>(ch) < 0x100; });
}

char* copyNarrow(std::wstring_view text, char* out) {
    for (wchar_t ch : text)
        *out++ = static_cast<char>(static_cast<unsigned char>(ch));
    return out;
}

} // namespace

void SearchTexts::set(uint32_t slot, std::wstring_view lower, std::wstring_view label) {
    erase(slot);
    if (entries_.size() <= slot)
        entries_.resize(std::size_t{slot} + 1);
    // A label is its lower-case text in another case: both have one length.
    if (lower.size() > std::numeric_limits<uint16_t>::max() || label.size() != lower.size() ||
        !narrow(lower) || !narrow(label))
        return;
    bool same = label == lower;
    std::size_t size = same ? lower.size() : 2 * lower.size();
    // Offsets are 32 bits: past 4 GiB of texts the rest are read from the items.
    if (blocks_.size() >= std::numeric_limits<uint32_t>::max() / blockSize &&
        used_ + size > blockSize)
        return;
    char* out = room(size);
    Entry& e = entries_[slot];
    e.offset = static_cast<uint32_t>((blocks_.size() - 1) * blockSize + used_ - size);
    e.lowerLength = static_cast<uint16_t>(lower.size());
    e.flags = keptFlag | (same ? sameFlag : 0);
    out = copyNarrow(lower, out);
    if (!same)
        copyNarrow(label, out);
}

void SearchTexts::erase(uint32_t slot) {
    if (!has(slot))
        return;
    unused_ += sizeOf(entries_[slot]);
    entries_[slot] = Entry();
    // Texts replaced in place leave holes; once they are most of what the
    // blocks hold, the texts are packed again.
    if (unused_ > blockSize && unused_ > (blocks_.size() - 1) * blockSize / 2)
        compact();
}

void SearchTexts::clear() {
    entries_.clear();
    blocks_.clear();
    used_ = 0;
    unused_ = 0;
}

std::size_t SearchTexts::sizeOf(const Entry& e) {
    return (e.flags & sameFlag) != 0 ? e.lowerLength : std::size_t{e.lowerLength} * 2;
}

char* SearchTexts::room(std::size_t size) {
    if (blocks_.empty() || used_ + size > blockSize) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    used_ += static_cast<uint32_t>(size);
    return at;
}

void SearchTexts::compact() {
    SearchTexts packed;
    packed.entries_ = std::move(entries_);
    for (Entry& e : packed.entries_) {
        if ((e.flags & keptFlag) == 0)
            continue;
        std::size_t size = sizeOf(e);
        const char* from = blocks_[e.offset / blockSize].get() + e.offset % blockSize;
        std::memcpy(packed.room(size), from, size);
        e.offset =
            static_cast<uint32_t>((packed.blocks_.size() - 1) * blockSize + packed.used_ - size);
    }
    *this = std::move(packed);
}
