#pragma once

#include "app/ConfigEdit.h"
#include "catalog/CatalogWriter.h"
#include "core/Logger.h"

#include <cstdint>

// How long the program may take to end, stage by stage, in the order
// App::shutdown runs them. Every wait of the shutdown takes its time-out from
// here (or names the stage's own constant), so that no stage waits without
// a limit and their sum is the longest a shutdown can take: "--exit" waits
// that long (plus a margin) before it gives up on the instance.
//
// Threads that run plugin code get two chances: they are waited for, then
// interrupted (SystemExit) and waited for again; past that they are left
// running, and the interpreter is then not finalized.
namespace ShutdownBudget {

constexpr uint32_t catalogWriterMs = CatalogWriter::stopTimeoutMs;
constexpr uint32_t imageManagerMs = 3000;
// The packages monitor (a package import may run there), then the pool's
// workers (plugin messages).
constexpr uint32_t packagesMonitorMs = 1000;
constexpr uint32_t packagesMonitorInterruptedMs = 1000;
constexpr uint32_t poolWorkersMs = 1000;
constexpr uint32_t poolWorkersInterruptedMs = 1000;
constexpr uint32_t poolSchedulerMs = 1000;
constexpr uint32_t dataMonitorMs = 3000; // the wait DataFs::stop makes
constexpr uint32_t fileMonitorMs = 7000;
constexpr uint32_t configEditMs = ConfigEdit::stopTimeoutMs;
// The GIL, at each stage that needs it: a plugin thread that holds it this
// long is given up on once, and later stages skip what needs Python while it
// still holds it. Several seconds, so that a slow call into C (a long regular
// expression) ends first and nothing of the other plugins is skipped.
constexpr uint32_t pythonLockMs = 5000;
// Threads the plugins started themselves.
constexpr uint32_t pluginThreadsMs = 1000;
constexpr uint32_t pluginThreadsInterruptedMs = 1000;
constexpr uint32_t pythonSettleMs = 200;
// The exit handlers (atexit) that plugins and their modules registered.
constexpr uint32_t pythonExitHandlersMs = 2000;
// Flushing Python's open files when the interpreter is left running.
constexpr uint32_t pythonFlushMs = 1000;
constexpr uint32_t loggerMs = Logger::stopTimeoutMs;
// After App::shutdown: other holders of the application let it go.
constexpr uint32_t appReleaseMs = 5000;

constexpr uint32_t totalMs =
    catalogWriterMs + imageManagerMs + packagesMonitorMs + packagesMonitorInterruptedMs +
    poolWorkersMs + poolWorkersInterruptedMs + poolSchedulerMs + dataMonitorMs + fileMonitorMs +
    configEditMs + pythonLockMs + pluginThreadsMs + pluginThreadsInterruptedMs + pythonSettleMs +
    pythonExitHandlersMs + loggerMs + appReleaseMs;

// What "--exit" adds to the total before it ends the instance by force: the
// process still has to leave after its last stage.
constexpr uint32_t exitMarginMs = 2000;

} // namespace ShutdownBudget
