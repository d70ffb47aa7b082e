#include "core/MessageBox.h"

#include "core/Mutex.h"
#include "platform/Immortal.h"

#include <cstdio>
#include <vector>

namespace {

struct Service {
    Mutex mutex;
    std::shared_ptr<MessageBox> box = std::make_shared<StderrMessageBox>();
};

Service& service() {
    static Platform::Immortal<Service> instance;
    return instance.get();
}

} // namespace

int MessageBox::ask(const wstr& text, const wstr& caption, uint32_t style) {
    std::shared_ptr<MessageBox> box;
    {
        Mutex::Lock lock(service().mutex);
        box = service().box;
    }
    return box->show(text, caption, style);
}

void MessageBox::tell(const wstr& text, const wstr& caption, uint32_t style) {
    std::shared_ptr<MessageBox> box;
    {
        Mutex::Lock lock(service().mutex);
        box = service().box;
    }
    box->inform(text, caption, style);
}

std::shared_ptr<MessageBox> MessageBox::install(std::shared_ptr<MessageBox> box) {
    if (!box)
        box = std::make_shared<StderrMessageBox>();
    Mutex::Lock lock(service().mutex);
    std::swap(service().box, box);
    return box;
}

int MessageBox::defaultAnswer(uint32_t style) {
    static const std::vector<int> buttons[] = {
        {IDOK},
        {IDOK, IDCANCEL},
        {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL},
        {IDYES, IDNO},
        {IDRETRY, IDCANCEL},
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE},
    };
    const uint32_t type = style & MB_TYPEMASK;
    if (type >= std::size(buttons))
        return IDOK;
    const auto& set = buttons[type];
    const uint32_t index = (style & MB_DEFMASK) >> 8;
    return index < set.size() ? set[index] : set.front();
}

int StderrMessageBox::show(const wstr& text, const wstr& caption, uint32_t style) {
    const std::string line = wstr::toUtf8(caption) + ": " + wstr::toUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    return defaultAnswer(style);
}
