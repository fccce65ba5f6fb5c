#include <gtest/gtest.h>

#include "check/check.hpp"
#include "fixtures.hpp"

namespace velmora::check {
namespace {

namespace fs = std::filesystem;

TEST(Report, SortIsStableBySeverityCodeAndPart) {
    std::vector<Finding> findings;
    findings.push_back(Finding(ZIP011, "info"));
    findings.push_back(Finding(ZIP001, "with part b").in_part("/b"));
    findings.push_back(Finding(ZIP003, "warning"));
    findings.push_back(Finding(ZIP001, "with part a, first").in_part("/a"));
    findings.push_back(Finding(ZIP001, "without part"));
    findings.push_back(Finding(ZIP001, "with part a, second").in_part("/a").at("byte 3"));
    findings.push_back(Finding(OPC004, "other code"));
    sort_findings(findings);
    std::vector<std::string> order;
    for (const Finding& finding : findings) order.push_back(finding.message);
    EXPECT_EQ(order, (std::vector<std::string>{"other code", "without part", "with part a, first", "with part a, second",
                                               "with part b", "warning", "info"}));
}

TEST(Report, CodesInOrderOfFirstAppearance) {
    Report report;
    report.findings.push_back(Finding(REL004, "a"));
    report.findings.push_back(Finding(REL004, "b"));
    report.findings.push_back(Finding(REL008, "c"));
    EXPECT_EQ(report.codes(), (std::vector<std::string_view>{"REL004", "REL008"}));
}

TEST(Report, SinkKeepsUpToTheCap) {
    for (std::uint64_t cap : {0u, 1u, 5u}) {
        Report report;
        const CheckOptions options{.max_findings = cap};
        Sink sink(report, options);
        for (int i = 0; i < 3; ++i) sink.push(Finding(ZIP001, std::to_string(i)));
        EXPECT_EQ(report.findings.size(), std::min<std::uint64_t>(cap, 3)) << cap;
        EXPECT_EQ(report.truncated, cap < 3) << cap;
    }
}

TEST(Catalogue, SixTablesInRunOrder) {
    const auto rules = all_rules();
    ASSERT_EQ(rules.size(), 72u);
    EXPECT_EQ(rules[0], &ZIP001);
    EXPECT_EQ(rules[18], &CTY001);
    EXPECT_EQ(rules[71], &CPR004);
    EXPECT_EQ(text_of(ZIP003.severity), "warning");
}

// Over the corpus, the container findings are what the recorded facts predict.
TEST(CheckCorpus, ContainerFindingsFollowTheFacts) {
    const fs::path root = testing::corpus_dir();
    if (!fs::is_directory(root)) GTEST_SKIP() << "corpus absent: " << root;
    std::size_t checked = 0;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) continue;
        auto package = core::Package::open_path(item.path().string());
        if (!package) continue;
        SCOPED_TRACE(item.path().filename().string());
        const Report report = check(*package, CheckOptions{.max_findings = 1'000'000});
        auto count = [&](const Rule& rule) {
            return std::count_if(report.findings.begin(), report.findings.end(),
                                 [&](const Finding& f) { return f.rule == &rule; });
        };
        const core::Archive& archive = package->archive();
        const core::PackageDefects& defects = package->defects();
        EXPECT_EQ(count(ZIP004), archive.reconstructed() || archive.directory_incomplete());
        EXPECT_EQ(count(ZIP003), archive.shift() != 0);
        EXPECT_EQ(count(ZIP005), static_cast<std::ptrdiff_t>(archive.duplicates().size()));
        EXPECT_EQ(count(ZIP006), static_cast<std::ptrdiff_t>(defects.directories.size()));
        EXPECT_EQ(count(OPC001), static_cast<std::ptrdiff_t>(defects.invalid_names.size()));
        EXPECT_EQ(count(OPC002), static_cast<std::ptrdiff_t>(defects.collisions.size()));
        EXPECT_EQ(count(OPC004), defects.content_types_missing);
        if (archive.reconstructed()) {
            EXPECT_EQ(count(ZIP007), 0);
        }
        ++checked;
    }
    EXPECT_GT(checked, 100u);
}

}  // namespace
}  // namespace velmora::check
