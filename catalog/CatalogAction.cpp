#define XXH_STATIC_LINKING_ONLY
#include "catalog/CatalogAction.h"

#include "catalog/CatalogHost.h"
#include "catalog/CatalogItem.h"
#include "catalog/CharClass.h"
#include "core/Hash.h"
#include "core/Logger.h"

#include <xxhash.h>

#include <array>

namespace {

constexpr uint64_t idSeed = 0x46b4dec784d49158ull;

uint64_t computeActionId(uint64_t pluginId, const wstr& name) {
    XXH64_state_t state;
    XXH64_reset(&state, idSeed);
    std::array<unsigned char, 8> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(pluginId >> (8 * i));
    XXH64_update(&state, bytes.data(), bytes.size());
    hashUpdateWstr64(&state, name);
    uint64_t id = XXH64_digest(&state);
    return id == 0 ? 1 : id;
}

wstr pluginNameForWarning(uint64_t pluginId) {
    std::shared_ptr<CatalogHost> host = CatalogHost::instance();
    if (host) {
        if (std::optional<wstr> name = host->pluginFullName(pluginId))
            return *name;
    }
    wstr text;
    return wstr::format(text, L"{:#x}", pluginId);
}

} // namespace

CatalogAction::CatalogAction(uint64_t pluginId, const wstr& name, const wstr& label,
                             const wstr& shortDesc, const wstr& dataBag)
    : pluginId_(pluginId), name_(normalizeActionName(name)), label_(cleanText(label)),
      shortDesc_(cleanText(shortDesc)), dataBag_(dataBag) {
    wstr message;
    if (name_.empty() || name_ != name) {
        logMessage(Logger::Warning,
                   wstr::format(message,
                                L"Plugin {} created an Action with a name that contains invalid "
                                L"characters and/or not lower-cased (\"{}\"). Action will be "
                                L"ignored.",
                                pluginNameForWarning(pluginId), name));
    } else if (label_.empty()) {
        logMessage(Logger::Warning,
                   wstr::format(message,
                                L"Plugin {} created an Action with an empty label (named "
                                L"\"{}\"). Action will be ignored.",
                                pluginNameForWarning(pluginId), name));
    } else if (pluginId != 0) {
        id_ = computeActionId(pluginId, name_);
    }
}

bool CatalogAction::merge(const CatalogAction& other) {
    if (&other == this || other.id_ != id_)
        return false;
    bool changed = false;
    for (auto [field, value] :
         {std::pair{&label_, &other.label_}, std::pair{&shortDesc_, &other.shortDesc_},
          std::pair{&dataBag_, &other.dataBag_}}) {
        if (*field != *value) {
            *field = *value;
            changed = true;
        }
    }
    return changed;
}

int CatalogAction::compare(const CatalogAction& a, const CatalogAction& b) {
    if (&a == &b)
        return 0;
    if (int c = wstr::compare(a.label_, b.label_, false))
        return c;
    if (int c = wstr::compare(a.shortDesc_, b.shortDesc_, false))
        return c;
    return wstr::compare(a.name_, b.name_, true);
}

wstr normalizeActionName(const wstr& name) {
    wstr out;
    out.reserve(name.size());
    for (wchar_t ch : name) {
        if (!CharClass::isSpace(ch)) {
            if (CharClass::isPrint(ch))
                out.push_back(CharClass::toLower(ch));
        } else if (!out.empty() && (ch == L' ' || ch == L'\t')) {
            out.push_back(L' ');
        }
    }
    wstr::trimRight(out);
    return out;
}
