// Feeds the history file reader with JSON text. Whatever loads must write
// back to a file that loads again whole: the history is rewritten after each
// execution, and a file it cannot read back would be set aside.
#include "catalog/CatalogHistory.h"
#include "catalog/CatalogHistoryFile.h"
#include "core/MessageBox.h"
#include "fuzz/LogRing.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

namespace {

// Load errors raise message boxes; the fuzzer answers none.
class SilentBox : public MessageBox {
public:
    int show(const wstr&, const wstr&, uint32_t style) override { return defaultAnswer(style); }
};

const wstr kPath = L"fuzz.history";

bool parse(const std::string& text, CatalogHistoryFile::Content& content) {
    try {
        return CatalogHistoryFile::parse(text, kPath, content);
    } catch (const std::exception&) {
        return false; // reported by the reader's caller; nothing is loaded
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MessageBox::install(std::make_shared<SilentBox>());
    fillLogRing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CatalogHistoryFile::Content content;
    if (!parse(std::string(reinterpret_cast<const char*>(data), size), content))
        return 0;
    CatalogHistory history;
    CatalogHistoryFile::apply(content, history, kPath);

    CatalogHistoryFile::Content again;
    if (!parse(CatalogHistoryFile::toJson(history), again))
        abort();
    CatalogHistory reloaded;
    CatalogHistoryFile::apply(again, reloaded, kPath);
    if (reloaded.items().size() != history.items().size() ||
        reloaded.actions().size() != history.actions().size() ||
        reloaded.hits().size() != history.hits().size() ||
        reloaded.keywords().size() != history.keywords().size())
        abort();
    return 0;
}
