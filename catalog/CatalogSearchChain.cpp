#include "catalog/CatalogSearchChain.h"

CatalogSearchChain::StepPtr CatalogSearchChain::push(const wstr& text, const CatalogItemPtr& item) {
    if (!item && (!steps_.empty() || wstr::trimCopy(text).empty()))
        return nullptr;
    steps_.push_back(std::make_shared<Step>(Step{text, item}));
    return steps_.back();
}

CatalogSearchChain::StepPtr CatalogSearchChain::pop() {
    if (steps_.empty())
        return nullptr;
    StepPtr last = std::move(steps_.back());
    steps_.pop_back();
    return last;
}

std::vector<CatalogItemPtr> CatalogSearchChain::items() const {
    std::vector<CatalogItemPtr> out;
    out.reserve(steps_.size());
    for (const StepPtr& step : steps_)
        out.push_back(step->item);
    return out;
}
