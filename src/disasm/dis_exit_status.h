// The exit statuses of vorn-dis. The list loaders are shared with the compiler and end the
// run with the compiler's statuses 4 to 9 (the compiler's table of diagnostics), so these stay clear of them.
#pragma once

namespace vorn::dis {

enum DisExitStatus : int {
    DisSuccess = 0,
    DisUsage = 1,
    DisCannotReadFile = 2,

    // The file is not a compiled script: nothing is listed.
    DisFileTooShort = 20,
    DisWrongFileSize = 21,
    DisReservedNotZero = 22,
    DisCodeTooBig = 23,
    DisTooManyPlaces = 24,
    DisTooManyEvents = 25,
    DisUnknownCommand = 26,
    DisUnknownTag = 27,
    DisArgumentCut = 28,
    DisBadArgumentValue = 29,
    DisEntryPastCode = 30,
    // The --map given is not vorn-list's map of this file.
    DisMapMismatch = 31,

    // The file is listed, but no script compiles to it. With several of these, the lowest wins.
    DisNumberForm = 40,
    DisVariableNumber = 41,
    DisStringBytes = 42,
    DisEntryInsideStatement = 43,
    DisUnwritableName = 44,
    DisUnsetEntriesAtEnd = 45,
    DisLineTooLong = 46,
    DisTooManyVariables = 47,
};

}  // namespace vorn::dis
