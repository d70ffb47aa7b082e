#pragma once

#include "catalog/CatalogAction.h"
#include "catalog/CatalogItem.h"
#include "core/Wstr.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CatalogHistory;

// The history file: the history of executed items as UTF-8 JSON (format 102;
// files of formats 100 and 101 are read and converted). Reading is split in
// two so that the slow part runs without the catalog's lock: read parses,
// checks and builds the items and actions, apply fills the history under the
// lock. A file that fails to load is never overwritten: the next write first
// moves it aside to "<file>.<UTC stamp>.bad".
//
// Stateless but for the set of files that failed to load. Every function may
// run on any thread; apply and write need the catalog's lock held.
class CatalogHistoryFile {
public:
    static constexpr uint32_t currentFormat = 102;
    static constexpr uint64_t maxFileSize = 104857600;

    // A file read and checked. Ids in terms and hits name the loaded items
    // (converted ids where the file's format asked for it).
    struct Content {
        struct Term {
            wstr search; // normalised, not empty
            std::vector<uint64_t> itemIds;
        };
        struct Hit {
            uint64_t itemId = 0;
            std::optional<uint64_t> actionId;
            int64_t time = 0;
            int64_t utcOffset = 0;
        };
        std::vector<CatalogItemPtr> items;
        std::vector<CatalogActionPtr> actions;
        std::vector<Term> terms;
        std::vector<Hit> hits;
    };

    // Reads the file into content (emptied first). A missing or empty file,
    // or a folder, is an empty history without a message. A file that cannot
    // be read, is too large, does not parse, fails a check or holds an
    // invalid item or action is reported (error level, with a message box)
    // and remembered for rescue; content then holds what loads before a stop.
    // False after such a failure.
    static bool read(const wstr& path, Content& content);

    // read's work on the text of a file (UTF-8), path naming it in messages;
    // does not remember failures.
    static bool parse(const std::string& text, const wstr& path, Content& content);

    // Fills the history (cleared by the caller) with the content, in file
    // order; hits whose item or action is missing are logged and skipped.
    // Returns the number of hits added. A failure stops it; it is reported
    // (with a message box), or left in `failure` when given, for the caller
    // to report with reportReadError once it holds no lock.
    static size_t apply(const Content& content, CatalogHistory& history, const wstr& path,
                        wstr* failure = nullptr);
    // "Error while reading history from <path>! <what>", with a message box.
    static void reportReadError(const wstr& path, const wstr& what);

    // The history as the file's JSON text.
    static std::string toJson(const CatalogHistory& history);

    // Drops dangling keyword entries and replaces the file with the history,
    // through a swap file. A file that failed to load is first moved aside;
    // when that fails nothing is written. Failures are logged; false then.
    static bool save(CatalogHistory& history, const wstr& path);

    // Deletes the file once the user cleared the history; a file that failed
    // to load is moved aside instead. False (logged) when it stays.
    static bool remove(const wstr& path);

    // Moves a file that failed to load aside, now; true when there is none
    // (any more) or it was moved. save calls it.
    static bool rescueFailedFile(const wstr& path);
};
