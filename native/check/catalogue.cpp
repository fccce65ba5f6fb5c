#include "catalogue.hpp"

namespace velmora::check {

std::string_view text_of(Severity severity) {
    switch (severity) {
        case Severity::info: return "info";
        case Severity::warning: return "warning";
        case Severity::error: return "error";
    }
    return "error";
}

std::vector<const Rule*> all_rules() {
    std::vector<const Rule*> rules;
    rules.reserve(72);
    const auto add = [&rules](const auto& table) {
        for (const Rule* rule : table) rules.push_back(rule);
    };
    add(CONTAINER_RULES);
    add(CONTENT_TYPE_RULES);
    add(RELATIONSHIP_RULES);
    add(XML_RULES);
    add(PRESENTATION_RULES);
    add(CORE_PROPERTY_RULES);
    return rules;
}

}  // namespace velmora::check
