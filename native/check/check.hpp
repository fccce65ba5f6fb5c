// The verifier: runs the rule groups over an opened package in a fixed order.
#pragma once

#include "core/package.hpp"
#include "report.hpp"

namespace velmora::check {

// Runs the whole catalogue. Never fails: every irregularity is a finding.
Report check(core::Package& package, const CheckOptions& options);

}  // namespace velmora::check
