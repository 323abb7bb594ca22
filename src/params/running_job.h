// The running device job as detection and the parameter rows see it: a stop
// request that the person's Cancel sets from another thread, a flag that says
// the failure needs no further message, and whether the device waits in its
// firmware loader. The job's window (caption, status text,
// progress) builds on this in the device layer.
#pragma once

#include <atomic>
#include <string>

namespace vardex::params {

class CRunningJob {
public:
    CRunningJob() = default;
    virtual ~CRunningJob() = default;
    CRunningJob(const CRunningJob&) = delete;
    CRunningJob& operator=(const CRunningJob&) = delete;

    std::atomic<int> m_bAbort{0};
    std::atomic<int> m_bQuietEnd{0};
    // The last identification found the device waiting in its firmware loader
    // (and said so): only a firmware upgrade can go on with it.
    std::atomic<int> m_bInLoader{0};
    // Worker thread only: the command whose answer could not be read even when
    // asked again (line noise, a reply cut short or of the wrong shape), when
    // that is what made a row fail; empty otherwise.
    std::string m_strUnreadCommand;
    // Worker thread only: the profile (0..3) the store row was to store into
    // when the device did not confirm it with its "OK" (-1 otherwise), for the
    // write job's outcome. The settings are then active but not stored.
    std::atomic<int> m_nProfileNotStored{-1};
};

}  // namespace vardex::params
