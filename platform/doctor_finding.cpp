#include "platform/format.h"
#include "platform/port_doctor.h"

namespace rm7 {

std::string DoctorFindingLine(const DoctorFinding& f) {
    return StrFormat("%-4s %-8s %s%s%s", f.ok ? "ok" : "FAIL", f.check.c_str(), f.text.c_str(),
                     f.advice.empty() ? "" : " ", f.advice.c_str());
}

}  // namespace rm7
