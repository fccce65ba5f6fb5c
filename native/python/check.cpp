#include "check.hpp"

#include <string>

#include "check/check.hpp"
#include "convert.hpp"
#include "core/package.hpp"
#include "deck_input.hpp"
#include "errors.hpp"
#include "gil.hpp"
#include "guard.hpp"
#include "value_class.hpp"

namespace velmora::py {
namespace {

using check::Finding;
using check::Rule;
using check::Severity;

// ---- Finding -----------------------------------------------------------------

const Attribute<Finding> finding_attributes[] = {
    {"code", "Stable rule code such as `REL004`.", [](const Finding& f) { return to_py(f.code()); }},
    {"severity", "`error`, `warning` or `info`.", [](const Finding& f) { return to_py(check::text_of(f.severity())); }},
    {"clause", "The ECMA-376 clause the rule enforces.", [](const Finding& f) { return to_py(f.clause()); }},
    {"part", nullptr, [](const Finding& f) { return to_py(f.part); }},
    {"location", nullptr, [](const Finding& f) { return to_py(f.location); }},
    {"message", nullptr, [](const Finding& f) { return to_py(f.message); }},
};

PyObject* finding_str(const Finding& f) {
    std::string text = std::string(check::text_of(f.severity())) + " " + std::string(f.code()) + " ";
    if (f.part) text += *f.part + ": ";
    return to_py(text + f.message + " [" + std::string(f.clause()) + "]");
}

PyObject* finding_repr(const Finding& f) {
    return to_py("Finding(" + std::string(check::text_of(f.severity())) + " " + std::string(f.code()) + " " +
                 f.message + ")");
}

// ---- Rule ----------------------------------------------------------------------

using RuleRef = const Rule*;

const Attribute<RuleRef> rule_attributes[] = {
    {"code", nullptr, [](const RuleRef& r) { return to_py(r->code); }},
    {"severity", nullptr, [](const RuleRef& r) { return to_py(check::text_of(r->severity)); }},
    {"clause", nullptr, [](const RuleRef& r) { return to_py(r->clause); }},
    {"summary", nullptr, [](const RuleRef& r) { return to_py(r->summary); }},
};

PyObject* rule_repr(const RuleRef& r) {
    return to_py("Rule(" + std::string(check::text_of(r->severity)) + " " + std::string(r->code) + " [" +
                 std::string(r->clause) + "])");
}

// ---- CheckReport -----------------------------------------------------------------

// The report with the counts computed once, from the kept findings.
struct ReportValue {
    check::Report report;
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
    std::vector<std::string_view> codes;

    explicit ReportValue(check::Report made) : report(std::move(made)), codes(report.codes()) {
        for (const Finding& finding : report.findings) {
            errors += finding.severity() == Severity::error;
            warnings += finding.severity() == Severity::warning;
        }
    }
};

PyObject* findings_list(const std::vector<Finding>& findings) {
    return list_of(findings, [](const Finding& finding) { return ValueClass<Finding>::wrap(finding); });
}

const Attribute<ReportValue> report_attributes[] = {
    {"findings", "Most severe first.", [](const ReportValue& r) { return findings_list(r.report.findings); }},
    {"parts_checked", nullptr, [](const ReportValue& r) { return to_py(r.report.parts_checked); }},
    {"truncated", "True when `max_findings` cut the list short.",
     [](const ReportValue& r) { return to_py(r.report.truncated); }},
    {"errors", "Number of findings at error severity.", [](const ReportValue& r) { return to_py(r.errors); }},
    {"warnings", "Number of findings at warning severity.", [](const ReportValue& r) { return to_py(r.warnings); }},
    {"is_clean", "True when no finding is an error.", [](const ReportValue& r) { return to_py(r.errors == 0); }},
    {"codes", "Distinct rule codes in order of first appearance.",
     [](const ReportValue& r) { return list_of(r.codes, [](std::string_view code) { return to_py(code); }); }},
};

PyObject* report_repr(const ReportValue& r) {
    return to_py("CheckReport(errors=" + std::to_string(r.errors) + ", warnings=" + std::to_string(r.warnings) +
                 ", parts_checked=" + std::to_string(r.report.parts_checked) +
                 ", truncated=" + (r.report.truncated ? "true" : "false") + ")");
}

// ---- functions -------------------------------------------------------------------

// Converts the arguments, opens the deck and runs the verifier without the
// interpreter lock; nothing, with the Python error set, on failure.
std::optional<check::Report> run(const char* function, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"path", "data", "max_findings", "xml_well_formed", "verify_crc", nullptr};
    PyObject* path = nullptr;
    PyObject* data = nullptr;
    PyObject* max_findings = nullptr;
    check::CheckOptions options;
    int xml_well_formed = options.xml_well_formed;
    int verify_crc = options.verify_crc;
    const std::string format = std::string("|O$OOpp:") + function;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), const_cast<char**>(keywords), &path, &data,
                                     &max_findings, &xml_well_formed, &verify_crc))
        return std::nullopt;
    if (max_findings) {
        if (!PyLong_Check(max_findings)) {
            PyErr_Format(PyExc_TypeError, "%s() argument 'max_findings' must be int, not %.200s", function,
                         Py_TYPE(max_findings)->tp_name);
            return std::nullopt;
        }
        const unsigned long long value = PyLong_AsUnsignedLongLong(max_findings);
        if (PyErr_Occurred()) {
            PyErr_Clear();
            PyErr_SetString(PyExc_ValueError, "max_findings must be a non-negative integer");
            return std::nullopt;
        }
        options.max_findings = value;
    }
    options.xml_well_formed = xml_well_formed;
    options.verify_crc = verify_crc;
    auto input = deck_input(path, data);
    if (!input) return std::nullopt;
    auto report = without_gil([&]() -> core::Result<check::Report> {
        auto package = std::holds_alternative<DeckPath>(*input)
                           ? core::Package::open_path(std::get<DeckPath>(*input).bytes)
                           : core::Package::from_bytes(std::move(std::get<core::Bytes>(*input)));
        if (!package) return core::fail(package.error());
        return check::check(*package, options);
    });
    if (!report) {
        raise(report.error());
        return std::nullopt;
    }
    return std::move(*report);
}

PyObject* check_function(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        auto report = run("check", args, kwargs);
        if (!report) return nullptr;
        return findings_list(report->findings);
    });
}

PyObject* check_report_function(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        auto report = run("check_report", args, kwargs);
        if (!report) return nullptr;
        return ValueClass<ReportValue>::wrap(ReportValue(std::move(*report)));
    });
}

PyObject* rules_function(PyObject*, PyObject*) {
    return guarded([] {
        return list_of(check::all_rules(), [](const Rule* rule) { return ValueClass<RuleRef>::wrap(rule); });
    });
}

template <class Function>
PyCFunction with_keywords(Function function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

PyMethodDef checker_functions[] = {
    {"check", with_keywords(check_function), METH_VARARGS | METH_KEYWORDS,
     "check(path=None, *, data=None, max_findings=1000, xml_well_formed=True, verify_crc=True)\n--\n\n"
     "Verifies a deck against ECMA-376 and returns its findings, most severe first."},
    {"check_report", with_keywords(check_report_function), METH_VARARGS | METH_KEYWORDS,
     "check_report(path=None, *, data=None, max_findings=1000, xml_well_formed=True, verify_crc=True)\n--\n\n"
     "Verifies a deck and returns the findings with the parts checked and\n"
     "whether `max_findings` truncated the list."},
    {"rules", rules_function, METH_NOARGS, "rules()\n--\n\nEvery rule the verifier knows."},
    {nullptr, nullptr, 0, nullptr},
};

bool add_checker_classes(PyObject* module) {
    return ValueClass<Finding>::add_to(module, "velmora.Finding", "One verifier finding.", finding_attributes,
                                       finding_repr, finding_str) &&
           ValueClass<RuleRef>::add_to(module, "velmora.Rule", "One verifier rule.", rule_attributes, rule_repr) &&
           ValueClass<ReportValue>::add_to(module, "velmora.CheckReport",
                                           "The verifier's result: findings plus how much was checked.",
                                           report_attributes, report_repr);
}

}  // namespace velmora::py
