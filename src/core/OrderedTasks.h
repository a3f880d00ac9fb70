#pragma once

#include <cstddef>
#include <functional>
#include <span>

// Independent pieces of work (one per channel) run side by side where the
// platform has threads. What each prints and reports reaches the current
// message record in the order of the pieces, as if they had run one after
// another: the console text is the same on every platform and every run.

// Runs task(0) ... task(count - 1), two at a time where threads are
// available, else one after another. A task's console lines and
// diagnostics go to the current record once every task before it has
// given its own. An exception from a task reaches the caller after the
// output of the tasks before it (and its own, up to the throw); the tasks
// after it leave no output.
//
// With `stands`, each task is asked in order, when its turn comes (every
// task before it has given its output), whether its work stands: the first
// that does not gives nothing, nor does any after it (they may have run
// all the same). Returns how many tasks gave their output (`count` when
// all did).
std::size_t runOrdered(std::size_t count, const std::function<void(std::size_t)>& task,
                       const std::function<bool(std::size_t)>& stands = {});

// As runOrdered (without `stands`), but the tasks start largest first, by
// `sizes` (one per task, in the tasks' order): a large task that comes last
// would otherwise run alone at the end. Their output still comes in the
// tasks' order; a task ahead of its turn may then hold more of it.
void runLargestFirst(std::span<const std::size_t> sizes, const std::function<void(std::size_t)>& task);

// Whether the task running on this thread has its turn: every task before
// it gave its output and it stands, so that what it has done is final
// (true outside runOrdered).
bool taskHasTurn();

// Sets how many entries of its output (lines and reports) a task ahead of
// its turn holds before it waits for its turn (tests lower it).
void setTaskHoldLimit(std::size_t entries);

// Starts the thread that runOrdered runs tasks on beside the caller, so
// that the first run need not wait for it (it starts on first use anyway).
void prepareTasks();

// Whether runOrdered runs tasks side by side on this platform.
bool tasksRunSideBySide();
