// The program: runs the application, and is the last safety net for an
// exception that escapes it.

#include "app/Entry.h"
#include "core/Logger.h"
#include "core/MessageBox.h"
#include "windows/WindowSet.h"

int main(int argc, char** argv) {
    try {
        return runApplication(argc, argv, &WindowSet::create);
    } catch (const std::exception& e) {
        wstr text;
        logMessage(Logger::Fatal, MessageBox::MB_ICONERROR, nullptr, 0,
                   wstr::format(text, L"Exception caught: {}", e.what()));
    } catch (...) {
        logMessage(Logger::Fatal, MessageBox::MB_ICONERROR, nullptr, 0,
                   L"Unknow exception caught!");
    }
    return 1;
}
