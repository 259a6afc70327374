#pragma once
// An observable text that also keeps the copy the user is editing: Get() is what the radio
// holds as last read or written, Pending() what the user typed. Set() changes both and
// notifies; SetPending() notifies nobody.
//
// Threads: UI thread only.
#include <cstddef>

#include "model/observable.h"

namespace rm7 {

template <typename T, std::size_t N = 1>
class CEditableValue : public CObservable<T, N> {
  public:
    using CObservable<T, N>::CObservable;

    const T& Pending(std::size_t index = 0) const { return this->m_pending[index < N ? index : 0]; }
    void SetPending(std::size_t index, const T& value) {
        if (index < N) {
            this->m_pending[index] = value;
        }
    }
    bool IsChanged(std::size_t index) const { return index < N && this->m_pending[index] != this->m_values[index]; }
    bool AnyChanged() const {
        for (std::size_t i = 0; i < N; ++i) {
            if (IsChanged(i)) {
                return true;
            }
        }
        return false;
    }
};

}  // namespace rm7
