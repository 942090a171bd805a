// Severity: only errors count. Every row of diagnostics.def is an error today, so these tests
// weigh one kind as a warning or a note for their own process (set_severity_for_test) and
// compile from memory through an overlay.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include <vorn/compiler.h>
#include "check/reports.h"
#include "common/diagnostics.h"

namespace {

constexpr const char* Script = "/severity/t.vs";

// Unknown argument 'Nobody' on line 2: a counted error as the table has it.
vorn::CompileResult compile_with_unknown_argument(vorn::Severity severity) {
    vorn::set_severity_for_test(vorn::DiagnosticKind::UnknownArgument, severity);
    vorn::OverlayProvider files("/severity");
    files.serve("events.lst", "OnStart 1\n");
    files.serve("command.lst", "Wait 0 1\n");
    files.serve(Script, "OnStart:\n    Wait(Nobody)\n    Wait(1)\n");
    vorn::RecordingSink sink;
    vorn::Compiler compiler;
    vorn::CompileResult result = compiler.compile(Script, files, sink);
    vorn::set_severity_for_test(vorn::DiagnosticKind::UnknownArgument, vorn::Severity::Error);
    return result;
}

TEST(Severity, EveryRowOfTheTableIsAnErrorToday) {
    EXPECT_EQ(vorn::severity_of(vorn::DiagnosticKind::UnknownArgument), vorn::Severity::Error);
    EXPECT_EQ(vorn::severity_of(vorn::DiagnosticKind::CannotOpenFile), vorn::Severity::Error);
    EXPECT_STREQ(vorn::severity_name(vorn::Severity::Error), "error");
    EXPECT_STREQ(vorn::severity_name(vorn::Severity::Warning), "warning");
    EXPECT_STREQ(vorn::severity_name(vorn::Severity::Note), "note");
}

TEST(Severity, AnErrorIsCountedAndKeepsTheFileFromBeingComposed) {
    vorn::CompileResult result = compile_with_unknown_argument(vorn::Severity::Error);
    ASSERT_EQ(result.diagnostics.size(), 1u);
    EXPECT_EQ(result.diagnostics[0].severity, vorn::Severity::Error);
    EXPECT_EQ(result.diagnostics[0].status, vorn::StatusErrors);
    EXPECT_EQ(result.error_count, 1);
    EXPECT_EQ(result.status, vorn::StatusErrors);
    EXPECT_TRUE(result.compiled.empty());
}

TEST(Severity, AWarningOrANoteIsReportedButNotCounted) {
    for (vorn::Severity severity : {vorn::Severity::Warning, vorn::Severity::Note}) {
        SCOPED_TRACE(vorn::severity_name(severity));
        vorn::CompileResult result = compile_with_unknown_argument(severity);
        ASSERT_EQ(result.diagnostics.size(), 1u);
        const vorn::Diagnostic& d = result.diagnostics[0];
        EXPECT_EQ(d.severity, severity);
        EXPECT_EQ(d.kind, vorn::DiagnosticKind::UnknownArgument);
        EXPECT_FALSE(d.fatal);
        EXPECT_EQ(d.status, vorn::StatusClean);
        EXPECT_EQ(d.where.line, 2u);
        EXPECT_EQ(result.error_count, 0);
        EXPECT_EQ(result.status, vorn::StatusClean);
        EXPECT_FALSE(result.fatal);
        // The run is clean, so the compiled file is composed as it would be without it.
        EXPECT_FALSE(result.compiled.empty());
    }
}

TEST(Severity, ReportsNameTheSeverityFromTheTable) {
    vorn::CompileResult warned = compile_with_unknown_argument(vorn::Severity::Warning);
    EXPECT_EQ(gnu_report(warned), "/severity/t.vs:2:10: warning: Unknown argument 'Nobody'\n");
    nlohmann::json document = nlohmann::json::parse(json_report(warned));
    EXPECT_EQ(document["status"], 0);
    EXPECT_EQ(document["error_count"], 0);
    EXPECT_EQ(document["diagnostics"][0]["severity"], "warning");

    vorn::CompileResult failed = compile_with_unknown_argument(vorn::Severity::Error);
    EXPECT_EQ(gnu_report(failed), "/severity/t.vs:2:10: error: Unknown argument 'Nobody'\n");
    EXPECT_EQ(nlohmann::json::parse(json_report(failed))["diagnostics"][0]["severity"], "error");
}

}  // namespace
