// What a device job (read all, write all, firmware upgrade) and the modal run
// of its window end with, and how the firmware upgrade itself ended. A header
// of its own, so that the pages can name them without the device layer's
// classes.
#pragma once

enum class JobResult {
    kDone,
    // Not completed: stopped by the person, no device, or a step without its answer.
    kStopped,
};

// How the upgrade, or its transfer alone, ended.
enum class UpgradeResult {
    kDone,
    // File choice cancelled, no device, or the stop request.
    kStopped,
    // The device failed an exchange of the request or the transfer.
    kDeviceFailed,
    // The chosen file cannot be an image (dialog->m_strFileProblem says why).
    kFileFailed,
    // The image went in, but the device stayed in its loader: it did not take it.
    kImageRejected,
};

// The job's end for an upgrade that ended so.
inline JobResult ToJobResult(UpgradeResult result) {
    return result == UpgradeResult::kDone ? JobResult::kDone : JobResult::kStopped;
}
