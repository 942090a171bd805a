// The VORN compiler as a library: what every tool (vorn, vorn-check, vorn-dis, the tests and the
// fuzzer) links.
//
// A compile takes its inputs through a SourceProvider, sends the text vorn prints to an
// OutputSink, and returns everything else as data in a CompileResult: the status, the
// diagnostics with their positions, the files read, the definitions, and the code. Nothing of
// one compile leaks into the next; the library never exits the process and never writes to
// standard output on its own.
//
// Fatal ends unwind to compile() as a C++ exception that compile() catches, so everything the
// library keeps between calls lives in objects with destructors; callers see no exceptions
// (except std::bad_alloc from their own containers).
//
// This header includes them all; each can be included alone:
//   language.h     the language's facts and limits, the list files, the argument tags, the
//                  keywords and directive words, the compiled file's layout (argument_tags.def)
//   sources.h      FileId, InputFile, SourceProvider, FileSystemProvider, OverlayProvider,
//                  MemoryProvider
//   output.h       OutputKind, OutputSink, BufferedSink, NullSink, RecordingSink
//   diagnostics.h  DiagnosticKind (diagnostics.def), Severity, Location, location_text,
//                  Diagnostic
//   warning_set.h  WarningSet, the warnings on by default and by name
//   result.h       CompileResult and its records, CompileOptions, the statuses
//   compiler.h     Compiler, load_lists, clean_line, compose_compiled_file
//   grammar.h      parse_line and the parts of a line
//   fixes.h        apply_fixes
//   gnu_form.h     GnuWriter, the caret display, colour, ProviderLineReader
//   warning_options.h  the -W options, count_warnings_as_errors, unused_names
//   output_file.h  write_output_file, replace_file
//   read_file.h    read_whole_file
//   parse_unsigned.h  parse_unsigned
//   format.h       format_text, format_edits
#pragma once

#include "language.h"
#include "sources.h"
#include "output.h"
#include "diagnostics.h"
#include "warning_set.h"
#include "result.h"
#include "compiler.h"
#include "grammar.h"
#include "fixes.h"
#include "gnu_form.h"
#include "warning_options.h"
#include "output_file.h"
#include "read_file.h"
#include "parse_unsigned.h"
#include "format.h"
