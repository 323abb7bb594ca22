// What a device job (read all, write all, firmware upgrade) and the modal run
// of its window end with, and how the firmware upgrade itself ended. A header
// of its own, so that the pages can name them without the device layer's
// classes.
#pragma once

#include <string>
#include <vector>

#include "params/param_rows.h"

namespace vardex::device {

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

// How a write job ended, as the job saw it. It tells nothing to the person
// itself beyond identification's own messages: the write's report is made
// from this, field by field (settings/write_path.h).
struct WriteOutcome {
    enum class End {
        kDone,           // every setting row ran
        kNotIdentified,  // no device, or it was not identified (identification told it)
        kStopped,        // the person's stop request
        kLinkLost,       // the device went away during the rows
        kUnreadable,     // an answer could not be read, also when asked again
        kNoAnswer,       // a command got no answer at all
        kNotStored,      // every setting went through; the store was not confirmed
    };
    End end = End::kNotIdentified;
    // The setting rows' results in table order, as far as they ran: the last
    // is the one that ended the job when it did not complete.
    std::vector<params::RowResult> rows;
    // kNotStored: the profile (0..3) asked for.
    int profile_not_stored = -1;
    // kUnreadable: the command whose answer could not be read.
    std::string unread_command;
    // The settings no row reads back were read after the rows.
    bool unconfirmed_read_back = false;
    // Identification found the device in its firmware loader.
    bool in_loader = false;
    // Identification or the failure was already told to the person.
    bool told = false;

    JobResult Result() const { return end == End::kDone ? JobResult::kDone : JobResult::kStopped; }
    // Rows that ran to their end (verification included), from the first.
    int RowsDone() const {
        int done = 0;
        while (done < static_cast<int>(rows.size()) && !EndsTheJob(rows[done])) {
            ++done;
        }
        return done;
    }
    // The last row whose verification read back another value; -1 for none.
    int LastFaultRow() const {
        for (int i = static_cast<int>(rows.size()) - 1; i >= 0; --i) {
            if (rows[static_cast<std::size_t>(i)] == params::RowResult::kMismatch) {
                return i;
            }
        }
        return -1;
    }
};

}  // namespace vardex::device
