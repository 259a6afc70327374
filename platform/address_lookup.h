#pragma once
// The network port's name lookup with a deadline, for both systems' sockets. Include it after the
// system's socket headers (netdb.h, ws2tcpip.h), which declare addrinfo and getaddrinfo.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace rm7::address_lookup {

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;  // getaddrinfo's
    addrinfo* list = nullptr;
    ~Lookup() {
        if (list != nullptr) {
            ::freeaddrinfo(list);
        }
    }
};

enum class LookupEnd { kFinished, kTimedOut, kNoThread };

// getaddrinfo cannot be stopped or given a deadline: it runs on a thread of its own, which the
// caller stops waiting for after waitMs (the thread then ends by itself, unheard). kFinished:
// out holds getaddrinfo's status and list.
inline LookupEnd LookUp(const std::string& host, std::uint16_t port, int waitMs, std::shared_ptr<Lookup>& out) {
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, service = std::to_string(port)] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
            addrinfo* list = nullptr;
            const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
            std::lock_guard lock(lookup->mutex);
            lookup->status = status;
            lookup->list = list;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return LookupEnd::kNoThread;
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return lookup->finished; })) {
        return LookupEnd::kTimedOut;
    }
    out = lookup;
    return LookupEnd::kFinished;
}

}  // namespace rm7::address_lookup
