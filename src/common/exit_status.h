// The process exit statuses, one for each way a run can end.
#pragma once

enum ExitStatus : int {
    ExitSuccess = 0,
    ExitUsage = 1,
    ExitCannotOpenScript = 2,
    ExitCannotWriteOutput = 3,
    ExitCannotOpenList = 4,
    ExitNoMemoryEvents = 5,
    ExitTooManyEvents = 6,
    ExitNoMemoryCommands = 7,
    ExitTooManyCommands = 8,
    ExitBadListEntry = 9,
    ExitCompileErrors = 10,
    ExitTooManyNames = 100,
    ExitNoMemoryDefvars = 101,
    ExitNoMemoryDefnums = 102,
    ExitUnknownCommand = 201,
    ExitMissingParen = 202,
    // A shell sees this as 45: exit statuses are 8 bits wide.
    ExitCodeTooBig = 301,
};
