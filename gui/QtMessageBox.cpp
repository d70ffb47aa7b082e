#include "gui/QtMessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace Gui {
namespace {

using Box = ::MessageBox;

struct Button {
    int answer;
    QMessageBox::StandardButton standard; // NoButton: a button of our own
    const char* text;                     // its text then
};

// The buttons of each button set, in the order the style's default index
// counts them.
const std::vector<Button>& buttonsOf(uint32_t style) {
    static const std::vector<Button> sets[] = {
        {{Box::IDOK, QMessageBox::Ok, nullptr}},
        {{Box::IDOK, QMessageBox::Ok, nullptr}, {Box::IDCANCEL, QMessageBox::Cancel, nullptr}},
        {{Box::IDABORT, QMessageBox::Abort, nullptr},
         {Box::IDRETRY, QMessageBox::Retry, nullptr},
         {Box::IDIGNORE, QMessageBox::Ignore, nullptr}},
        {{Box::IDYES, QMessageBox::Yes, nullptr},
         {Box::IDNO, QMessageBox::No, nullptr},
         {Box::IDCANCEL, QMessageBox::Cancel, nullptr}},
        {{Box::IDYES, QMessageBox::Yes, nullptr}, {Box::IDNO, QMessageBox::No, nullptr}},
        {{Box::IDRETRY, QMessageBox::Retry, nullptr},
         {Box::IDCANCEL, QMessageBox::Cancel, nullptr}},
        {{Box::IDCANCEL, QMessageBox::Cancel, nullptr},
         {Box::IDTRYAGAIN, QMessageBox::NoButton, "&Try Again"},
         {Box::IDCONTINUE, QMessageBox::NoButton, "&Continue"}},
    };
    const uint32_t type = style & Box::MB_TYPEMASK;
    return sets[type < std::size(sets) ? type : 0];
}

QMessageBox::Icon iconOf(uint32_t style) {
    switch (style & Box::MB_ICONMASK) {
    case Box::MB_ICONERROR:
        return QMessageBox::Critical;
    case Box::MB_ICONQUESTION:
        return QMessageBox::Question;
    case Box::MB_ICONWARNING:
        return QMessageBox::Warning;
    case Box::MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

using Answers = std::vector<std::pair<QAbstractButton*, int>>;

Answers prepare(QMessageBox& box, const wstr& text, const wstr& caption, uint32_t style) {
    box.setIcon(iconOf(style));
    box.setWindowTitle(QString::fromStdWString(caption));
    box.setText(QString::fromStdWString(text));
    box.setTextFormat(Qt::PlainText);
    if (style & Box::MB_SYSTEMMODAL)
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    Answers answers;
    for (const Button& button : buttonsOf(style)) {
        QAbstractButton* added =
            button.standard != QMessageBox::NoButton
                ? box.addButton(button.standard)
                : box.addButton(QMessageBox::tr(button.text), QMessageBox::AcceptRole);
        answers.emplace_back(added, button.answer);
        if (button.answer == Box::defaultAnswer(style))
            box.setDefaultButton(static_cast<QPushButton*>(added));
        if (button.answer == Box::IDCANCEL)
            box.setEscapeButton(added);
    }
    return answers;
}

int showOnUiThread(const wstr& text, const wstr& caption, uint32_t style) {
    QMessageBox box;
    const Answers answers = prepare(box, text, caption, style);
    box.exec();
    int unanswered = Box::defaultAnswer(style);
    for (const auto& [button, answer] : answers) {
        if (box.clickedButton() == button)
            return answer;
        if (answer == Box::IDCANCEL)
            unanswered = answer;
    }
    return unanswered;
}

} // namespace

// The open boxes that inform. User-interface thread.
class QtNoticeBoxes {
public:
    void open(const wstr& text, const wstr& caption, uint32_t style) {
        if (closed_)
            return;
        // Those closed since are let go here, outside their own signals.
        std::erase_if(boxes_, [](const auto& box) { return !box->isVisible(); });
        auto box = std::make_unique<QMessageBox>();
        prepare(*box, text, caption, style);
        box->setWindowModality(Qt::NonModal);
        box->show();
        box->raise();
        box->activateWindow();
        boxes_.push_back(std::move(box));
    }

    void closeAll() {
        closed_ = true;
        boxes_.clear();
    }

private:
    std::vector<std::unique_ptr<QMessageBox>> boxes_;
    bool closed_ = false;
};

QtMessageBox::QtMessageBox(std::shared_ptr<UiCall> ui)
    : ui_(std::move(ui)), notices_(std::make_shared<QtNoticeBoxes>()) {}

int QtMessageBox::show(const wstr& text, const wstr& caption, uint32_t style) {
    return ui_->run<int>([=] { return showOnUiThread(text, caption, style); },
                         defaultAnswer(style));
}

void QtMessageBox::inform(const wstr& text, const wstr& caption, uint32_t style) {
    ui_->post([notices = notices_, text, caption, style] { notices->open(text, caption, style); });
}

void QtMessageBox::closeInformBoxes() {
    notices_->closeAll();
}

} // namespace Gui
