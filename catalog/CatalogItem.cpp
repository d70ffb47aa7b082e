#define XXH_STATIC_LINKING_ONLY
#include "catalog/CatalogItem.h"

#include "catalog/CharClass.h"
#include "core/Hash.h"
#include "core/Path.h"

#include <xxhash.h>

#include <array>
#include <cstring>
#include <strings.h>

namespace {

constexpr uint64_t idSeed = 0x46b4dec784d49158ull;

struct EnumName {
    const char* name;
    uint32_t value;
};

constexpr EnumName categoryNames[] = {
    {"error", CatalogItem::error},
    {"keyword", CatalogItem::keyword},
    {"file", CatalogItem::file},
    {"cmdline", CatalogItem::cmdline},
    {"url", CatalogItem::url},
    {"expression", CatalogItem::expression},
    {"reference", CatalogItem::reference},
};
constexpr EnumName argsHintNames[] = {
    {"forbidden", CatalogItem::forbidden},
    {"accepted", CatalogItem::accepted},
    {"required", CatalogItem::required},
};
constexpr EnumName hitHintNames[] = {
    {"keepall", CatalogItem::keepall},
    {"ignore", CatalogItem::ignore},
    {"noargs", CatalogItem::noargs},
};

// "0 forbidden, 1 accepted, 2 required".
template <std::size_t N> std::string namesAndValues(const EnumName (&names)[N]) {
    std::string text;
    for (const EnumName& entry : names) {
        if (!text.empty())
            text += ", ";
        text += std::to_string(entry.value) + " " + entry.name;
    }
    return text;
}

template <std::size_t N> int64_t valueOf(const EnumName (&names)[N], const std::string& name) {
    for (const EnumName& entry : names) {
        if (strcasecmp(entry.name, name.c_str()) == 0)
            return entry.value;
    }
    return -1;
}

// The digits after "#", stopping at the first non-digit; -1 past 32 bits.
int64_t categoryNumber(const std::string& name) {
    if (name.size() < 2 || name[0] != '#' || name[1] < '0' || name[1] > '9')
        return -1;
    int64_t value = 0;
    for (std::size_t i = 1; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        value = value * 10 + (name[i] - '0');
        if (value > UINT32_MAX)
            return -1;
    }
    return value;
}

void hashLittleEndian(XXH64_state_t* state, uint64_t value, std::size_t bytes) {
    std::array<unsigned char, 8> buffer{};
    for (std::size_t i = 0; i < bytes; ++i)
        buffer[i] = static_cast<unsigned char>(value >> (8 * i));
    XXH64_update(state, buffer.data(), bytes);
}

wstr initialTarget(uint32_t category, const wstr& target) {
    if (category == CatalogItem::file)
        return Path::canonicalize(target);
    if (category == CatalogItem::error && target.empty())
        return L"error";
    return target;
}

} // namespace

CatalogItem::CatalogItem(uint64_t pluginId, uint32_t category, const wstr& label,
                         const wstr& shortDesc, const wstr& target, uint32_t argsHint,
                         bool loopOnSuggest, uint32_t hitHint, uint64_t iconHandle,
                         const wstr& dataBag)
    : pluginId_(pluginId), iconHandle_(iconHandle), category_(category), argsHint_(argsHint),
      hitHint_(hitHint), loopOnSuggest_(loopOnSuggest), target_(initialTarget(category, target)),
      dataBag_(dataBag) {
    if (category == error) {
        argsHint_ = forbidden;
        hitHint_ = ignore;
        loopOnSuggest_ = false;
    }
    baseId_ = id_ = computeId(false);
    setLabel(label, false);
    setShortDesc(shortDesc);
    updateSearchTexts();
}

CatalogItem::CatalogItem(Restored&& fields)
    : pluginId_(fields.pluginId), baseId_(fields.id), id_(fields.id), hitCount_(fields.hitCount),
      iconHandle_(fields.iconHandle), category_(fields.category), argsHint_(fields.argsHint),
      hitHint_(fields.hitHint), composedLength_(static_cast<uint32_t>(fields.label.size())),
      changes_(fields.changes), loopOnSuggest_(fields.loopOnSuggest),
      label_(std::move(fields.label)), target_(std::move(fields.target)),
      shortDesc_(std::move(fields.shortDesc)), dataBag_(std::move(fields.dataBag)) {
    searchTexts_.reserve(label_.size() + fields.lowerLabel.size());
    searchTexts_ = label_;
    searchTexts_ += fields.lowerLabel;
}

bool CatalogItem::isValid() const {
    return hasValidFields(pluginId_, category_, label_, target_, argsHint_, hitHint_);
}

bool CatalogItem::hasValidFields(uint64_t pluginId, uint32_t category, std::wstring_view label,
                                 std::wstring_view target, uint32_t argsHint, uint32_t hitHint) {
    return pluginId != 0 && !target.empty() && !label.empty() && category != 0 &&
           category != 0xFFFFFFFF && argsHint <= required && hitHint <= noargs;
}

wstr CatalogItem::invalidProperties() const {
    wstr text;
    auto add = [&text](std::wstring_view reason) {
        if (!text.empty())
            text += L"; ";
        text += reason;
    };
    auto notOneOf = [&add](const wchar_t* field, uint32_t value, const std::string& allowed) {
        wstr reason;
        add(wstr::format(reason, L"{} {} is not one of {}", field, value, allowed.c_str()));
    };
    if (pluginId_ == 0)
        add(L"it belongs to no plugin");
    if (category_ == 0 || category_ == 0xFFFFFFFF)
        notOneOf(L"category", category_, namesAndValues(categoryNames));
    if (label_.empty())
        add(L"the label is empty");
    if (target_.empty())
        add(L"the target is empty");
    if (argsHint_ > required)
        notOneOf(L"args_hint", argsHint_, namesAndValues(argsHintNames));
    if (hitHint_ > noargs)
        notOneOf(L"hit_hint", hitHint_, namesAndValues(hitHintNames));
    return text;
}

void CatalogItem::setLabel(const wstr& label, bool rebuild) {
    label_ = cleanText(label);
    ++changes_;
    if (rebuild)
        updateSearchTexts();
}

void CatalogItem::setShortDesc(const wstr& shortDesc) {
    shortDesc_ = cleanText(shortDesc);
    ++changes_;
}

void CatalogItem::setArgs(const wstr& raw, const wstr& displayed) {
    if (argsHint_ == forbidden)
        return;
    ++changes_;
    rawArgs_ = wstr::trimCopy(raw);
    hasArgs_ = !rawArgs_.empty();
    displayArgs_ = wstr::trimCopy(displayed);
    if (rawArgs_.empty() || displayArgs_ == rawArgs_)
        displayArgs_.clear();
    lowerDisplayedArgs_ = rawArgs_.empty() ? wstr() : wstr::lowerCopy(displayedArgs());
    id_ = computeId(true);
    updateSearchTexts();
}

bool CatalogItem::merge(const CatalogItem& other) {
    if (baseId_ != other.baseId_)
        return false;
    bool labelChanged = !other.label_.empty() && other.label_ != label_;
    if (labelChanged)
        label_ = other.label_;
    bool changed = labelChanged;
    auto copy = [&changed](auto& field, const auto& value) {
        if (field != value) {
            field = value;
            changed = true;
        }
    };
    if (!other.shortDesc_.empty())
        copy(shortDesc_, other.shortDesc_);
    copy(argsHint_, other.argsHint_);
    copy(loopOnSuggest_, other.loopOnSuggest_);
    copy(hitHint_, other.hitHint_);
    copy(iconHandle_, other.iconHandle_);
    if (labelChanged)
        updateSearchTexts();
    if (changed)
        ++changes_;
    return changed;
}

namespace {

// wstr::compare, answering equal texts without folding them.
int compareTexts(const wstr& a, const wstr& b, bool caseSensitive) {
    return a == b ? 0 : wstr::compare(a, b, caseSensitive);
}

} // namespace

int CatalogItem::compare(const CatalogItem& a, const CatalogItem& b) {
    if (&a == &b)
        return 0;
    if (int c = compareTexts(a.label_, b.label_, false))
        return c;
    if (int c = compareTexts(a.displayedArgs(), b.displayedArgs(), true))
        return c;
    if (int c = compareTexts(a.shortDesc_, b.shortDesc_, false))
        return c;
    return wstr::compare(a.target_, b.target_, true);
}

std::shared_ptr<CatalogItem> CatalogItem::clone() const {
    return std::make_shared<CatalogItem>(pluginId_, category_, label_, shortDesc_, target_,
                                         argsHint_, loopOnSuggest_, hitHint_, iconHandle_,
                                         dataBag_);
}

uint64_t CatalogItem::idOf(uint64_t pluginId, uint32_t category, std::wstring_view target,
                           std::wstring_view rawArgs) {
    XXH64_state_t state;
    XXH64_reset(&state, idSeed);
    hashLittleEndian(&state, pluginId, 8);
    hashLittleEndian(&state, category, 4);
    if (category == file)
        hashUpdateWstr64(&state, wstr::lowerInvariant(target.data(), int64_t(target.size())));
    else
        hashUpdateWstr64(&state, target);
    if (!rawArgs.empty())
        hashUpdateWstr64(&state, rawArgs);
    uint64_t id = XXH64_digest(&state);
    return id == 0 ? 1 : id;
}

uint64_t CatalogItem::computeId(bool withArgs) const {
    return idOf(pluginId_, category_, target_, withArgs ? std::wstring_view(rawArgs_) : L"");
}

void CatalogItem::updateSearchTexts() {
    wstr composed = label_;
    const wstr& args = displayedArgs();
    if (!args.empty()) {
        if (!composed.empty())
            composed += L' ';
        composed += args;
    }
    // Lower-casing goes character by character, so the lower-case label and
    // arguments keep their places in the lower-case composed text.
    composedLength_ = static_cast<uint32_t>(composed.size());
    searchTexts_ = composed;
    searchTexts_ += wstr::lowerCopy(composed);
}

wstr cleanText(const wstr& text) {
    wstr out;
    out.reserve(text.size());
    bool started = false;
    for (wchar_t ch : text) {
        if (!CharClass::isSpace(ch) && !CharClass::isControl(ch)) {
            out.push_back(ch);
            started = true;
        } else if (started && (ch == L' ' || ch == L'\t')) {
            out.push_back(L' ');
        }
    }
    wstr::trimRight(out);
    return out;
}

std::string categoryName(uint32_t category) {
    for (const EnumName& entry : categoryNames) {
        if (entry.value == category)
            return entry.name;
    }
    std::string text = "#";
    text += std::to_string(category);
    return text;
}

int64_t categoryFromName(const std::string& name) {
    if (name.empty())
        return -1;
    int64_t value = valueOf(categoryNames, name);
    return value >= 0 ? value : categoryNumber(name);
}

int64_t argsHintFromName(const std::string& name) {
    return valueOf(argsHintNames, name);
}

int64_t hitHintFromName(const std::string& name) {
    return valueOf(hitHintNames, name);
}
