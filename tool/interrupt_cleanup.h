// Removal of the temporary output file when the run is interrupted (SIGINT,
// SIGTERM, SIGHUP; on Windows Ctrl+C, Ctrl+Break or a closed console), so
// that no TARGET.tmp stays behind. The run still ends as the interrupt ends
// it, with the status of the signal.
#pragma once

#include <filesystem>

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace vk::tool {

// Holds interrupts back while it lives; they take effect at its end. A
// temporary file is created and registered, or renamed or removed and
// forgotten, under one of these, so that an interrupt never removes a file
// that the run did not create or no longer owns.
class InterruptsDeferred {
public:
    InterruptsDeferred();
    ~InterruptsDeferred();
    InterruptsDeferred(const InterruptsDeferred&) = delete;
    InterruptsDeferred& operator=(const InterruptsDeferred&) = delete;

private:
#if !defined(_WIN32)
    sigset_t saved_;
#endif
};

// The file that an interrupt removes from now on; call with interrupts deferred.
void removeOnInterrupt(const std::filesystem::path& temporary);
// No file any more; call with interrupts deferred.
void forgetOnInterrupt();

}  // namespace vk::tool
