#include "report.hpp"

#include <algorithm>

namespace velmora::check {

std::vector<std::string_view> Report::codes() const {
    std::vector<std::string_view> codes;
    for (const Finding& finding : findings)
        if (std::find(codes.begin(), codes.end(), finding.code()) == codes.end()) codes.push_back(finding.code());
    return codes;
}

void Sink::push(Finding finding) {
    if (report_.findings.size() < options_.max_findings)
        report_.findings.push_back(std::move(finding));
    else
        report_.truncated = true;
}

void sort_findings(std::vector<Finding>& findings) {
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        if (a.severity() != b.severity()) return a.severity() > b.severity();
        if (a.code() != b.code()) return a.code() < b.code();
        if (a.part.has_value() != b.part.has_value()) return !a.part.has_value();
        return a.part.has_value() && *a.part < *b.part;
    });
}

}  // namespace velmora::check
