// The pieces the POSIX side of the platform seam shares between its files
// (files.h): failures in words, descriptors, signal handlers.
#include "platform/posix/files.h"

#include <unistd.h>

#include <csignal>
#include <cstring>
#include <utility>

namespace korva::posix {

Error Failure(const std::string& what, int error) {
    return MakeError(what + ": " + std::strerror(error));
}

Descriptor::Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Descriptor::~Descriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int Descriptor::release() {
    return std::exchange(fd_, -1);
}

int Descriptor::Close() {
    return ::close(std::exchange(fd_, -1));
}

void HandleSignal(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    (void)::sigaction(signal, &action, nullptr);
}

SignalsBlocked::SignalsBlocked() {
    sigset_t all;
    sigemptyset(&all);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGBUS}) {
        sigaddset(&all, s);
    }
    ::pthread_sigmask(SIG_BLOCK, &all, &previous_);
}

SignalsBlocked::~SignalsBlocked() {
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace korva::posix
