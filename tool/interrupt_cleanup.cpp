#include "tool/interrupt_cleanup.h"

#include <string>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#else
#include <unistd.h>
#endif

namespace vk::tool {

#if defined(_WIN32)

namespace {

// The console's control handler runs on a thread of its own: the lock keeps
// it from removing the file while the run renames or removes it itself. The
// handler stays registered once installed, since unregistering it while it
// runs could wait on the console's own lock.
std::mutex& registrationLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::wstring* armedPath = nullptr;

BOOL WINAPI onControl(DWORD) {
    const std::lock_guard<std::mutex> held(registrationLock());
    // A file still open for writing cannot be removed; it is only while the
    // text is being written that the temporary file can stay behind.
    if (armedPath != nullptr && !armedPath->empty()) ::DeleteFileW(armedPath->c_str());
    return FALSE;  // the default handler ends the process
}

}  // namespace

InterruptsDeferred::InterruptsDeferred() {
    registrationLock().lock();
}

InterruptsDeferred::~InterruptsDeferred() {
    registrationLock().unlock();
}

void removeOnInterrupt(const std::filesystem::path& temporary) {
    if (armedPath == nullptr) {
        static const bool installed = ::SetConsoleCtrlHandler(onControl, TRUE) != 0;
        (void)installed;
        armedPath = new std::wstring;
    }
    *armedPath = temporary.native();
}

void forgetOnInterrupt() {
    if (armedPath != nullptr) armedPath->clear();
}

#else

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Written only while the signals are held back, so the handler never sees a
// half-made path.
std::string* registeredPath = nullptr;
const char* volatile armedPath = nullptr;

extern "C" void onInterrupt(int number) {
    if (armedPath != nullptr) ::unlink(armedPath);
    // SA_RESETHAND has restored the default action, and the signal stays
    // blocked while this runs: raised again, it ends the process as it would
    // have without this handler.
    ::raise(number);
}

sigset_t interruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int number : kSignals) sigaddset(&set, number);
    return set;
}

// Once; a signal that the run was started with ignored stays ignored.
void install() {
    const sigset_t blocked = interruptSignals();
    for (int number : kSignals) {
        struct sigaction previous {};
        if (::sigaction(number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        action.sa_mask = blocked;
        action.sa_flags = SA_RESETHAND;
        ::sigaction(number, &action, nullptr);
    }
}

}  // namespace

InterruptsDeferred::InterruptsDeferred() {
    const sigset_t blocked = interruptSignals();
    ::sigprocmask(SIG_BLOCK, &blocked, &saved_);
}

InterruptsDeferred::~InterruptsDeferred() {
    ::sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

void removeOnInterrupt(const std::filesystem::path& temporary) {
    if (registeredPath == nullptr) {
        install();
        registeredPath = new std::string;
    }
    *registeredPath = temporary.native();
    armedPath = registeredPath->c_str();
}

void forgetOnInterrupt() {
    armedPath = nullptr;
}

#endif

}  // namespace vk::tool
