#include "windows/ItemProperties.h"

#include "catalog/Catalog.h"
#include "core/Logger.h"
#include "core/MessageBox.h"
#include "core/TextLocale.h"

#include <algorithm>
#include <iterator>
#include <wctype.h>

namespace {

constexpr const wchar_t* argsHintNames[] = {L"forbidden", L"accepted", L"required"};
constexpr const wchar_t* hitHintNames[] = {L"keepall", L"ignore", L"noargs"};

// Values no valid item has are shown as their number.
template <std::size_t N> wstr nameOf(const wchar_t* const (&names)[N], uint32_t value) {
    if (value < N)
        return names[value];
    wstr number;
    return wstr::format(number, L"#{}", value);
}

// Targets and data bags are free text from plugins: a tab or a control
// character would break the layout of the log line, so such a value is not
// shown at all.
const wstr& printable(const wstr& text) {
    static const wstr placeholder = L"<non_printable>";
    const bool allPrintable = std::all_of(text.begin(), text.end(), [](wchar_t ch) {
        return iswprint_l(static_cast<wint_t>(ch), textLocale()) != 0;
    });
    return allPrintable ? text : placeholder;
}

// The label, and the displayed arguments after the status separator.
wstr labelWithArgs(const CatalogItem& item, const wstr& statusSeparator) {
    wstr text = item.label();
    if (!item.displayedArgs().empty())
        text += statusSeparator + item.displayedArgs();
    return text;
}

} // namespace

const wchar_t* const ItemProperties::noOrphanText = L"No orphan found in the history.";

wstr ItemProperties::propertiesText(const CatalogItem& item, const wstr& pluginFullName) {
    wstr text;
    return wstr::format(text,
                        L"Item properties:\n"
                        L"  label:           {}\n"
                        L"  args:            {}\n"
                        L"  short_desc:      {}\n"
                        L"  target:          {}\n"
                        L"  category:        {} ({})\n"
                        L"  args_hint:       {}\n"
                        L"  hit_hint:        {}\n"
                        L"  plugin:          {} ({})\n"
                        L"  item_id:         {}\n"
                        L"  loop_on_suggest: {}\n"
                        L"  data_bag:        {}\n",
                        item.label(), item.rawArgs(), item.shortDesc(), printable(item.target()),
                        wstr::fromUtf8(categoryName(item.category()).c_str()), item.category(),
                        nameOf(argsHintNames, item.argsHint()),
                        nameOf(hitHintNames, item.hitHint()), pluginFullName, item.pluginId(),
                        item.id(), item.loopOnSuggest(), printable(item.dataBag()));
}

wstr ItemProperties::eraseItemQuestion(const CatalogItem& item, const wstr& statusSeparator) {
    return L"Erase the following item from history?\n" + labelWithArgs(item, statusSeparator);
}

wstr ItemProperties::erasePackageQuestion(const CatalogItem& item, const wstr& statusSeparator,
                                          const wstr& packageName) {
    wstr text = L"Erase any reference to the parent package of the following item in "
                L"history?\nItem: " +
                labelWithArgs(item, statusSeparator);
    return wstr::format(text, L"\nPackage name (if found): {}", packageName);
}

wstr ItemProperties::orphansQuestion(std::size_t count) {
    wstr text;
    return wstr::format(text,
                        L"{} orphan{} found in the history.\n\nOrphan items are items that do not "
                        L"have their parent package CURRENTLY loaded.\n\nRemove all orphans from "
                        L"the history?",
                        count, count > 1 ? L"s" : L"");
}

void ItemProperties::showProperties(const CatalogItemPtr& item) {
    if (!item || !host_.catalog())
        return;
    logMessage(Logger::Info, propertiesText(*item, host_.pluginFullName(item->pluginId())));
    host_.showConsole();
}

bool ItemProperties::eraseFromHistory(const CatalogItemPtr& item, const wstr& statusSeparator) {
    std::shared_ptr<Catalog> catalog = host_.catalog();
    if (!item || !catalog || !catalog->historyHasItem(item))
        return false;
    const int answer = host_.messageBox(eraseItemQuestion(*item, statusSeparator),
                                        MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING);
    if (answer != MessageBox::IDOK)
        return false;
    catalog->eraseHistoryItem(item);
    return true;
}

bool ItemProperties::eraseParentPackageFromHistory(const CatalogItemPtr& item,
                                                   const wstr& statusSeparator) {
    std::shared_ptr<Catalog> catalog = host_.catalog();
    if (!item || !catalog || !catalog->historyHasPackage(item->packageId()))
        return false;
    const wstr question =
        erasePackageQuestion(*item, statusSeparator, host_.packageName(item->packageId()));
    if (host_.messageBox(question, MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING) !=
        MessageBox::IDOK)
        return false;
    catalog->eraseHistoryPackage(item->packageId());
    return true;
}

std::size_t ItemProperties::removeOrphans() {
    std::shared_ptr<Catalog> catalog = host_.catalog();
    if (!catalog)
        return 0;
    const std::size_t count = catalog->countHistoryOrphans();
    if (count == 0) {
        host_.messageBox(noOrphanText, MessageBox::MB_OK | MessageBox::MB_ICONINFORMATION);
        return 0;
    }
    if (host_.messageBox(orphansQuestion(count),
                         MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING) != MessageBox::IDOK)
        return 0;
    return catalog->removeHistoryOrphans();
}
