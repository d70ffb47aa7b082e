#include "catalog/CatalogHistoryFile.h"
#include "catalog/AppIdentity.h"
#include "catalog/CatalogHistory.h"
#include "catalog/PluginFullName.h"
#include "core/SysTime.h"
#include "tests/catalog/FileTestSupport.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qvtest::LogRecords;

constexpr uint64_t kAppsKeywordPlugin = 0x621d8a6ec68d9540;
constexpr uint64_t kAppsPlugin = 0x621d8a6eb18ad54f;
constexpr uint64_t kAppsDesktopPlugin = 0x621d8a6e42fbe145;
constexpr uint64_t kAppsStartMenuPlugin = 0x621d8a6ea44a914b;
constexpr uint64_t kAppsOtherPlugin = 0x621d8a6eaea31165;

// What the catalog does at start-up: read the file, then fill the history.
size_t loadHistory(CatalogHistory& history, const wstr& path) {
    CatalogHistoryFile::Content content;
    CatalogHistoryFile::read(path, content);
    history.clear();
    return CatalogHistoryFile::apply(content, history, path);
}

fs::path fixture(const char* name) {
    return fs::path(QV_TEST_DATA_DIR) / name;
}

int64_t utc(const wchar_t* stamp) {
    int64_t time = 0;
    int64_t offset = 0;
    EXPECT_TRUE(Sys::parseIsoTimestamp(stamp, &time, &offset));
    return time;
}

std::vector<wstr> labelsOf(const std::vector<CatalogItemPtr>& items) {
    std::vector<wstr> labels;
    for (const CatalogItemPtr& item : items)
        labels.push_back(item->label() + (item->rawArgs().empty() ? L"" : L" " + item->rawArgs()));
    return labels;
}

// The JSON text without its "modified" value, which changes with every write.
std::string withoutModified(std::string text) {
    const std::string key = "\"modified\" : \"";
    size_t start = text.find(key);
    if (start != std::string::npos)
        text.erase(start, text.find('"', start + key.size()) + 1 - start);
    return text;
}

// "Quorvalent.history.<UTC stamp>.bad"
bool isBadFileName(const std::string& name) {
    const std::string prefix = "Quorvalent.history.";
    if (!name.starts_with(prefix) || !name.ends_with(".bad"))
        return false;
    std::string stamp = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    int64_t time = 0;
    int64_t offset = 0;
    return stamp.size() == 20 && stamp.back() == 'Z' &&
           Sys::parseIsoTimestamp(wstr::fromUtf8(stamp.c_str()), &time, &offset);
}

class CatalogHistoryFileTest : public ::testing::Test {
protected:
    wstr path() const { return qvtest::widePath(file_); }

    // Loads a copy of a fixture, as the catalog does at start-up.
    size_t loadFixture(const char* name) {
        fs::copy_file(fixture(name), file_);
        return loadHistory(history_, path());
    }

    CatalogItemPtr item(uint64_t pluginId, const wstr& label) const {
        CatalogItemPtr found;
        history_.items().forEach([&](const CatalogItemPtr& item) {
            if (item->pluginId() == pluginId && item->label() == label && item->rawArgs().empty())
                found = item;
        });
        return found;
    }

    qvtest::TempDir dir_;
    fs::path file_ = dir_.path() / "Quorvalent.history";
    CatalogHistory history_;
    qvtest::RecordingMessageBox::Installed boxes_;
};

TEST_F(CatalogHistoryFileTest, ReadsFormat102) {
    LogRecords log;
    EXPECT_EQ(loadFixture("history-102.json"), 3u);

    const uint64_t files = parsePluginFullName(L"Files.Index");
    const uint64_t web = parsePluginFullName(L"Web.Search");
    CatalogItemPtr report = item(files, L"Report");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->category(), CatalogItem::file);
    EXPECT_EQ(report->shortDesc(), L"Documents");
    CatalogItemPtr calc = item(1234567890, L"Calc");
    ASSERT_TRUE(calc);
    EXPECT_EQ(calc->category(), 1001u);
    EXPECT_TRUE(calc->loopOnSuggest());
    EXPECT_EQ(calc->hitHint(), CatalogItem::noargs);
    EXPECT_EQ(calc->dataBag(), L"bag");
    EXPECT_EQ(calc->shortDesc(), L"Rechner ✓ 😀");
    EXPECT_EQ(history_.items().size(), 4u);
    EXPECT_EQ(history_.actions().size(), 2u);

    // Hits in time order, with the times and offsets of the file.
    std::vector<CatalogHistory::HitPtr> hits(history_.hits().begin(), history_.hits().end());
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[0]->item->pluginId(), web);
    EXPECT_EQ(hits[0]->item->rawArgs(), L"kittens");
    EXPECT_EQ(hits[0]->item->displayedArgs(), L"Kittens!");
    EXPECT_EQ(hits[0]->action->name(), L"open private");
    EXPECT_EQ(hits[0]->time, utc(L"2024-03-01T10:00:00Z"));
    EXPECT_EQ(hits[0]->utcOffset, 3600);
    EXPECT_EQ(hits[1]->item, report);
    EXPECT_EQ(hits[1]->action->pluginId(), CatalogAction::appPluginId);
    EXPECT_EQ(hits[1]->utcOffset, -5 * 3600);
    EXPECT_EQ(hits[2]->item, calc);
    EXPECT_FALSE(hits[2]->action);
    EXPECT_EQ(item(web, L"Search")->hitCount(), 1u);

    // Terms in file order, normalised, each item once, dangling ids skipped.
    std::vector<wstr> terms;
    for (const auto& [text, items] : history_.keywords()) {
        wstr term = text + L": ";
        terms.push_back(wstr::join(term, labelsOf(items), L", "));
    }
    EXPECT_EQ(terms, (std::vector<wstr>{L"rep: Report", L"se arch: Search kittens, Search"}));

    // Each dangling hit is reported and skipped.
    EXPECT_EQ(qvtest::messagesWith(
                  log, Logger::Warning,
                  L"Failed to insert loaded Hit in history because the referenced Item was "
                  L"not found (item: 42; file: " +
                      path() + L")")
                  .size(),
              1u);
    EXPECT_EQ(qvtest::messagesWith(
                  log, Logger::Warning,
                  L"Failed to insert loaded Hit in history because the referenced Action "
                  L"was not found (action: 43; file: " +
                      path() + L")")
                  .size(),
              1u);
    EXPECT_EQ(qvtest::countAt(log, Logger::Error), 0u);
}

TEST_F(CatalogHistoryFileTest, Format102RoundTripsAndWritesTheSameTextTwice) {
    loadFixture("history-102.json");
    ASSERT_TRUE(CatalogHistoryFile::save(history_, path()));
    const std::string first = qvtest::readBytes(file_);
    EXPECT_FALSE(fs::exists(dir_.path() / "Quorvalent.history.qvswap"));
    ASSERT_TRUE(CatalogHistoryFile::save(history_, path()));
    EXPECT_EQ(withoutModified(qvtest::readBytes(file_)), withoutModified(first));

    LogRecords log;
    CatalogHistory again;
    EXPECT_EQ(loadHistory(again, path()), 3u);
    EXPECT_EQ(qvtest::countAt(log, Logger::Warning) + qvtest::countAt(log, Logger::Error), 0u);
    EXPECT_EQ(withoutModified(CatalogHistoryFile::toJson(again)), withoutModified(first));

    // The styled layout: three blanks per level, members in key order.
    EXPECT_NE(first.find("{\n   \".header\" : {\n      \"creator\" : \"Quorvalent v2.24 ("),
              std::string::npos);
    EXPECT_NE(first.find("\"format\" : 102"), std::string::npos);
    EXPECT_NE(first.find("\"plugin\" : \"App\""), std::string::npos);
    EXPECT_NE(first.find("\"action\" : null"), std::string::npos);
    EXPECT_NE(first.find("\"label\" : \"Search -> Kittens! -> Open Privately\""),
              std::string::npos);
}

TEST_F(CatalogHistoryFileTest, Format101DropsTheTranslateItemSilently) {
    LogRecords log;
    EXPECT_EQ(loadFixture("history-101.json"), 2u);
    constexpr uint64_t translate = 0x3263b6c3a1638dd9;
    EXPECT_FALSE(item(translate, L"Translate"));
    ASSERT_TRUE(item(translate, L"Translator"));
    EXPECT_EQ(history_.items().size(), 2u);
    // The plugin's action is skipped before it is built: its empty label
    // would otherwise stop the load.
    ASSERT_EQ(history_.actions().size(), 1u);
    EXPECT_EQ(history_.actions().begin()->second->name(), L"edit");
    ASSERT_EQ(history_.keywords().size(), 1u);
    EXPECT_EQ(labelsOf(history_.keywords().begin()->second), std::vector<wstr>{L"Translator"});
    EXPECT_EQ(qvtest::countAt(log, Logger::Warning) + qvtest::countAt(log, Logger::Error), 0u);
}

TEST_F(CatalogHistoryFileTest, Format100ConvertsTheOldAppsItems) {
    LogRecords log;
    EXPECT_EQ(loadFixture("history-100.json"), 3u);
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Info,
                                   L"Converted 6 items of the previous Apps package version")
                  .size(),
              1u);
    EXPECT_TRUE(item(kAppsKeywordPlugin, L"Apps keyword"));
    EXPECT_TRUE(item(kAppsDesktopPlugin, L"Shortcut"));
    EXPECT_TRUE(item(kAppsStartMenuPlugin, L"Office"));
    CatalogItemPtr editor = item(kAppsPlugin, L"Editor");
    CatalogItemPtr tool = item(kAppsOtherPlugin, L"Tool");
    ASSERT_TRUE(editor && tool);
    EXPECT_EQ(history_.items().size(), 7u);

    std::vector<CatalogHistory::HitPtr> hits(history_.hits().begin(), history_.hits().end());
    ASSERT_EQ(hits.size(), 3u);
    // The hit on the old item with arguments lands on the converted item and
    // loses its dropped action.
    EXPECT_EQ(hits[0]->item->baseId(), editor->baseId());
    EXPECT_EQ(hits[0]->item->rawArgs(), L"--help");
    EXPECT_FALSE(hits[0]->action);
    EXPECT_EQ(hits[1]->item, tool);
    EXPECT_EQ(hits[1]->action->name(), L"edit");
    EXPECT_EQ(history_.actions().size(), 1u);

    ASSERT_EQ(history_.keywords().size(), 1u);
    EXPECT_EQ(labelsOf(history_.keywords().begin()->second),
              (std::vector<wstr>{L"Editor", L"Report"}));
    EXPECT_EQ(qvtest::countAt(log, Logger::Warning) + qvtest::countAt(log, Logger::Error), 0u);
}

// --- Checks ---------------------------------------------------------------

Json::Value validDocument() {
    Json::Value doc;
    doc[".header"]["format"] = 102;
    Json::Value item;
    item["plugin"] = "Web.Search";
    item["category"] = "url";
    item["label"] = "Search";
    item["target"] = "https://search.example/";
    item["args_hint"] = "accepted";
    item["hit_hint"] = "keepall";
    doc["sets"]["items"].append(item);
    Json::Value action;
    action["plugin"] = "App";
    action["name"] = "edit";
    action["label"] = "Edit";
    doc["sets"]["actions"].append(action);
    Json::Value term;
    term["search"] = "se";
    term["items"].append(1);
    doc["sets"]["terms"].append(term);
    Json::Value hit;
    hit["time"] = "2024-03-01T10:00:00Z";
    hit["item"] = 1;
    doc["history"].append(hit);
    return doc;
}

struct Check {
    const char* name;
    std::function<void(Json::Value&)> change;
    uint32_t number; // 0: loads
};

Json::Value& firstItem(Json::Value& doc) {
    return doc["sets"]["items"][0];
}
Json::Value& firstAction(Json::Value& doc) {
    return doc["sets"]["actions"][0];
}
Json::Value& firstTerm(Json::Value& doc) {
    return doc["sets"]["terms"][0];
}
Json::Value& firstHit(Json::Value& doc) {
    return doc["history"][0];
}

const Check kChecks[] = {
    {"RootNotObject", [](Json::Value& d) { d = Json::Value(Json::arrayValue); }, 801},
    {"NoHeader", [](Json::Value& d) { d.removeMember(".header"); }, 802},
    {"HeaderNotObject", [](Json::Value& d) { d[".header"] = 1; }, 803},
    {"NoFormat", [](Json::Value& d) { d[".header"].removeMember("format"); }, 804},
    {"FormatText", [](Json::Value& d) { d[".header"]["format"] = "102"; }, 805},
    {"FormatNegative", [](Json::Value& d) { d[".header"]["format"] = -102; }, 805},
    {"Format103", [](Json::Value& d) { d[".header"]["format"] = 103; }, 812},
    {"Format99", [](Json::Value& d) { d[".header"]["format"] = 99; }, 812},
    {"NoSets", [](Json::Value& d) { d.removeMember("sets"); }, 815},
    {"SetsNotObject", [](Json::Value& d) { d["sets"] = "x"; }, 816},
    {"NoActions", [](Json::Value& d) { d["sets"].removeMember("actions"); }, 817},
    {"ActionsNotArray", [](Json::Value& d) { d["sets"]["actions"] = Json::objectValue; }, 818},
    {"NoItems", [](Json::Value& d) { d["sets"].removeMember("items"); }, 819},
    {"ItemsNotArray", [](Json::Value& d) { d["sets"]["items"] = 1; }, 820},
    {"NoTerms", [](Json::Value& d) { d["sets"].removeMember("terms"); }, 0},
    {"TermsObject", [](Json::Value& d) { d["sets"]["terms"] = Json::objectValue; }, 822},
    {"NoHistory", [](Json::Value& d) { d.removeMember("history"); }, 823},
    {"HistoryNotArray", [](Json::Value& d) { d["history"] = Json::objectValue; }, 824},
    {"ItemNotObject", [](Json::Value& d) { firstItem(d) = 5; }, 829},
    {"ItemWithoutPlugin", [](Json::Value& d) { firstItem(d).removeMember("plugin"); }, 831},
    {"ItemPluginZero", [](Json::Value& d) { firstItem(d)["plugin"] = 0; }, 834},
    {"ItemPluginNumber", [](Json::Value& d) { firstItem(d)["plugin"] = 77; }, 0},
    {"ItemPluginNoDot", [](Json::Value& d) { firstItem(d)["plugin"] = "WebSearch"; }, 836},
    {"ItemPluginApp", [](Json::Value& d) { firstItem(d)["plugin"] = "App"; }, 836},
    {"ItemPluginBool", [](Json::Value& d) { firstItem(d)["plugin"] = true; }, 832},
    {"NoCategory", [](Json::Value& d) { firstItem(d).removeMember("category"); }, 838},
    {"CategoryNumber", [](Json::Value& d) { firstItem(d)["category"] = 40; }, 839},
    {"CategoryUnknown", [](Json::Value& d) { firstItem(d)["category"] = "link"; }, 840},
    {"CategoryHash1001", [](Json::Value& d) { firstItem(d)["category"] = "#1001"; }, 0},
    {"CategoryUpperCase", [](Json::Value& d) { firstItem(d)["category"] = "URL"; }, 0},
    {"NoLabel", [](Json::Value& d) { firstItem(d).removeMember("label"); }, 842},
    {"LabelNumber", [](Json::Value& d) { firstItem(d)["label"] = 1; }, 843},
    {"ShortDescNull", [](Json::Value& d) { firstItem(d)["short_desc"] = Json::nullValue; }, 846},
    {"NoTarget", [](Json::Value& d) { firstItem(d).removeMember("target"); }, 848},
    {"TargetNull", [](Json::Value& d) { firstItem(d)["target"] = Json::nullValue; }, 849},
    {"NoArgsHint", [](Json::Value& d) { firstItem(d).removeMember("args_hint"); }, 851},
    {"ArgsHintNumber", [](Json::Value& d) { firstItem(d)["args_hint"] = 1; }, 852},
    {"ArgsHintUnknown", [](Json::Value& d) { firstItem(d)["args_hint"] = "sometimes"; }, 853},
    {"LoopText", [](Json::Value& d) { firstItem(d)["loop_on_suggest"] = "yes"; }, 856},
    {"NoHitHint", [](Json::Value& d) { firstItem(d).removeMember("hit_hint"); }, 858},
    {"HitHintNumber", [](Json::Value& d) { firstItem(d)["hit_hint"] = 2; }, 859},
    {"HitHintUnknown", [](Json::Value& d) { firstItem(d)["hit_hint"] = "twice"; }, 860},
    {"ArgsNumber", [](Json::Value& d) { firstItem(d)["args"] = 1; }, 864},
    {"ArgsLabelNumber",
     [](Json::Value& d) {
         firstItem(d)["args"] = "x";
         firstItem(d)["args_label"] = 2;
     },
     866},
    {"ArgsLabelWithoutArgs", [](Json::Value& d) { firstItem(d)["args_label"] = 2; }, 0},
    {"DataBagArray", [](Json::Value& d) { firstItem(d)["data_bag"] = Json::arrayValue; }, 877},
    {"ItemsBeforeActions",
     [](Json::Value& d) {
         firstAction(d) = 1;
         firstItem(d)["label"] = 1;
     },
     843},
    {"ActionNotObject", [](Json::Value& d) { firstAction(d) = "edit"; }, 883},
    {"ActionWithoutPlugin", [](Json::Value& d) { firstAction(d).removeMember("plugin"); }, 885},
    {"ActionPluginZero", [](Json::Value& d) { firstAction(d)["plugin"] = 0; }, 889},
    {"ActionPluginUpperApp", [](Json::Value& d) { firstAction(d)["plugin"] = "APP"; }, 0},
    {"ActionPluginNoDot", [](Json::Value& d) { firstAction(d)["plugin"] = "Apps"; }, 896},
    {"ActionPluginFraction", [](Json::Value& d) { firstAction(d)["plugin"] = 1.5; }, 886},
    {"NoName", [](Json::Value& d) { firstAction(d).removeMember("name"); }, 899},
    {"NameNumber", [](Json::Value& d) { firstAction(d)["name"] = 1; }, 900},
    {"NameUpperCase", [](Json::Value& d) { firstAction(d)["name"] = "Edit"; }, 902},
    {"NameLeadingBlank", [](Json::Value& d) { firstAction(d)["name"] = " edit"; }, 902},
    {"NameInnerBlank", [](Json::Value& d) { firstAction(d)["name"] = "open with"; }, 0},
    {"NoActionLabel", [](Json::Value& d) { firstAction(d).removeMember("label"); }, 904},
    {"ActionLabelNumber", [](Json::Value& d) { firstAction(d)["label"] = 1; }, 905},
    {"ActionShortDescNumber", [](Json::Value& d) { firstAction(d)["short_desc"] = 1; }, 908},
    {"ActionDataBagNumber", [](Json::Value& d) { firstAction(d)["data_bag"] = 1; }, 911},
    {"TermNotObject", [](Json::Value& d) { firstTerm(d) = 1; }, 917},
    {"NoSearch", [](Json::Value& d) { firstTerm(d).removeMember("search"); }, 919},
    {"SearchNumber", [](Json::Value& d) { firstTerm(d)["search"] = 1; }, 920},
    {"NoTermItems", [](Json::Value& d) { firstTerm(d).removeMember("items"); }, 922},
    {"TermItemsObject", [](Json::Value& d) { firstTerm(d)["items"] = Json::objectValue; }, 923},
    {"TermItemText", [](Json::Value& d) { firstTerm(d)["items"][0] = "1"; }, 925},
    {"TermItemNegative", [](Json::Value& d) { firstTerm(d)["items"][0] = -1; }, 925},
    {"HitNotObject", [](Json::Value& d) { firstHit(d) = Json::arrayValue; }, 932},
    {"NoTime", [](Json::Value& d) { firstHit(d).removeMember("time"); }, 934},
    {"TimeNumber", [](Json::Value& d) { firstHit(d)["time"] = 1709287200; }, 935},
    {"TimeNotIso", [](Json::Value& d) { firstHit(d)["time"] = "yesterday"; }, 937},
    {"NoHitItem", [](Json::Value& d) { firstHit(d).removeMember("item"); }, 940},
    {"HitItemText", [](Json::Value& d) { firstHit(d)["item"] = "1"; }, 941},
    {"HitActionText", [](Json::Value& d) { firstHit(d)["action"] = "edit"; }, 944},
    {"HitActionNull", [](Json::Value& d) { firstHit(d)["action"] = Json::nullValue; }, 0},
    {"InvalidItem", [](Json::Value& d) { firstItem(d)["label"] = " \n"; }, 992},
    {"ActionWithEmptyLabel", [](Json::Value& d) { firstAction(d)["label"] = ""; }, 1089},
};

class CatalogHistoryCheckTest : public CatalogHistoryFileTest,
                                public ::testing::WithParamInterface<Check> {};

TEST_P(CatalogHistoryCheckTest, RefusesWithItsNumber) {
    Json::Value doc = validDocument();
    GetParam().change(doc);
    LogRecords log;
    CatalogHistoryFile::Content content;
    const bool loaded = CatalogHistoryFile::parse(doc.toStyledString(), path(), content);

    const uint32_t number = GetParam().number;
    EXPECT_EQ(loaded, number == 0);
    std::vector<std::wstring> errors = qvtest::messagesWith(log, Logger::Error, L"");
    if (number == 0) {
        EXPECT_TRUE(errors.empty()) << wstr::toUtf8(errors.front());
        EXPECT_EQ(content.items.size(), 1u);
        EXPECT_EQ(content.hits.size(), 1u);
        return;
    }
    wstr expected;
    wstr::format(expected,
                 L"Failed to load history from {}. Invalid value or structure (error #{}/2.24).",
                 path(), number);
    EXPECT_EQ(errors, std::vector<std::wstring>{expected});
    ASSERT_FALSE(boxes_.box->shown().empty());
    EXPECT_EQ(boxes_.box->shown().back().style & 0xF0, 0x30u);
    // Structural failures load nothing; a stop in the load pass keeps what
    // came before it.
    EXPECT_EQ(content.items.size(), number == 1089 ? 1u : 0u);
    EXPECT_TRUE(content.actions.empty());
    EXPECT_TRUE(content.hits.empty());
}

INSTANTIATE_TEST_SUITE_P(Checks, CatalogHistoryCheckTest, ::testing::ValuesIn(kChecks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogHistoryFileTest, TermsKeepTheirFirstFiveItemsInFileOrder) {
    Json::Value doc = validDocument();
    Json::Value& items = doc["sets"]["items"];
    Json::Value& term = firstTerm(doc);
    term["items"] = Json::arrayValue;
    for (int i = 7; i >= 1; --i) {
        Json::Value item = items[0];
        item["label"] = "Item " + std::to_string(i);
        item["target"] = "https://example.org/" + std::to_string(i);
        items.append(item);
        auto built = std::make_shared<CatalogItem>(
            parsePluginFullName(L"Web.Search"), CatalogItem::url, L"x", L"",
            wstr::fromUtf8(item["target"].asCString()), CatalogItem::accepted, false,
            CatalogItem::keepall, 0, L"");
        term["items"].append(Json::UInt64(built->id()));
    }
    qvtest::writeBytes(file_, doc.toStyledString());
    loadHistory(history_, path());
    ASSERT_EQ(history_.keywords().size(), 1u);
    EXPECT_EQ(labelsOf(history_.keywords().begin()->second),
              (std::vector<wstr>{L"Item 7", L"Item 6", L"Item 5", L"Item 4", L"Item 3"}));
}

TEST_F(CatalogHistoryFileTest, MissingEmptyOrFolderPathsLoadNothingSilently) {
    LogRecords log;
    EXPECT_EQ(loadHistory(history_, path()), 0u);
    qvtest::writeBytes(file_, "");
    EXPECT_EQ(loadHistory(history_, path()), 0u);
    fs::remove(file_);
    fs::create_directory(file_);
    EXPECT_EQ(loadHistory(history_, path()), 0u);
    EXPECT_EQ(qvtest::countAt(log, Logger::Warning) + qvtest::countAt(log, Logger::Error), 0u);
    EXPECT_TRUE(boxes_.box->shown().empty());
}

// --- A file that failed to load is moved aside, never overwritten ------------

struct Failure {
    const char* name;
    std::function<void(const fs::path&)> write;
    const wchar_t* error;
};

const Failure kFailures[] = {
    {"NotJson", [](const fs::path& f) { qvtest::writeBytes(f, "{ \"sets\": "); },
     L"Failed to parse history from"},
    {"NewerFormat",
     [](const fs::path& f) {
         Json::Value doc = validDocument();
         doc[".header"]["format"] = 103;
         qvtest::writeBytes(f, doc.toStyledString());
     },
     L"(error #812/2.24)"},
    {"InvalidItem",
     [](const fs::path& f) {
         Json::Value doc = validDocument();
         doc["sets"]["items"].append(doc["sets"]["items"][0]);
         doc["sets"]["items"][1]["target"] = "";
         qvtest::writeBytes(f, doc.toStyledString());
     },
     L"(error #992/2.24)"},
    {"MalformedText", [](const fs::path& f) { qvtest::writeBytes(f, "\xEF\xBB\xBF{\xC3\x28}"); },
     L"Error while reading history from"},
    {"TooLarge",
     [](const fs::path& f) {
         qvtest::writeBytes(f, "{}");
         fs::resize_file(f, CatalogHistoryFile::maxFileSize + 1);
     },
     L"Error while reading history from"},
};

class CatalogHistoryRescueTest : public CatalogHistoryFileTest,
                                 public ::testing::WithParamInterface<Failure> {};

TEST_P(CatalogHistoryRescueTest, MovesTheFileAsideBeforeTheNextSave) {
    GetParam().write(file_);
    const uintmax_t size = fs::file_size(file_);
    const std::string original = size < 1024 ? qvtest::readBytes(file_) : std::string();
    LogRecords log;
    loadHistory(history_, path());
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Error, GetParam().error).size(), 1u);
    EXPECT_EQ(boxes_.box->shown().size(), 1u);
    EXPECT_EQ(fs::file_size(file_), size) << "loading leaves the file alone";

    auto item =
        std::make_shared<CatalogItem>(7, CatalogItem::url, L"New", L"", L"https://new/",
                                      CatalogItem::accepted, false, CatalogItem::keepall, 0, L"");
    history_.addHit(item, nullptr, 1709287200, 0);
    ASSERT_TRUE(CatalogHistoryFile::save(history_, path()));

    std::vector<fs::path> bad;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path())) {
        if (entry.path().extension() == ".bad")
            bad.push_back(entry.path());
    }
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_TRUE(isBadFileName(bad[0].filename().string())) << bad[0];
    EXPECT_EQ(fs::file_size(bad[0]), size);
    if (!original.empty()) {
        EXPECT_EQ(qvtest::readBytes(bad[0]), original);
    }
    EXPECT_EQ(
        qvtest::messagesWith(log, Logger::Warning, L"could not be loaded; it was moved to").size(),
        1u);

    // The new file loads, and the next save simply replaces it.
    CatalogHistory again;
    EXPECT_EQ(loadHistory(again, path()), 1u);
    ASSERT_TRUE(CatalogHistoryFile::save(again, path()));
    size_t badFiles = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path()))
        badFiles += entry.path().extension() == ".bad" ? 1 : 0;
    EXPECT_EQ(badFiles, 1u);
}

INSTANTIATE_TEST_SUITE_P(Failures, CatalogHistoryRescueTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogHistoryFileTest, AFileMendedBeforeTheNextLoadIsNotSetAside) {
    qvtest::writeBytes(file_, "{ broken");
    loadHistory(history_, path());
    fs::copy_file(fixture("history-102.json"), file_, fs::copy_options::overwrite_existing);
    EXPECT_EQ(loadHistory(history_, path()), 3u);
    ASSERT_TRUE(CatalogHistoryFile::save(history_, path()));
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path()))
        EXPECT_NE(entry.path().extension(), ".bad");
}

TEST_F(CatalogHistoryFileTest, FailedWritesLeaveTheFileAsItWas) {
    qvtest::writeBytes(file_, "{ \"kept\" : true }");
    const fs::path swap = dir_.path() / "Quorvalent.history.qvswap";
    LogRecords log;

    // The swap file cannot be created.
    fs::create_directory(swap);
    EXPECT_FALSE(CatalogHistoryFile::save(history_, path()));
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Warning,
                                   L"Failed to write history file to: " + qvtest::widePath(swap) +
                                       L" (error ")
                  .size(),
              1u);
    EXPECT_EQ(qvtest::readBytes(file_), "{ \"kept\" : true }");
    fs::remove(swap);

    // The history path is a folder that cannot be replaced.
    fs::remove(file_);
    fs::create_directories(file_ / "inside");
    EXPECT_FALSE(CatalogHistoryFile::save(history_, path()));
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Warning,
                                   L"Failed to move history file to: " + path() + L" (error ")
                  .size(),
              1u);
    EXPECT_TRUE(fs::is_directory(file_ / "inside"));
    EXPECT_FALSE(fs::exists(swap));
}

} // namespace
