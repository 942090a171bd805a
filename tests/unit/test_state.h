// A compile state for testing one stage in-process, with its inputs served from memory.
#pragma once

#include <memory>
#include <string>

#include <vorn/output.h>
#include <vorn/result.h>
#include "common/compile_state.h"
#include "common/source_reader.h"

using namespace vorn;

struct TestState {
    vorn::RecordingSink sink;
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    vorn::CompileOptions options;
    vorn::CompileResult result;
    NameEntry defvars[MaxDefvars] = {};
    NameEntry defnums[MaxDefnums] = {};
    NameTables tables{defvars, defnums};
    std::unique_ptr<CompileState> s =
        std::make_unique<CompileState>(&tables, files, sink, options, result);

    ~TestState() { close_all_sources(*s); }
};
