#include "core/MessageBox.h"

#include "tests/support/RecordingMessageBox.h"

#include <gtest/gtest.h>

using MB = MessageBox;

TEST(MessageBox, DefaultAnswerIsTheStylesDefaultButton) {
    struct Row {
        uint32_t style;
        int answer;
    } rows[] = {
        {MB::MB_OK, MB::IDOK},
        {MB::MB_ICONWARNING | MB::MB_SYSTEMMODAL, MB::IDOK},
        {MB::MB_OKCANCEL, MB::IDOK},
        {MB::MB_YESNO | MB::MB_DEFBUTTON2, MB::IDNO},
        {MB::MB_YESNOCANCEL | MB::MB_DEFBUTTON3, MB::IDCANCEL},
        {MB::MB_ABORTRETRYIGNORE | MB::MB_DEFBUTTON2, MB::IDRETRY},
        {MB::MB_OKCANCEL | MB::MB_DEFBUTTON3, MB::IDOK}, // no third button: the first
        {MB::MB_CANCELTRYCONTINUE | MB::MB_DEFBUTTON2, MB::IDTRYAGAIN},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MB::defaultAnswer(row.style), row.answer) << "style " << row.style;
}

TEST(MessageBox, WithoutAUserInterfaceTheTextGoesToStderr) {
    testing::internal::CaptureStderr();
    const int answer = MB::ask(L"Disk f\u00fcll", L"Quorvalent", MB::MB_YESNO | MB::MB_DEFBUTTON2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Quorvalent: Disk f\xC3\xBCll\n");
    EXPECT_EQ(answer, MB::IDNO);
}

TEST(MessageBox, InstalledServiceAnswersUntilReplaced) {
    {
        qvtest::RecordingMessageBox::Installed fake(MB::IDCANCEL);
        EXPECT_EQ(MB::ask(L"text", L"caption", MB::MB_OKCANCEL | MB::MB_ICONERROR), MB::IDCANCEL);
        const auto shown = fake.box->shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, L"text");
        EXPECT_EQ(shown[0].caption, L"caption");
        EXPECT_EQ(shown[0].style, MB::MB_OKCANCEL | MB::MB_ICONERROR);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(MB::ask(L"back", L"Q", MB::MB_OK), MB::IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Q: back\n");
}
