#pragma once
// One control of a job's own view as its test records it: every value the job gave it, in
// order, and the value it shows now (its initial one until the job gives it another). A job's
// recording view is then its interface's calls forwarded to fields like these, beside the one
// recording view of the job shell (recording_job_view.h).
#include <utility>
#include <vector>

namespace rm7::test {

template <typename T>
class CRecordedField {
  public:
    CRecordedField() = default;
    explicit CRecordedField(T initial) : m_initial(std::move(initial)) {}

    void Set(T value) { values.push_back(std::move(value)); }
    T Now() const { return values.empty() ? m_initial : T(values.back()); }

    std::vector<T> values;

  private:
    T m_initial{};
};

}  // namespace rm7::test
