#include "catalog/ItemRecord.h"

#include <array>
#include <cstring>
#include <typeinfo>

namespace {

// Code points below 2^21 as in UTF-8 (surrogates too), other values of a
// wchar_t as 0xF8 and their four bytes.
void encodeTo(std::wstring_view text, std::string& out) {
    for (wchar_t ch : text) {
        auto c = static_cast<uint32_t>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x200000) {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF8);
            for (int shift = 0; shift < 32; shift += 8)
                out += static_cast<char>(c >> shift & 0xFF);
        }
    }
}

// Decodes into out, which has room for one character per byte; returns the
// number of characters.
std::size_t decodeTo(std::string_view bytes, wchar_t* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* end = p + bytes.size();
    wchar_t* start = out;
    while (p < end) {
        uint32_t c = *p;
        if (c < 0x80) {
            ++p;
        } else if (c < 0xE0) {
            c = (c & 0x1F) << 6 | (p[1] & 0x3F);
            p += 2;
        } else if (c < 0xF0) {
            c = (c & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F);
            p += 3;
        } else if (c < 0xF8) {
            c = (c & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
            p += 4;
        } else {
            c = uint32_t{p[1]} | uint32_t{p[2]} << 8 | uint32_t{p[3]} << 16 | uint32_t{p[4]} << 24;
            p += 5;
        }
        *out++ = static_cast<wchar_t>(c);
    }
    return static_cast<std::size_t>(out - start);
}

// Writes the LEB128 bytes of the length; returns their end.
char* appendLength(char* out, std::size_t length) {
    do {
        auto byte = static_cast<unsigned char>(length & 0x7F);
        length >>= 7;
        *out++ = static_cast<char>(length != 0 ? byte | 0x80 : byte);
    } while (length != 0);
    return out;
}

std::size_t readLength(const unsigned char*& p) {
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        unsigned char byte = *p++;
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            return length;
    }
}

constexpr std::size_t textCount = 5;

} // namespace

wchar_t* ItemRecord::TextBuffer::room(std::size_t size) {
    if (chars_.size() < size)
        chars_.resize(std::max(size, 2 * chars_.size()));
    return chars_.data();
}

bool ItemRecord::fits(const CatalogItem& item) {
    return typeid(item) == typeid(CatalogItem) && !item.hasArgs() && item.rawArgs().empty() &&
           item.displayArgsField().empty() && item.lowerDisplayedArgs().empty() &&
           item.baseId() == item.id() && item.argsHint() <= UINT8_MAX &&
           item.hitHint() <= UINT8_MAX && item.composedText() == std::wstring_view(item.label());
}

ItemRecord::ItemRecord(const CatalogItem& item) {
    std::array<std::string, textCount> texts;
    encodeTo(item.lowerComposedText(), texts[lowerText_]);
    pluginId_ = item.pluginId();
    if (fits(item)) {
        flags_ = wholeFlag | (item.loopOnSuggest() ? loopFlag : 0);
        iconHandle_ = item.iconHandle();
        hitCount_ = item.hitCount();
        category_ = item.category();
        changes_ = item.changes();
        argsHint_ = static_cast<uint8_t>(item.argsHint());
        hitHint_ = static_cast<uint8_t>(item.hitHint());
        if (item.lowerComposedText() == std::wstring_view(item.label()))
            flags_ |= lowerIsLabelFlag;
        else
            encodeTo(item.label(), texts[labelText_]);
        encodeTo(item.target(), texts[targetText_]);
        encodeTo(item.shortDesc(), texts[shortDescText_]);
        encodeTo(item.dataBag(), texts[dataBagText_]);
    }
    setTexts(texts.data());
}

ItemRecord::ItemRecord(const Fields& fields)
    : pluginId_(fields.pluginId), category_(fields.category), changes_(fields.changes),
      argsHint_(static_cast<uint8_t>(fields.argsHint)),
      hitHint_(static_cast<uint8_t>(fields.hitHint)),
      flags_(wholeFlag | (fields.loopOnSuggest ? loopFlag : 0)) {
    // Reused: a reader records a million of these.
    thread_local std::array<std::string, textCount> texts;
    for (std::string& text : texts)
        text.clear();
    encodeTo(fields.lowerLabel, texts[lowerText_]);
    if (fields.lowerLabel == fields.label)
        flags_ |= lowerIsLabelFlag;
    else
        encodeTo(fields.label, texts[labelText_]);
    encodeTo(fields.target, texts[targetText_]);
    encodeTo(fields.shortDesc, texts[shortDescText_]);
    encodeTo(fields.dataBag, texts[dataBagText_]);
    setTexts(texts.data());
}

void ItemRecord::setTexts(const std::string* texts) {
    char lengths[textCount * 10];
    char* end = lengths;
    std::size_t size = 0;
    for (std::size_t i = 0; i < textCount; ++i) {
        end = appendLength(end, texts[i].size());
        size += texts[i].size();
    }
    auto prefix = static_cast<std::size_t>(end - lengths);
    texts_ = std::make_unique_for_overwrite<char[]>(prefix + size);
    char* out = texts_.get();
    std::memcpy(out, lengths, prefix);
    out += prefix;
    for (std::size_t i = 0; i < textCount; ++i) {
        std::memcpy(out, texts[i].data(), texts[i].size());
        out += texts[i].size();
    }
}

std::string_view ItemRecord::encoded(Text text) const {
    const auto* p = reinterpret_cast<const unsigned char*>(texts_.get());
    std::array<std::size_t, textCount> lengths{};
    for (std::size_t& length : lengths)
        length = readLength(p);
    for (std::size_t i = 0; i < text; ++i)
        p += lengths[i];
    return {reinterpret_cast<const char*>(p), lengths[text]};
}

wstr ItemRecord::decoded(Text text) const {
    std::string_view bytes = encoded(text);
    wstr out(bytes.size(), L'\0');
    out.resize(decodeTo(bytes, out.data()));
    out.shrink_to_fit();
    return out;
}

std::wstring_view ItemRecord::lowerText(TextBuffer& buffer) const {
    std::string_view bytes = encoded(lowerText_);
    wchar_t* chars = buffer.room(bytes.size());
    return {chars, decodeTo(bytes, chars)};
}

std::wstring_view ItemRecord::label(TextBuffer& buffer) const {
    std::string_view bytes = encoded((flags_ & lowerIsLabelFlag) ? lowerText_ : labelText_);
    wchar_t* chars = buffer.room(bytes.size());
    return {chars, decodeTo(bytes, chars)};
}

CatalogItemPtr ItemRecord::item(uint64_t id) const {
    CatalogItem::Restored fields;
    fields.pluginId = pluginId_;
    fields.id = id;
    fields.hitCount = hitCount_;
    fields.iconHandle = iconHandle_;
    fields.category = category_;
    fields.changes = changes_;
    fields.argsHint = argsHint_;
    fields.hitHint = hitHint_;
    fields.loopOnSuggest = (flags_ & loopFlag) != 0;
    fields.lowerLabel = decoded(lowerText_);
    fields.label = (flags_ & lowerIsLabelFlag) ? fields.lowerLabel : decoded(labelText_);
    fields.shortDesc = decoded(shortDescText_);
    fields.target = decoded(targetText_);
    fields.dataBag = decoded(dataBagText_);
    return std::make_shared<CatalogItem>(std::move(fields));
}

ItemRecord ItemRecord::copy() const {
    ItemRecord other;
    other.pluginId_ = pluginId_;
    other.iconHandle_ = iconHandle_;
    other.hitCount_ = hitCount_;
    other.category_ = category_;
    other.changes_ = changes_;
    other.argsHint_ = argsHint_;
    other.hitHint_ = hitHint_;
    other.flags_ = flags_;
    if (texts_) {
        const auto* p = reinterpret_cast<const unsigned char*>(texts_.get());
        std::size_t size = 0;
        for (std::size_t i = 0; i < textCount; ++i)
            size += readLength(p);
        size += static_cast<std::size_t>(p - reinterpret_cast<const unsigned char*>(texts_.get()));
        other.texts_ = std::make_unique_for_overwrite<char[]>(size);
        std::memcpy(other.texts_.get(), texts_.get(), size);
    }
    return other;
}
