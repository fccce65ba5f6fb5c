// What a verifier run produces: findings made from catalogue rules, kept by a
// capped sink, then sorted most severe first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.hpp"

namespace velmora::check {

struct Finding {
    const Rule* rule;
    std::string message;
    std::optional<std::string> part;      // absent for the archive or package as a whole
    std::optional<std::string> location;  // where inside the part, as "byte N"

    Finding(const Rule& made_from, std::string text) : rule(&made_from), message(std::move(text)) {}
    Finding in_part(std::string name) && {
        part = std::move(name);
        return std::move(*this);
    }
    Finding at(std::string where) && {
        location = std::move(where);
        return std::move(*this);
    }

    std::string_view code() const { return rule->code; }
    std::string_view clause() const { return rule->clause; }
    Severity severity() const { return rule->severity; }
};

struct CheckOptions {
    std::uint64_t max_findings = 1000;
    bool xml_well_formed = true;
    bool verify_crc = true;
};

struct Report {
    std::vector<Finding> findings;
    std::uint64_t parts_checked = 0;
    bool truncated = false;

    // The distinct codes of the findings, in order of first appearance.
    std::vector<std::string_view> codes() const;
};

// Keeps findings until `max_findings` are kept; later ones only mark the
// report truncated, so memory stays bounded however bad the package.
class Sink {
public:
    Sink(Report& report, const CheckOptions& options) : report_(report), options_(options) {}

    void push(Finding finding);
    void count_part() { ++report_.parts_checked; }
    const CheckOptions& options() const { return options_; }

private:
    Report& report_;
    const CheckOptions& options_;
};

// Stable: severity descending, code ascending, then no part before parts in byte order.
void sort_findings(std::vector<Finding>& findings);

}  // namespace velmora::check
