#pragma once
// Texts that every job shows the same way, whichever subsystem runs it.

namespace rm7 {

// The caption of the question asked before a job that must not be cut short (a firmware load,
// a restore, a write of the radio's memories) is stopped; each job asks its own question.
inline constexpr const char* kCriticalOperationCaption = "Critical Operation in Progress";

// The last line of a job window's log that stays open after its run.
inline constexpr const char* kClickCloseText = "Click \"Close\" to close this window";

}  // namespace rm7
