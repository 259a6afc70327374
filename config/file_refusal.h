#pragma once
// The outcome of a job that refused the configuration file the user chose, before the radio was
// touched (restore, compare). What the reader found in the file its box has said; a file it could
// not load at all is said here, once, with its path.
#include <filesystem>

#include "config/file_classes.h"
#include "link/job_shell.h"

namespace rm7 {

inline JobOutcome RefusedFileOutcome(const char* failedText, const std::filesystem::path& file, Result read) {
    JobOutcome refused = JobOutcome::Failed(failedText, read);
    refused.file = file;
    if (IsSystemFailure(read)) {
        refused.why = FileFailureText(file, read);
    } else {
        refused.told = true;
    }
    return refused;
}

}  // namespace rm7
