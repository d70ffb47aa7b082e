#include "catalog/CatalogHistoryFile.h"

#include "catalog/AppIdentity.h"
#include "catalog/CatalogHistory.h"
#include "catalog/FuzzyMatch.h"
#include "catalog/PluginFullName.h"
#include "catalog/SwapFile.h"
#include "core/Logger.h"
#include "core/MessageBox.h"
#include "core/SysFile.h"
#include "core/SysTime.h"
#include "core/Utf.h"
#include "platform/Error.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include <json/json.h>

namespace {

// Plugins of earlier package versions whose history entries are converted or
// dropped when a file of their format is read.
constexpr uint64_t kTranslatePlugin = 0x3263b6c3a1638dd9;   // format 101
constexpr uint32_t kTranslateCategory = 1001;               // format 101
constexpr uint64_t kOldAppsPlugin = 0x621d8a6e610f7d58;     // format 100
constexpr uint64_t kAppsKeywordPlugin = 0x621d8a6ec68d9540; // category 1001
constexpr uint64_t kAppsPlugin = 0x621d8a6eb18ad54f;        // no description
constexpr uint64_t kAppsDesktopPlugin = 0x621d8a6e42fbe145;
constexpr uint64_t kAppsStartMenuPlugin = 0x621d8a6ea44a914b;
constexpr uint64_t kAppsOtherPlugin = 0x621d8a6eaea31165;

constexpr uint32_t kBoxFlags = MessageBox::MB_ICONWARNING;

const char* const kArgsHintNames[] = {"forbidden", "accepted", "required"};
const char* const kHitHintNames[] = {"keepall", "ignore", "noargs"};

// --- Files that failed to load -------------------------------------------

std::mutex& failedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::set<wstr>& failedFiles() {
    static std::set<wstr> files;
    return files;
}

// A file that loads again (mended by hand) is no longer set aside.
void rememberOutcome(const wstr& path, bool loaded) {
    std::lock_guard lock(failedMutex());
    if (loaded)
        failedFiles().erase(path);
    else
        failedFiles().insert(path);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// "<file>.<UTC stamp>.bad", numbered when a file of that name exists.
std::string badFileName(const wstr& path) {
    std::string base = wstr::toUtf8(path) + "." + wstr::toUtf8(Sys::isoTimestamp(true));
    std::string name = base + ".bad";
    for (int n = 2; pathExists(name); ++n)
        name = base + "." + std::to_string(n) + ".bad";
    return name;
}

// --- Messages -------------------------------------------------------------

void reportError(wstr message) {
    logMessage(Logger::Error, kBoxFlags, nullptr, 0, std::move(message));
}

void reportInvalid(const wstr& path, uint32_t number) {
    wstr message;
    reportError(wstr::format(
        message, L"Failed to load history from {}. Invalid value or structure (error #{}/{}).",
        path, number, AppIdentity::get().version));
}

void warn(wstr message) {
    logMessage(Logger::Warning, std::move(message));
}

// --- JSON values ------------------------------------------------------------

wstr text(const Json::Value& value) {
    const std::string utf8 = value.asString();
    return wstr::fromMultiByte(utf8.data(), static_cast<int64_t>(utf8.size()), wstr::codePageUtf8);
}

wstr optionalText(const Json::Value& object, const char* key) {
    return object.isMember(key) ? text(object[key]) : wstr();
}

Json::Value jsonText(const wstr& value) {
    return Json::Value(wstr::toUtf8(value));
}

bool isUnsigned(const Json::Value& value) {
    return value.isUInt64();
}

// The number of the first failed check of a string member: missing, not a
// string, or (with accepted) not accepted.
template <typename Accept>
uint32_t checkString(const Json::Value& object, const char* key, uint32_t missing,
                     uint32_t notString, uint32_t notAccepted, Accept accepted) {
    if (!object.isMember(key))
        return missing;
    if (!object[key].isString())
        return notString;
    return accepted(object[key].asString()) ? 0 : notAccepted;
}

uint32_t checkString(const Json::Value& object, const char* key, uint32_t missing,
                     uint32_t notString) {
    return checkString(object, key, missing, notString, 0, [](const std::string&) { return true; });
}

uint32_t checkOptional(const Json::Value& object, const char* key, uint32_t wrongType,
                       bool (Json::Value::*isType)() const) {
    return object.isMember(key) && !(object[key].*isType)() ? wrongType : 0;
}

bool isAppName(const Json::Value& plugin) {
    return wstr::equals(text(plugin), L"app", false);
}

// --- Checks, in the order and with the numbers of the file format ----------

uint32_t checkItemPlugin(const Json::Value& plugin) {
    if (isUnsigned(plugin))
        return plugin.asUInt64() == 0 ? 834 : 0;
    if (plugin.isString())
        return parsePluginFullName(text(plugin)) == 0 ? 836 : 0;
    return 832;
}

uint32_t checkItem(const Json::Value& item) {
    if (!item.isObject())
        return 829;
    if (!item.isMember("plugin"))
        return 831;
    auto known = [](auto fromName) {
        return [fromName](const std::string& name) { return fromName(name) >= 0; };
    };
    uint32_t failed = checkItemPlugin(item["plugin"]);
    if (!failed)
        failed = checkString(item, "category", 838, 839, 840, known(categoryFromName));
    if (!failed)
        failed = checkString(item, "label", 842, 843);
    if (!failed)
        failed = checkOptional(item, "short_desc", 846, &Json::Value::isString);
    if (!failed)
        failed = checkString(item, "target", 848, 849);
    if (!failed)
        failed = checkString(item, "args_hint", 851, 852, 853, known(argsHintFromName));
    if (!failed)
        failed = checkOptional(item, "loop_on_suggest", 856, &Json::Value::isBool);
    if (!failed)
        failed = checkString(item, "hit_hint", 858, 859, 860, known(hitHintFromName));
    if (!failed)
        failed = checkOptional(item, "args", 864, &Json::Value::isString);
    if (!failed && item.isMember("args"))
        failed = checkOptional(item, "args_label", 866, &Json::Value::isString);
    if (!failed)
        failed = checkOptional(item, "data_bag", 877, &Json::Value::isString);
    return failed;
}

uint32_t checkActionPlugin(const Json::Value& plugin) {
    if (isUnsigned(plugin))
        return plugin.asUInt64() == 0 ? 889 : 0;
    if (plugin.isString())
        return isAppName(plugin) || parsePluginFullName(text(plugin)) != 0 ? 0 : 896;
    return 886;
}

uint32_t checkAction(const Json::Value& action) {
    if (!action.isObject())
        return 883;
    if (!action.isMember("plugin"))
        return 885;
    auto normalised = [](const std::string& name) {
        wstr wide =
            wstr::fromMultiByte(name.data(), static_cast<int64_t>(name.size()), wstr::codePageUtf8);
        return normalizeActionName(wide) == wide;
    };
    uint32_t failed = checkActionPlugin(action["plugin"]);
    if (!failed)
        failed = checkString(action, "name", 899, 900, 902, normalised);
    if (!failed)
        failed = checkString(action, "label", 904, 905);
    if (!failed)
        failed = checkOptional(action, "short_desc", 908, &Json::Value::isString);
    if (!failed)
        failed = checkOptional(action, "data_bag", 911, &Json::Value::isString);
    return failed;
}

uint32_t checkTerm(const Json::Value& term) {
    if (!term.isObject())
        return 917;
    if (uint32_t failed = checkString(term, "search", 919, 920))
        return failed;
    if (!term.isMember("items"))
        return 922;
    const Json::Value& items = term["items"];
    if (!items.isArray())
        return 923;
    for (const Json::Value& id : items) {
        if (!isUnsigned(id))
            return 925;
    }
    return 0;
}

bool isTimestamp(const std::string& value) {
    int64_t time = 0;
    int64_t offset = 0;
    wstr wide =
        wstr::fromMultiByte(value.data(), static_cast<int64_t>(value.size()), wstr::codePageUtf8);
    return Sys::parseIsoTimestamp(wide, &time, &offset);
}

uint32_t checkHit(const Json::Value& hit) {
    if (!hit.isObject())
        return 932;
    if (uint32_t failed = checkString(hit, "time", 934, 935, 937, isTimestamp))
        return failed;
    if (!hit.isMember("item"))
        return 940;
    if (!isUnsigned(hit["item"]))
        return 941;
    if (hit.isMember("action") && !hit["action"].isNull() && !isUnsigned(hit["action"]))
        return 944;
    return 0;
}

template <typename Check> uint32_t checkEach(const Json::Value& array, Check check) {
    for (const Json::Value& element : array) {
        if (uint32_t failed = check(element))
            return failed;
    }
    return 0;
}

uint32_t checkHeader(const Json::Value& root, uint32_t& format) {
    if (!root.isObject())
        return 801;
    if (!root.isMember(".header"))
        return 802;
    const Json::Value& header = root[".header"];
    if (!header.isObject())
        return 803;
    if (!header.isMember("format"))
        return 804;
    if (!header["format"].isUInt())
        return 805;
    format = header["format"].asUInt();
    return format < 100 || format > CatalogHistoryFile::currentFormat ? 812 : 0;
}

uint32_t checkLayout(const Json::Value& root) {
    if (!root.isMember("sets"))
        return 815;
    const Json::Value& sets = root["sets"];
    if (!sets.isObject())
        return 816;
    if (!sets.isMember("actions"))
        return 817;
    if (!sets["actions"].isArray())
        return 818;
    if (!sets.isMember("items"))
        return 819;
    if (!sets["items"].isArray())
        return 820;
    if (sets.isMember("terms") && !sets["terms"].isArray())
        return 822;
    if (!root.isMember("history"))
        return 823;
    return root["history"].isArray() ? 0 : 824;
}

uint32_t checkDocument(const Json::Value& root, uint32_t& format) {
    uint32_t failed = checkHeader(root, format);
    if (!failed)
        failed = checkLayout(root);
    if (failed)
        return failed;
    const Json::Value& sets = root["sets"];
    failed = checkEach(sets["items"], checkItem);
    if (!failed)
        failed = checkEach(sets["actions"], checkAction);
    if (!failed && sets.isMember("terms"))
        failed = checkEach(sets["terms"], checkTerm);
    if (!failed)
        failed = checkEach(root["history"], checkHit);
    return failed;
}

// --- The load pass ----------------------------------------------------------

// Builds the content of a checked document, converting entries of earlier
// formats on the way.
class Loader {
public:
    Loader(uint32_t format, const wstr& path, CatalogHistoryFile::Content& content)
        : format_(format), path_(path), content_(content) {}

    // False when an invalid item or action stopped the load.
    bool load(const Json::Value& root) {
        const Json::Value& sets = root["sets"];
        if (!loadItems(sets["items"]))
            return false;
        if (!loadActions(sets["actions"]))
            return false;
        for (const Json::Value& term : sets["terms"])
            loadTerm(term);
        for (const Json::Value& hit : root["history"])
            loadHit(hit);
        return true;
    }

private:
    bool loadItems(const Json::Value& items) {
        size_t converted = 0;
        for (const Json::Value& value : items) {
            CatalogItemPtr item = buildItem(value);
            if (!item->isValid()) {
                reportInvalid(path_, 992);
                return false;
            }
            if (format_ == 101 && isTranslateItem(*item)) {
                dropped_.insert(item->id());
                dropped_.insert(item->baseId());
                continue;
            }
            if (format_ == 100 && item->pluginId() == kOldAppsPlugin) {
                CatalogItemPtr newItem = convertAppsItem(*item);
                converted_[item->id()] = newItem->id();
                item = newItem;
                ++converted;
            }
            if (item->category() != CatalogItem::error)
                content_.items.push_back(std::move(item));
        }
        if (converted > 0) {
            wstr message;
            logMessage(Logger::Info,
                       wstr::format(message,
                                    L"Converted {} items of the previous Apps package version",
                                    converted));
        }
        return true;
    }

    bool loadActions(const Json::Value& actions) {
        for (const Json::Value& value : actions) {
            uint64_t pluginId = actionPluginId(value["plugin"]);
            if (format_ == 101 && pluginId == kTranslatePlugin)
                continue;
            auto action = std::make_shared<CatalogAction>(
                pluginId, text(value["name"]), text(value["label"]),
                optionalText(value, "short_desc"), optionalText(value, "data_bag"));
            if (action->id() == 0) {
                reportInvalid(path_, 1089);
                return false;
            }
            if (format_ == 100 && pluginId == kOldAppsPlugin)
                droppedActions_.insert(action->id());
            else
                content_.actions.push_back(std::move(action));
        }
        return true;
    }

    void loadTerm(const Json::Value& value) {
        CatalogHistoryFile::Content::Term term{text(value["search"]), {}};
        normalizeSpaces(term.search);
        if (term.search.empty())
            return;
        for (const Json::Value& id : value["items"]) {
            if (std::optional<uint64_t> itemId = mapItemId(id.asUInt64()))
                term.itemIds.push_back(*itemId);
        }
        content_.terms.push_back(std::move(term));
    }

    void loadHit(const Json::Value& value) {
        std::optional<uint64_t> itemId = mapItemId(value["item"].asUInt64());
        if (!itemId)
            return;
        CatalogHistoryFile::Content::Hit hit;
        hit.itemId = *itemId;
        Sys::parseIsoTimestamp(text(value["time"]), &hit.time, &hit.utcOffset);
        const Json::Value& action = value["action"];
        if (isUnsigned(action) && !droppedActions_.count(action.asUInt64()))
            hit.actionId = action.asUInt64();
        content_.hits.push_back(hit);
    }

    // The id under which the item was loaded; nothing for a dropped item.
    std::optional<uint64_t> mapItemId(uint64_t id) const {
        if (dropped_.count(id))
            return std::nullopt;
        auto found = converted_.find(id);
        return found == converted_.end() ? id : found->second;
    }

    static CatalogItemPtr buildItem(const Json::Value& value) {
        const Json::Value& plugin = value["plugin"];
        uint64_t pluginId =
            isUnsigned(plugin) ? plugin.asUInt64() : parsePluginFullName(text(plugin));
        auto item = std::make_shared<CatalogItem>(
            pluginId, static_cast<uint32_t>(categoryFromName(value["category"].asString())),
            text(value["label"]), optionalText(value, "short_desc"), text(value["target"]),
            static_cast<uint32_t>(argsHintFromName(value["args_hint"].asString())),
            value.get("loop_on_suggest", false).asBool(),
            static_cast<uint32_t>(hitHintFromName(value["hit_hint"].asString())), 0,
            optionalText(value, "data_bag"));
        if (value.isMember("args"))
            item->setArgs(text(value["args"]), optionalText(value, "args_label"));
        return item;
    }

    static uint64_t actionPluginId(const Json::Value& plugin) {
        if (isUnsigned(plugin))
            return plugin.asUInt64();
        return isAppName(plugin) ? CatalogAction::appPluginId : parsePluginFullName(text(plugin));
    }

    static bool isTranslateItem(const CatalogItem& item) {
        return item.pluginId() == kTranslatePlugin && item.category() == kTranslateCategory &&
               item.target() == L"translate";
    }

    // The item of the old Apps plugin under the plugin that now supplies it.
    static CatalogItemPtr convertAppsItem(const CatalogItem& old) {
        const wstr& desc = old.shortDesc();
        uint64_t pluginId = old.category() == 1001                          ? kAppsKeywordPlugin
                            : desc.empty()                                  ? kAppsPlugin
                            : wstr::startsWith(desc, L"Desktop:", false)    ? kAppsDesktopPlugin
                            : wstr::startsWith(desc, L"Start Menu:", false) ? kAppsStartMenuPlugin
                                                                            : kAppsOtherPlugin;
        auto item = std::make_shared<CatalogItem>(pluginId, old.category(), old.label(), desc,
                                                  old.target(), old.argsHint(), old.loopOnSuggest(),
                                                  old.hitHint(), 0, old.dataBag());
        item->setArgs(old.rawArgs(), old.displayArgsField());
        return item;
    }

    uint32_t format_;
    const wstr& path_;
    CatalogHistoryFile::Content& content_;
    std::unordered_set<uint64_t> dropped_;
    std::unordered_map<uint64_t, uint64_t> converted_;
    std::unordered_set<uint64_t> droppedActions_;
};

// --- Applying ---------------------------------------------------------------

void applyTerm(const CatalogHistoryFile::Content::Term& term, CatalogHistory& history) {
    std::vector<CatalogItemPtr> items;
    for (uint64_t id : term.itemIds) {
        CatalogItemPtr item = history.items().find(id);
        if (item && std::find(items.begin(), items.end(), item) == items.end())
            items.push_back(std::move(item));
    }
    for (auto item = items.rbegin(); item != items.rend(); ++item)
        history.addSearchTerms(term.search, *item);
}

bool applyHit(const CatalogHistoryFile::Content::Hit& hit, CatalogHistory& history,
              const wstr& path) {
    wstr message;
    CatalogItemPtr item = history.items().find(hit.itemId);
    if (!item) {
        warn(wstr::format(message,
                          L"Failed to insert loaded Hit in history because the referenced Item "
                          L"was not found (item: {}; file: {})",
                          hit.itemId, path));
        return false;
    }
    CatalogActionPtr action;
    if (hit.actionId) {
        auto found = history.actions().find(*hit.actionId);
        if (found == history.actions().end()) {
            warn(wstr::format(message,
                              L"Failed to insert loaded Hit in history because the referenced "
                              L"Action was not found (action: {}; file: {})",
                              *hit.actionId, path));
            return false;
        }
        action = found->second;
    }
    return history.addHit(item, action, hit.time, hit.utcOffset) != nullptr;
}

// --- Writing ----------------------------------------------------------------

std::string hintName(const char* const (&names)[3], uint32_t value) {
    return value < 3 ? names[value] : "";
}

Json::Value pluginValue(uint64_t pluginId, const CatalogHistory::PluginNames& names) {
    auto found = names.find(pluginId);
    return found != names.end() ? jsonText(found->second) : Json::Value(Json::UInt64(pluginId));
}

Json::Value itemValue(const CatalogItem& item, const CatalogHistory::PluginNames& names) {
    Json::Value value(Json::objectValue);
    value["plugin"] = pluginValue(item.pluginId(), names);
    value["category"] = categoryName(item.category());
    value["label"] = jsonText(item.label());
    value["short_desc"] = jsonText(item.shortDesc());
    value["target"] = jsonText(item.target());
    value["args_hint"] = hintName(kArgsHintNames, item.argsHint());
    value["loop_on_suggest"] = item.loopOnSuggest();
    value["hit_hint"] = hintName(kHitHintNames, item.hitHint());
    if (!item.rawArgs().empty()) {
        value["args"] = jsonText(item.rawArgs());
        if (!item.displayArgsField().empty())
            value["args_label"] = jsonText(item.displayArgsField());
    }
    if (!item.dataBag().empty())
        value["data_bag"] = jsonText(item.dataBag());
    value["id"] = Json::UInt64(item.id());
    return value;
}

Json::Value actionValue(const CatalogAction& action, const CatalogHistory::PluginNames& names) {
    Json::Value value(Json::objectValue);
    value["plugin"] =
        action.isAppOwned() ? Json::Value("App") : pluginValue(action.pluginId(), names);
    value["name"] = jsonText(action.name());
    value["label"] = jsonText(action.label());
    value["short_desc"] = jsonText(action.shortDesc());
    if (!action.dataBag().empty())
        value["data_bag"] = jsonText(action.dataBag());
    value["id"] = Json::UInt64(action.id());
    return value;
}

Json::Value hitValue(const CatalogHistory::Hit& hit) {
    Json::Value value(Json::objectValue);
    value["time"] = jsonText(Sys::isoTimestampOffset(hit.time, hit.utcOffset));
    value["item"] = Json::UInt64(hit.item->id());
    value["action"] = hit.action ? Json::Value(Json::UInt64(hit.action->id())) : Json::Value();
    wstr label = hit.item->label();
    if (!hit.item->rawArgs().empty())
        label += L" -> " + hit.item->displayedArgs();
    if (hit.action)
        label += L" -> " + hit.action->label();
    value["label"] = jsonText(label);
    return value;
}

Json::Value headerValue() {
    AppIdentity identity = AppIdentity::get();
    wstr creator;
    Json::Value header(Json::objectValue);
    header["creator"] =
        jsonText(wstr::format(creator, L"{} v{}", identity.title, identity.versionString()));
    header["creator_url"] = wstr::toUtf8(identity.website);
    header["format"] = CatalogHistoryFile::currentFormat;
    header["modified"] = jsonText(Sys::isoTimestamp(false));
    header["type"] = "history";
    return header;
}

// The styled layout of the history file: three blanks per level, an opening
// bracket on the line of its key, members in key order. The stream writer
// that replaces the styled writer puts brackets on lines of their own.
std::string styledText(const Json::Value& root) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::StyledWriter writer;
    return writer.write(root);
#pragma GCC diagnostic pop
}

Json::Value termsValue(const CatalogHistory::Keywords& keywords) {
    Json::Value terms(Json::arrayValue);
    for (const auto& [search, items] : keywords) {
        if (search.empty() || items.empty())
            continue;
        Json::Value term(Json::objectValue);
        term["search"] = jsonText(search);
        term["items"] = Json::Value(Json::arrayValue);
        for (const CatalogItemPtr& item : items)
            term["items"].append(Json::UInt64(item->id()));
        terms.append(std::move(term));
    }
    return terms;
}

} // namespace

bool CatalogHistoryFile::read(const wstr& path, Content& content) {
    content = Content();
    if (Sys::isDirectory(path) != 0)
        return true;
    std::string text;
    bool loaded = false;
    try {
        switch (Utf::readTextFile(text, path, maxFileSize)) {
        case Utf::ReadResult::Read:
            loaded = text.empty() || parse(text, path, content);
            break;
        case Utf::ReadResult::Empty:
            loaded = true;
            break;
        case Utf::ReadResult::TooLarge:
            reportReadError(path, L"The file is larger than 104857600 bytes.");
            break;
        case Utf::ReadResult::Unreadable: {
            wstr what;
            reportReadError(path, wstr::format(what, L"The file cannot be read (error {}).",
                                               Platform::lastError()));
            break;
        }
        }
    } catch (const std::exception& e) {
        reportReadError(path, wstr::fromUtf8(e.what()));
    }
    rememberOutcome(path, loaded);
    return loaded;
}

bool CatalogHistoryFile::parse(const std::string& text, const wstr& path, Content& content) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
        wstr message;
        reportError(
            wstr::format(message, L"Failed to parse history from {}! {}", path,
                         wstr::fromMultiByte(errors.data(), static_cast<int64_t>(errors.size()),
                                             wstr::codePageUtf8)));
        return false;
    }
    uint32_t format = 0;
    if (uint32_t failed = checkDocument(root, format)) {
        reportInvalid(path, failed);
        return false;
    }
    return Loader(format, path, content).load(root);
}

void CatalogHistoryFile::reportReadError(const wstr& path, const wstr& what) {
    wstr message;
    reportError(wstr::format(message, L"Error while reading history from {}! {}", path, what));
}

size_t CatalogHistoryFile::apply(const Content& content, CatalogHistory& history, const wstr& path,
                                 wstr* failure) {
    size_t added = 0;
    try {
        for (const CatalogItemPtr& item : content.items)
            history.insertItem(item);
        for (const CatalogActionPtr& action : content.actions)
            history.insertAction(action);
        for (const Content::Term& term : content.terms)
            applyTerm(term, history);
        for (const Content::Hit& hit : content.hits)
            added += applyHit(hit, history, path) ? 1 : 0;
    } catch (const std::exception& e) {
        if (failure)
            *failure = wstr::fromUtf8(e.what());
        else
            reportReadError(path, wstr::fromUtf8(e.what()));
    }
    return added;
}

std::string CatalogHistoryFile::toJson(const CatalogHistory& history) {
    const CatalogHistory::PluginNames& names = history.pluginNames();
    Json::Value root(Json::objectValue);
    root[".header"] = headerValue();
    Json::Value& sets = root["sets"] = Json::Value(Json::objectValue);
    sets["items"] = Json::Value(Json::arrayValue);
    for (const CatalogItemPtr& item : history.sortedItems())
        sets["items"].append(itemValue(*item, names));
    sets["actions"] = Json::Value(Json::arrayValue);
    for (const CatalogActionPtr& action : history.sortedActions())
        sets["actions"].append(actionValue(*action, names));
    sets["terms"] = termsValue(history.keywords());
    root["history"] = Json::Value(Json::arrayValue);
    for (const CatalogHistory::HitPtr& hit : history.hits())
        root["history"].append(hitValue(*hit));

    return styledText(root);
}

bool CatalogHistoryFile::save(CatalogHistory& history, const wstr& path) {
    wstr message;
    try {
        history.dropDanglingTerms();
        if (!rescueFailedFile(path))
            return false;
        const std::string text = toJson(history);
        if (!SwapFile::write(path, text.data(), text.size())) {
            warn(wstr::format(message, L"Failed to write history file to: {} (error {})",
                              SwapFile::swapPath(path), Platform::lastError()));
            return false;
        }
        if (!SwapFile::replace(path)) {
            warn(wstr::format(message, L"Failed to move history file to: {} (error {})", path,
                              Platform::lastError()));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        warn(wstr::format(message, L"Error while saving History to \"{}\". Error: {}", path,
                          wstr::fromUtf8(e.what())));
        return false;
    }
}

bool CatalogHistoryFile::remove(const wstr& path) {
    if (!rescueFailedFile(path))
        return false;
    if (unlink(wstr::toUtf8(path).c_str()) == 0 || errno == ENOENT)
        return true;
    wstr message;
    warn(wstr::format(message, L"Failed to delete history file {} (error {})", path,
                      Platform::setLastErrorFromErrno()));
    return false;
}

bool CatalogHistoryFile::rescueFailedFile(const wstr& path) {
    std::lock_guard lock(failedMutex());
    auto failed = failedFiles().find(path);
    if (failed == failedFiles().end())
        return true;
    const std::string file = wstr::toUtf8(path);
    wstr message;
    if (!pathExists(file)) {
        failedFiles().erase(failed);
        return true;
    }
    const std::string bad = badFileName(path);
    if (std::rename(file.c_str(), bad.c_str()) != 0) {
        uint32_t error = Platform::setLastErrorFromErrno();
        logMessage(Logger::Error,
                   wstr::format(message,
                                L"Failed to move the history file that could not be loaded to: "
                                L"{} (error {}). The history is not saved.",
                                wstr::fromUtf8(bad.c_str()), error));
        return false;
    }
    warn(wstr::format(message,
                      L"The history file {} could not be loaded; it was moved to {} and a new "
                      L"one is written.",
                      path, wstr::fromUtf8(bad.c_str())));
    failedFiles().erase(failed);
    return true;
}
