#include "check.hpp"

#include "groups.hpp"

namespace velmora::check {

Report check(core::Package& package, const CheckOptions& options) {
    Report report;
    Sink sink(report, options);
    check_container(package, sink);
    if (options.verify_crc) check_crc(package, sink);
    check_content_types(package, sink);
    sort_findings(report.findings);
    return report;
}

}  // namespace velmora::check
