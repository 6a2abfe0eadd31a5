// Undoing what a run recorded: the same for a run that fails and for the recovery
// of a run that was ended before it could.
#pragma once

#include "log/log_record.h"

#include <vector>

namespace ar {

// Undoes `records`, newest first, and empties the list. Never throws; what it could
// not undo is returned, and no earlier content is ever deleted for it. The
// program's own registration is undone by the program the run installed
// ("/Unregister"), while it is still there; when that file replaced an earlier one,
// the earlier program, once put back, registers itself again.
std::vector<RollbackFailure> undoRecords(LogRecords& records);

} // namespace ar
