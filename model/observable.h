#pragma once
// Observable and persisted values. An observer is a message target; it is sent the
// value's message, synchronously and in registration order, whenever the value changes.
// Use CObservation to register: it unregisters when the observer goes away, so a closed
// dialog is never notified.
#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7 {

class CSettingsStore;

class CEventSource {
  public:
    CEventSource(IMessagePump& pump, std::uint32_t code) : m_pump(pump), m_code(code) {}
    virtual ~CEventSource() = default;
    CEventSource(const CEventSource&) = delete;
    CEventSource& operator=(const CEventSource&) = delete;

    void Register(IMessageTarget* target) { m_observers.push_back(target); }
    void Unregister(IMessageTarget* target);
    bool IsRegistered(IMessageTarget* target) const;
    // Sends the current state to one observer, as a newly registered window asks for it.
    virtual void Notify(IMessageTarget* target) { Send(target, 0, 0); }
    // Sends the message to every observer; an observer may unregister while being told.
    void NotifyAll(WParam wParam = 0, LParam lParam = 0);
    std::uint32_t Code() const { return m_code; }

  protected:
    void Send(IMessageTarget* target, WParam wParam, LParam lParam) {
        if (m_code != 0) {
            m_pump.Send(target, m_code, wParam, lParam);
        }
    }

  private:
    IMessagePump& m_pump;
    std::uint32_t m_code;
    std::vector<IMessageTarget*> m_observers;
};

// Keeps one observer registered with one source for its own lifetime.
class CObservation {
  public:
    CObservation() = default;
    CObservation(CEventSource& source, IMessageTarget* target) : m_source(&source), m_target(target) {
        source.Register(target);
    }
    CObservation(CObservation&& other) noexcept : m_source(other.m_source), m_target(other.m_target) {
        other.m_source = nullptr;
    }
    CObservation& operator=(CObservation&& other) noexcept {
        if (this != &other) {
            Reset();
            m_source = other.m_source;
            m_target = other.m_target;
            other.m_source = nullptr;
        }
        return *this;
    }
    ~CObservation() { Reset(); }
    void Reset() {
        if (m_source != nullptr) {
            m_source->Unregister(m_target);
            m_source = nullptr;
        }
    }

  private:
    CEventSource* m_source = nullptr;
    IMessageTarget* m_target = nullptr;
};

template <typename T, std::size_t N = 1>
class CObservable : public CEventSource {
  public:
    CObservable(IMessagePump& pump, std::uint32_t code, const T& initial = T{}) : CEventSource(pump, code) {
        m_values.fill(initial);
        m_pending.fill(initial);
    }

    const T& Get(std::size_t index = 0) const { return m_values[index < N ? index : 0]; }
    const T& operator*() const { return m_values[0]; }

    void Set(const T& value) requires(N == 1) {
        if (m_values[0] == value) {
            return;
        }
        m_values[0] = value;
        m_pending[0] = value;
        NotifyAll(0, 0);
    }

    void Set(std::size_t index, const T& value) {
        if (index >= N || m_values[index] == value) {
            return;
        }
        m_values[index] = value;
        m_pending[index] = value;
        NotifyAll(index, 0);
    }

    void Notify(IMessageTarget* target) override {
        for (std::size_t i = 0; i < N; ++i) {
            Send(target, N == 1 ? 0 : i, 0);
        }
    }

  protected:
    std::array<T, N> m_values;
    std::array<T, N> m_pending;
};

class IPersistable {
  public:
    virtual Result Load(const CSettingsStore& store) = 0;
    virtual Result Save(CSettingsStore& store) = 0;

  protected:
    ~IPersistable() = default;
};

// Value types stored as dword (int, unsigned long and their kin), one binary byte
// (unsigned char) or string.
template <typename T>
class CPersistable : public CObservable<T, 1>, public IPersistable {
  public:
    CPersistable(IMessagePump& pump, std::uint32_t code, const char* name, const T& initial = T{})
        : CObservable<T, 1>(pump, code, initial), m_stored(initial), m_name(name) {}

    Result Load(const CSettingsStore& store) override;
    Result Save(CSettingsStore& store) override;
    const char* Name() const { return m_name; }

  private:
    T m_stored;
    const char* m_name;
};

extern template class CPersistable<int>;
extern template class CPersistable<unsigned long>;
extern template class CPersistable<unsigned char>;
extern template class CPersistable<std::string>;

// N strings under the application key, element i stored under nameFormat with i + 1 (a "%u"
// format: "CommandCaption%u" gives CommandCaption1 ... CommandCaption16). A notice carries the
// element's index. Save() writes only the elements changed since the last Load() or Save().
template <std::size_t N>
class CPersistableArray final : public CObservable<std::string, N> {
  public:
    CPersistableArray(IMessagePump& pump, std::uint32_t code, const char* nameFormat)
        : CObservable<std::string, N>(pump, code), m_format(nameFormat) {}

    // Elements missing from the store keep their values; a value of another type is
    // ERROR_INVALID_DATA (13), the first such failure is returned, and the rest still load.
    Result Load(const CSettingsStore& store);
    Result Save(CSettingsStore& store);
    std::string Name(std::size_t index) const;

  private:
    const char* m_format;
    std::array<std::string, N> m_stored{};
};

// The two string stores behind CPersistableArray, so that this header needs no settings header.
Result LoadSettingString(const CSettingsStore& store, const std::string& name, std::string& out);
Result SaveSettingString(CSettingsStore& store, const std::string& name, const std::string& value);
std::string FormatIndexedName(const char* format, std::size_t number);

template <std::size_t N>
std::string CPersistableArray<N>::Name(std::size_t index) const {
    return FormatIndexedName(m_format, index + 1);
}

template <std::size_t N>
Result CPersistableArray<N>::Load(const CSettingsStore& store) {
    Result first = kOk;
    for (std::size_t i = 0; i < N; ++i) {
        std::string value;
        const Result r = LoadSettingString(store, Name(i), value);
        if (r == kOk) {
            this->m_values[i] = value;
            this->m_pending[i] = value;
            m_stored[i] = value;
        } else if (r != kErrorFileNotFound && first == kOk) {
            first = r;
        }
    }
    return first;
}

template <std::size_t N>
Result CPersistableArray<N>::Save(CSettingsStore& store) {
    Result first = kOk;
    for (std::size_t i = 0; i < N; ++i) {
        if (this->m_values[i] == m_stored[i]) {
            continue;
        }
        const Result r = SaveSettingString(store, Name(i), this->m_values[i]);
        if (r == kOk) {
            m_stored[i] = this->m_values[i];
        } else if (first == kOk) {
            first = r;
        }
    }
    return first;
}

}  // namespace rm7
