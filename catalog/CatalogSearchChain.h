#pragma once

#include "catalog/CatalogItem.h"

#include <memory>
#include <vector>

// The LaunchBox's record of chained searches, oldest step first: each step is
// the text searched and the item chosen then. User-interface thread only.
class CatalogSearchChain {
public:
    struct Step {
        wstr text;
        CatalogItemPtr item; // may be empty
    };
    using StepPtr = std::shared_ptr<Step>;

    // Appends a step with an item; a step without one only starts an empty
    // chain, and only for a text that is not blank. Returns the step appended,
    // or nothing.
    StepPtr push(const wstr& text, const CatalogItemPtr& item);
    // Removes and returns the last step; nothing on an empty chain.
    StepPtr pop();
    // The items of all steps, oldest first.
    std::vector<CatalogItemPtr> items() const;

    const std::vector<StepPtr>& steps() const { return steps_; }
    bool empty() const { return steps_.empty(); }
    std::size_t size() const { return steps_.size(); }

private:
    std::vector<StepPtr> steps_;
};
