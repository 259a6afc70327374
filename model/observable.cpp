#include "model/observable.h"

#include <algorithm>

#include "platform/settings.h"

namespace rm7 {

void CEventSource::Unregister(IMessageTarget* target) {
    auto it = std::find(m_observers.begin(), m_observers.end(), target);
    if (it != m_observers.end()) {
        m_observers.erase(it);
    }
}

bool CEventSource::IsRegistered(IMessageTarget* target) const {
    return std::find(m_observers.begin(), m_observers.end(), target) != m_observers.end();
}

void CEventSource::NotifyAll(WParam wParam, LParam lParam) {
    // A handler may unregister itself or others; tell only those still registered.
    const std::vector<IMessageTarget*> snapshot = m_observers;
    for (IMessageTarget* target : snapshot) {
        if (IsRegistered(target)) {
            Send(target, wParam, lParam);
        }
    }
}

namespace {

constexpr const char* kAppSection = "";

Result LoadValue(const CSettingsStore& store, const char* name, std::string& out) {
    return store.ReadString(kAppSection, name, out);
}
Result LoadValue(const CSettingsStore& store, const char* name, unsigned char& out) {
    std::vector<std::uint8_t> bytes;
    Result r = store.ReadBinary(kAppSection, name, bytes);
    if (r == kOk) {
        if (bytes.size() != 1) {
            return kErrorInvalidData;
        }
        out = bytes[0];
    }
    return r;
}
template <typename I>
requires std::is_integral_v<I> Result LoadValue(const CSettingsStore& store, const char* name, I& out) {
    std::uint32_t v = 0;
    Result r = store.ReadDword(kAppSection, name, v);
    if (r == kOk) {
        out = static_cast<I>(static_cast<std::conditional_t<std::is_signed_v<I>, std::int32_t, std::uint32_t>>(v));
    }
    return r;
}

Result SaveValue(CSettingsStore& store, const char* name, const std::string& v) {
    return store.WriteString(kAppSection, name, v);
}
Result SaveValue(CSettingsStore& store, const char* name, unsigned char v) {
    return store.WriteBinary(kAppSection, name, std::vector<std::uint8_t>{v});
}
template <typename I>
requires std::is_integral_v<I> Result SaveValue(CSettingsStore& store, const char* name, I v) {
    return store.WriteDword(kAppSection, name, static_cast<std::uint32_t>(v));
}

}  // namespace

template <typename T>
Result CPersistable<T>::Load(const CSettingsStore& store) {
    if (m_name == nullptr || *m_name == '\0') {
        return kOk;
    }
    T value = this->m_values[0];
    Result r = LoadValue(store, m_name, value);
    if (r == kOk) {
        this->m_values[0] = value;
        this->m_pending[0] = value;
        m_stored = value;
    }
    return r;
}

template <typename T>
Result CPersistable<T>::Save(CSettingsStore& store) {
    if (m_name == nullptr || *m_name == '\0' || this->m_values[0] == m_stored) {
        return kOk;
    }
    Result r = SaveValue(store, m_name, this->m_values[0]);
    if (r == kOk) {
        m_stored = this->m_values[0];
    }
    return r;
}

template class CPersistable<int>;
template class CPersistable<unsigned long>;
template class CPersistable<unsigned char>;
template class CPersistable<std::string>;

Result LoadSettingString(const CSettingsStore& store, const std::string& name, std::string& out) {
    return LoadValue(store, name.c_str(), out);
}

Result SaveSettingString(CSettingsStore& store, const std::string& name, const std::string& value) {
    return SaveValue(store, name.c_str(), value);
}

std::string FormatIndexedName(const char* format, std::size_t number) {
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 'u') {
            out += std::to_string(number);
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace rm7
