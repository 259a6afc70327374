#pragma once
// The network port's name lookup with a deadline and its try of every address, for both systems' sockets.
// Include it after the system's socket headers (netdb.h, ws2tcpip.h), which declare addrinfo and getaddrinfo.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/result_codes.h"

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

// getaddrinfo cannot be stopped or given a deadline: it runs on a thread of its own, which the
// caller stops waiting for after waitMs (the thread then ends by itself, unheard). kOk: out holds
// getaddrinfo's status and list, for the system's own reading of the status.
inline Result LookUp(const std::string& host, std::uint16_t port, int waitMs, std::shared_ptr<Lookup>& out) {
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
        return kErrorNoSystemResources;
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return lookup->finished; })) {
        return kErrNetNoAnswer;
    }
    out = lookup;
    return kOk;
}

// Every address the name has, in the resolver's order, until one connects (connectOne(address)
// gives kOk); the most telling failure is kept: a refusal says more than an unreachable second
// address. expired(): the deadline has passed.
template <typename Expired, typename ConnectOne>
Result ConnectToAny(const addrinfo* list, Expired expired, ConnectOne connectOne) {
    Result first = kErrNetUnreachable;
    bool any = false;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        if (expired()) {
            return any ? first : kErrNetNoAnswer;
        }
        const Result r = connectOne(*a);
        if (r == kOk) {
            return kOk;
        }
        if (!any || r == kErrNetRefused) {
            first = r;
        }
        any = true;
    }
    return first;
}

}  // namespace rm7::address_lookup
